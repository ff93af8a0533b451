#include "tests/win32/bandhost/menu_driver.h"

#include <utility>
#include <vector>

#include "tests/win32/window_shot.h"

namespace navlet::bandhost {

namespace {

// A menu is painted shortly after it shows: the shot waits this long.
constexpr int PAINT_TICKS = 4;

struct TShownMenu {
    HWND window;
    HMENU menu;
};

BOOL CALLBACK CollectMenuWindow(HWND window, LPARAM data) {
    wchar_t kind[16] = {};
    GetClassNameW(window, kind, 16);
    if (lstrcmpW(kind, L"#32768") == 0 && IsWindowVisible(window))
        reinterpret_cast<std::vector<TShownMenu>*>(data)->push_back(
            {window, reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0))});
    return TRUE;
}

// The popup menus this thread shows now.
std::vector<TShownMenu> ShownMenus() {
    std::vector<TShownMenu> shown;
    EnumThreadWindows(GetCurrentThreadId(), CollectMenuWindow, LPARAM(&shown));
    return shown;
}

HWND WindowOf(HMENU menu) {
    for (const TShownMenu& shown : ShownMenus())
        if (shown.menu == menu)
            return shown.window;
    return nullptr;
}

struct TItem {
    std::string caption;
    UINT state = 0;
    UINT type = 0;
    HMENU submenu = nullptr;
};

TItem ReadItem(HMENU menu, int position) {
    wchar_t caption[128] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = caption;
    info.cch = 127;
    if (!GetMenuItemInfoW(menu, UINT(position), TRUE, &info))
        return {};
    return {Utf8(caption), info.fState, info.fType, info.hSubMenu};
}

int FindItem(HMENU menu, const std::string& caption) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        if (ReadItem(menu, i).caption == caption)
            return i;
    return -1;
}

void ReadEntries(HMENU menu, const std::string& within, std::vector<TMenuEntry>& out) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const TItem item = ReadItem(menu, i);
        if (item.type & MFT_SEPARATOR)
            continue;
        out.push_back(
            {item.caption, within, !(item.state & MFS_DISABLED), (item.state & MFS_CHECKED) != 0});
        if (item.submenu)
            ReadEntries(item.submenu, item.caption, out);
    }
}

// A key as the keyboard sends it; the menu's loop reads every key message of
// the thread, whichever window it names.
void PostKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, LPARAM(0xC0000001));
}

} // namespace

void TMenuDriver::Start(TMenuPlan next) {
    Stop();
    plan = std::move(next);
    entries.clear();
    top = submenu = chooseIn = nullptr;
    returnPosted = false;
    Enter(TPhase::WaitMenu);
    Watch();
}

void TMenuDriver::Dismiss() {
    if (!ShownMenus().empty())
        EndMenu();
}

bool TMenuDriver::Highlight(HMENU menu, const std::string& caption) {
    const int target = FindItem(menu, caption);
    if (target < 0) {
        Fail("no item \"" + caption + "\"");
        return false;
    }
    if (ReadItem(menu, target).state & MFS_HILITE)
        return true;
    // Each key moves the highlight one item on, round the menu: twice the
    // count finds any item the keyboard can reach.
    if (keysPosted++ > 2 * GetMenuItemCount(menu)) {
        Fail("the keys do not reach \"" + caption + "\"");
        return false;
    }
    PostKey(WindowOf(menu), VK_DOWN);
    return false;
}

void TMenuDriver::Step() {
    ++phaseTicks;
    const std::vector<TShownMenu> shown = ShownMenus();
    switch (phase) {
    case TPhase::WaitMenu:
        if (shown.empty())
            return;
        top = shown.front().menu;
        if (!top) {
            Fail("the menu's window gives no menu");
            return;
        }
        ReadEntries(top, "", entries);
        Enter(plan.openSubmenu.empty() ? TPhase::Shot : TPhase::OpenSubmenu);
        return;
    case TPhase::OpenSubmenu: {
        if (!Highlight(top, plan.openSubmenu))
            return;
        submenu = GetSubMenu(top, FindItem(top, plan.openSubmenu));
        if (!submenu) {
            Fail("\"" + plan.openSubmenu + "\" holds no submenu");
            return;
        }
        PostKey(WindowOf(top), VK_RIGHT);
        Enter(TPhase::WaitSubmenu);
        return;
    }
    case TPhase::WaitSubmenu:
        if (WindowOf(submenu))
            Enter(TPhase::Shot);
        return;
    case TPhase::Shot:
        if (!plan.shotPath.empty()) {
            if (phaseTicks < PAINT_TICKS)
                return;
            std::vector<HWND> windows{plan.shotOf};
            for (HMENU menu : {top, submenu})
                if (HWND window = menu ? WindowOf(menu) : nullptr)
                    windows.push_back(window);
            shotTaken = win32::test::SaveWindowsShot(windows, plan.shotPath);
        }
        // An item of the open submenu is chosen there; one of the menu
        // itself once the submenu is closed again.
        chooseIn =
            submenu && !plan.choose.empty() && FindItem(submenu, plan.choose) >= 0 ? submenu : top;
        Enter(chooseIn == submenu   ? TPhase::Choose
              : submenu             ? TPhase::CloseSubmenu
              : plan.choose.empty() ? TPhase::Close
                                    : TPhase::Choose);
        return;
    case TPhase::CloseSubmenu:
        // Escape closes the open submenu only; the menu itself stays.
        if (!WindowOf(submenu)) {
            Enter(plan.choose.empty() ? TPhase::Close : TPhase::Choose);
            return;
        }
        if (phaseTicks % 5 == 1)
            PostKey(WindowOf(submenu), VK_ESCAPE);
        return;
    case TPhase::Choose: {
        if (shown.empty()) {
            Finish(); // chosen: the menu's loop returned the item
            return;
        }
        if (returnPosted)
            return; // the menu closes on the key
        const int item = FindItem(chooseIn, plan.choose);
        if (item >= 0 && (ReadItem(chooseIn, item).state & MFS_DISABLED)) {
            Fail("\"" + plan.choose + "\" is disabled");
            return;
        }
        if (!Highlight(chooseIn, plan.choose))
            return;
        PostKey(WindowOf(chooseIn), VK_RETURN);
        returnPosted = true;
        return;
    }
    case TPhase::Close:
        if (shown.empty()) {
            Finish();
            return;
        }
        if (phaseTicks % 5 == 1)
            PostKey(shown.front().window, VK_ESCAPE);
        return;
    }
}

} // namespace navlet::bandhost
