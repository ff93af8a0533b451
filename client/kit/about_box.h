// The About box: its content as the core describes it, and the kit's way of
// showing it modally.
#pragma once

#include <string>

namespace navlet {

// What the About box holds; the kit lays it out at its fixed design size
// (client area 450 x 333, picture 449 x 281, the version label over it).
struct TAboutForm {
    std::string caption = "About Navlet";
    std::string versionLabel = "1.4.0"; // fixed text, not read from the version resource
    std::string okCaption = "OK";
    int modalResult = 0; // set by the kit when the box closes
};

inline constexpr int MODAL_RESULT_OK = 1;

class TModalDialogs {
  public:
    virtual ~TModalDialogs() = default;
    // Shows the box and returns when the user closes it; returns the modal
    // result (MODAL_RESULT_OK for the OK button, 0 when closed otherwise).
    virtual int ShowAboutBox(TAboutForm& form) = 0;
};

} // namespace navlet
