// The bar's logo strip beside the band: when the browser sites the bar, the
// form's logo moves into a panel that the bar places into the first child
// window of the band site, moved to the top left corner, sized to the strip
// and put at the bottom of the z-order. A left click or a right-button
// release on the logo opens the options menu at the mouse (the form decides
// that); the panel's own popup menu is an empty one, so a right click beside
// the logo opens no menu, not even the browser's.
#pragma once

#include <windows.h>

#include <memory>

namespace navlet {
class TNavlet;
}

namespace navlet::win32 {

class TWin32MenuTracker;

class TLogoStrip {
  public:
    // Builds the strip in the first child of `siteWindow` other than
    // `bandWindow`; null when there is none. `barLogo`, the logo's window
    // inside the bar, is hidden while the strip holds the logo.
    static std::unique_ptr<TLogoStrip> Build(HWND siteWindow, HWND bandWindow, HWND barLogo,
                                             TNavlet& form, TWin32MenuTracker& menus);
    // The panel and the logo go; the logo is the bar's own again.
    ~TLogoStrip();
    TLogoStrip(const TLogoStrip&) = delete;
    TLogoStrip& operator=(const TLogoStrip&) = delete;

    // Null once the browser destroyed the child window that held them.
    HWND Panel() const { return panel; }
    HWND Logo() const { return logo; }

  private:
    TLogoStrip(HWND barLogo, TNavlet& form, TWin32MenuTracker& menus);
    bool Make(HWND holder);
    void Paint(HWND window);
    void MouseUp(UINT message, LPARAM at);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LogoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND barLogo;
    TNavlet& form;
    TWin32MenuTracker& menus;
    HWND panel = nullptr;
    HWND logo = nullptr;
    HBITMAP picture = nullptr;
};

} // namespace navlet::win32
