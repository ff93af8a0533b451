// The bar form of one control object, the band's window that holds it and the
// bar's native window inside that. The band's window starts as a hidden,
// parentless pop-up (the form is made before the browser sites it) and
// becomes a child of the site's window; the bar's window fills it. Beside it,
// the logo strip in the site's first child window (logo_strip.h).
#pragma once

#include <windows.h>

#include <memory>

namespace navlet {
class TNavlet;
}

namespace navlet::win32 {

class TKitForm;
class TBarWindow;
class TLogoStrip;

class TBarForm {
  public:
    TBarForm();
    ~TBarForm();
    TBarForm(const TBarForm&) = delete;
    TBarForm& operator=(const TBarForm&) = delete;

    // Null once closed.
    HWND Window() const { return window; }
    // The bar's own window inside the band's; null once closed.
    HWND BarWindow() const;
    // The bar form; null only while the object is being torn down.
    TNavlet* Form() const;

    // Moves the form's logo into a strip in the first child window of
    // `siteWindow`, replacing the strip of an earlier site; nothing when the
    // site window has no child or the bar's window is closed.
    void BuildLogoStrip(HWND siteWindow);
    // The band's window becomes a child of `siteWindow`.
    void PlaceInto(HWND siteWindow);
    // Shows or hides the band's window as the form's visibility says.
    void FollowFormVisibility(bool fallback);
    // The logo strip and the bar's window go first, then the band's; the
    // form stays.
    void CloseWindow();

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
    std::unique_ptr<TKitForm> bar;
    std::unique_ptr<TBarWindow> view;      // binds the form's models: made after, goes before
    std::unique_ptr<TLogoStrip> logoStrip; // holds the logo of `view`: goes before it
};

} // namespace navlet::win32
