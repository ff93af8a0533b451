// What the bar needs from the browser that hosts it as a band. The Windows
// control object and navlet-browser implement it; the form reaches it through
// its `hostControl`, which is null until the browser gives the control its site.
#pragma once

#include <cstdint>
#include <string>

namespace navlet {

// Result codes of the band calls, with the platform's values.
using THResult = int32_t;
inline constexpr THResult HR_OK = 0;
inline constexpr THResult HR_FALSE = 1;
inline constexpr THResult HR_NOTIMPL = int32_t(0x80004001);
inline constexpr THResult HR_FAIL = int32_t(0x80004005);
inline constexpr THResult HR_INVALIDARG = int32_t(0x80070057);

class THostControl {
  public:
    virtual ~THostControl() = default;
    // The address the browser shows, as the browser's LocationURL gives it.
    virtual std::string LocationURL() = 0;
    // Opens `address`, an http or https address, in a new window (or tab) of
    // the browser that holds the bar; the page the user is on stays.
    virtual void OpenNewWindow(const std::string& address) = 0;
    // Flashes the browser's top-level window.
    virtual void FlashBrowserWindow() = 0;
    // Moves the band site's parent window to (0, 0) with width 0 and `height`,
    // on top of the z-order; the browser then lays the band out.
    virtual void ResizeBandSite(int32_t height) = 0;
    // Tells the browser's input site that the bar gained or lost the focus.
    virtual void FocusChanged(bool hasFocus) = 0;
    // Closing the band: no fault dialog box from here on, then the control's
    // in-place window is closed.
    virtual void SuppressFaultDialogs() = 0;
    virtual void CloseInPlaceWindow() = 0;
};

} // namespace navlet
