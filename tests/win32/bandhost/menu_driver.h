// Drives a popup menu that the bar tracks in its own modal loop. While the
// menu is open no step of the script runs: a timer of this thread, which the
// menu's loop dispatches, reads the menu's items, opens a submenu, takes a
// screenshot with the menus over the band, and then chooses an item or
// closes the menu, all with keys posted to the menu as a keyboard sends them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/win32/bandhost/modal_loop_driver.h"

namespace navlet::bandhost {

// One item of a menu as the platform shows it.
struct TMenuEntry {
    std::string caption; // UTF-8, with the "&" of its access key
    std::string within;  // the caption of the submenu that holds it, or ""
    bool enabled = false;
    bool checked = false;
};

// What to do with the next menu this thread opens.
struct TMenuPlan {
    // The submenu to open (by its caption in the menu) before the shot; none
    // when empty.
    std::string openSubmenu;
    // The window under the menus in the shot, and the BMP file; no shot when
    // the path is empty.
    HWND shotOf = nullptr;
    std::string shotPath;
    // The item to choose, in the open submenu or else in the menu itself;
    // the menu is closed with Escape when empty.
    std::string choose;
};

class TMenuDriver : public TModalLoopDriver {
  public:
    TMenuDriver() : TModalLoopDriver("no menu, or it did not close") {}
    ~TMenuDriver() override { Stop(); }

    // Watches for the next menu of this thread and carries out `plan` on it.
    void Start(TMenuPlan plan);
    // Every item of the menu and of its submenus, as last read.
    const std::vector<TMenuEntry>& Entries() const { return entries; }

  private:
    enum class TPhase { WaitMenu, OpenSubmenu, WaitSubmenu, Shot, CloseSubmenu, Choose, Close };

    void Step() override;
    void Dismiss() override; // a menu still open is ended
    // Moves the highlight one item towards `caption` in `menu`; true once the
    // item is highlighted.
    bool Highlight(HMENU menu, const std::string& caption);

    TMenuPlan plan;
    TPhase phase = TPhase::WaitMenu;
    int phaseTicks = 0; // since the phase began
    int keysPosted = 0; // while moving the highlight
    HMENU top = nullptr;
    HMENU submenu = nullptr;
    HMENU chooseIn = nullptr; // the menu or its open submenu
    std::vector<TMenuEntry> entries;
    bool returnPosted = false; // the chosen item's Enter

    void Enter(TPhase next) {
        phase = next;
        phaseTicks = 0;
        keysPosted = 0;
    }
};

} // namespace navlet::bandhost
