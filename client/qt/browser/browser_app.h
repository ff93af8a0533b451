// navlet-browser's windows: one process, any number of windows, each with its
// own bar, as the platform browser keeps them. The bars of one module share
// its module-wide values, which is what they expect.
#pragma once

#include <vector>

#include <QString>

#include "client/qt/module/navlet_module.h"

namespace navlet::qt {

class TBrowserWindow;

class TBrowserApp {
  public:
    // `bands`: the bar modules found at start, tried in order for each window.
    explicit TBrowserApp(std::vector<const NavletModuleApi*> bands);
    ~TBrowserApp();
    TBrowserApp(const TBrowserApp&) = delete;
    TBrowserApp& operator=(const TBrowserApp&) = delete;

    // Opens a window on `address` (none: a blank page) and then adds its bar,
    // so that a page the bar opens on being shown (the sign-up page at the
    // first start) wins over the address. The window deletes itself on close.
    TBrowserWindow& NewWindow(const QString& address);
    // The windows open now, oldest first.
    const std::vector<TBrowserWindow*>& Windows() const { return windows; }

  private:
    // The modules' way to open a link in a new window of this process.
    static void OpenFromBar(const char* address);

    std::vector<const NavletModuleApi*> bands;
    std::vector<TBrowserWindow*> windows;
};

} // namespace navlet::qt
