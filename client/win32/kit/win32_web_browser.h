// The banner area's embedded browser on Windows: the system's web browser
// control (Shell.Explorer), hosted in a minimal in-place container inside
// the panel the bar window places it in. Where the control cannot be made
// (no browser engine installed), every navigation reports an error and a
// completed document at once, so the bar shows its own banner.
#pragma once

#include <string>

#include <windows.h>

#include "client/kit/web_browser.h"

namespace navlet::win32 {

class TBrowserSite;

class TWin32WebBrowser : public TWebBrowser {
  public:
    TWin32WebBrowser();
    ~TWin32WebBrowser() override;

    // The control lives in `parent` at `bounds` (parent's client
    // coordinates); a control already made moves there. A null parent takes
    // it out of its panel, hidden, before the panel goes.
    void Place(HWND parent, const RECT& bounds);
    void Navigate(const std::string& address) override;
    void SetInputEnabled(bool enabled) override;
    // Whether the control exists (after the first navigation inside a parent).
    bool HasControl() const;

    // The control's outcome as the bar hears it, once per navigation: an
    // error at most, then the completed document. Called by the container.
    void DocumentComplete();
    void NavigateError();
    // Ends a navigation that cannot finish: what the bar has not heard yet
    // of an error and a completed document.
    void GiveUp();

  private:
    bool MakeContainer();

    HWND parent = nullptr;
    HWND container = nullptr; // holds the control; message-only until placed
    RECT bounds{};
    bool inputEnabled = true;
    bool creationFailed = false;
    bool oleStarted = false;
    bool navigating = false;      // a navigation waits for its completion
    bool errorReported = false;   // its error was told
    TBrowserSite* site = nullptr; // the container; COM-counted
};

using TWin32WebBrowserFactory = TKitWebBrowsers<TWin32WebBrowser>;

} // namespace navlet::win32
