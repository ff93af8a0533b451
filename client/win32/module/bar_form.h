// The bar form of one control object and the band's window that holds it.
// The window starts as a hidden, parentless pop-up (as the form is made
// before the browser sites it) and becomes a child of the site's window.
#pragma once

#include <windows.h>

#include <memory>

namespace navlet {
class TNavlet;
}

namespace navlet::win32 {

class TKitForm;

class TBarForm {
  public:
    TBarForm();
    ~TBarForm();
    TBarForm(const TBarForm&) = delete;
    TBarForm& operator=(const TBarForm&) = delete;

    // Null once closed.
    HWND Window() const { return window; }
    // The bar form; null only while the object is being torn down.
    TNavlet* Form() const;

    // The band's window becomes a child of `siteWindow`.
    void PlaceInto(HWND siteWindow);
    // Shows or hides the band's window as the form's visibility says.
    void FollowFormVisibility(bool fallback);
    void CloseWindow();

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
    std::unique_ptr<TKitForm> bar;
};

// Band windows alive in this thread's module, for leak counts in tests.
long LiveBandWindows();

} // namespace navlet::win32
