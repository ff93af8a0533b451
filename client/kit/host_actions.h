// What the bar asks of the desktop around it.
#pragma once

#include <string>

namespace navlet {

// Results of OpenBrowserWindow follow the shell's convention: above 32 the
// window was started, 32 or less is the error number.
inline constexpr int SHELL_OK_ABOVE = 32;

class THostActions {
  public:
    virtual ~THostActions() = default;
    // Starts a new browser window showing `link` (one argument, never through a
    // command shell); an empty link opens the browser's start page.
    virtual int OpenBrowserWindow(const std::string& link) = 0;
    // An information message box with that text; returns when it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // The service offers module `version` ("a.b.c.d") to a host that updates
    // the module itself: a line where its developers look. Told once per
    // version and bar.
    virtual void NewerModuleOffered(const std::string& /*version*/) {}
};

} // namespace navlet
