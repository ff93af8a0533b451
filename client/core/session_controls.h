// The small controls of the bar's session side: the flat speed buttons with
// their glyphs from ImageList2, the push button and the password box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "client/core/bar_layout.h"
#include "client/core/components.h"

namespace navlet {

// Images of ImageList2 (16 x 16).
enum TGlyph : int32_t {
    glMinimise = 0,
    glRestore = 1,
    glLedNews = 2,       // green
    glLedError = 3,      // red
    glLedSignedIn = 4,   // grey
    glLedConnecting = 5, // pale yellow
};
inline constexpr int32_t IMAGE_LIST2_COUNT = 6;

class TSpeedButton : public TControl {
  public:
    int32_t Glyph() const { return glyph; }
    const std::string& Hint() const { return hint; }
    // Takes image `index` of ImageList2; an index outside the list leaves the
    // glyph empty (-1), as drawing a missing image does.
    void SetGlyph(int32_t index);
    void SetHint(std::string text);
    // A button of a group stays down after a click until it is released.
    bool Down() const { return down; }
    void SetDown(bool on) {
        if (on == down)
            return;
        down = on;
        Changed();
    }

    std::function<void()> OnClick;

  private:
    bool down = false;
    int32_t glyph = -1; // -1 = no glyph
    std::string hint;
};

class TButton : public TControl {
  public:
    const std::string& Caption() const { return caption; }
    void SetCaption(std::string text);

    std::function<void()> OnClick;

  private:
    std::string caption;
};

// An edit box that shows each character as `PasswordChar()`.
class TPasswordEdit : public TEdit {
  public:
    char PasswordChar() const { return '*'; }
};

} // namespace navlet
