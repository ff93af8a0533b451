// The About box: its content as the core describes it, and the kit's way of
// showing it and the report box modally.
#pragma once

#include <string>

#include "client/kit/graphics.h"
#include "client/kit/report_box.h"

namespace navlet {

// The About box's fixed design: every kit places its parts here. The version
// label sizes itself to its text from its top-left corner, over the picture.
namespace about_layout {
inline constexpr TRect CLIENT{0, 0, 450, 333};
inline constexpr TRect PICTURE{0, 0, 449, 281};
inline constexpr int32_t VERSION_LEFT = 283;
inline constexpr int32_t VERSION_TOP = 124;
inline constexpr TRect BEVEL{0, 288, 450, 290};
inline constexpr TRect OK_BUTTON{188, 300, 263, 325};
} // namespace about_layout

// What the About box holds; the kit lays it out at its fixed design.
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
    // Shows the report box; on OK the form holds the user's reason, text and
    // choice. Returns the modal result as above; a kit that cannot show a
    // box now returns 0 and the report is not made.
    virtual int ShowReportBox(TReportForm& form) = 0;
};

} // namespace navlet
