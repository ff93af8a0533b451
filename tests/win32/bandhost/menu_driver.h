// Drives a popup menu that the bar tracks in its own modal loop. While the
// menu is open no step of the script runs: a timer of this thread, which the
// menu's loop dispatches, reads the menu's items, opens a submenu, takes a
// screenshot with the menus over the band, and then chooses an item or
// closes the menu, all with keys posted to the menu as a keyboard sends them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

class TMenuDriver {
  public:
    TMenuDriver() = default;
    ~TMenuDriver();
    TMenuDriver(const TMenuDriver&) = delete;
    TMenuDriver& operator=(const TMenuDriver&) = delete;

    // Watches for the next menu of this thread and carries out `plan` on it.
    // One driver watches at a time.
    void Start(TMenuPlan plan);
    // The menu was handled and has closed again, or the driver gave up.
    bool Done() const { return phase == TPhase::Done; }
    // Empty when the plan was carried out, else what went wrong.
    const std::string& Error() const { return error; }
    // Every item of the menu and of its submenus, as last read.
    const std::vector<TMenuEntry>& Entries() const { return entries; }
    // The shot was written.
    bool ShotTaken() const { return shotTaken; }
    // Stops watching; a menu still open is ended.
    void Stop();

  private:
    enum class TPhase {
        Idle,
        WaitMenu,
        OpenSubmenu,
        WaitSubmenu,
        Shot,
        CloseSubmenu,
        Choose,
        Close,
        Done
    };

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Step();
    // Moves the highlight one item towards `caption` in `menu`; true once the
    // item is highlighted.
    bool Highlight(HMENU menu, const std::string& caption);
    void Fail(const std::string& why);
    void Finish();

    TMenuPlan plan;
    TPhase phase = TPhase::Idle;
    UINT_PTR timer = 0;
    int ticks = 0;      // since the driver started
    int phaseTicks = 0; // since the phase began
    int keysPosted = 0; // while moving the highlight
    HMENU top = nullptr;
    HMENU submenu = nullptr;
    HMENU chooseIn = nullptr; // the menu or its open submenu
    std::vector<TMenuEntry> entries;
    std::string error;
    bool shotTaken = false;
    bool returnPosted = false; // the chosen item's Enter

    void Enter(TPhase next) {
        phase = next;
        phaseTicks = 0;
        keysPosted = 0;
    }
};

} // namespace navlet::bandhost
