// Popup menus: the core's TPopupMenu as a Win32 popup menu, tracked with
// TPM_RETURNCMD; the menu's modal loop keeps dispatching the thread's
// messages, so timers and socket notifications run meanwhile.
#include "client/kit/popup_menu.h"
#include "client/win32/kit/win32_kit.h"

namespace navlet::win32 {

namespace {

// The platform's menu captions mark the access key with "&", as the core's do.
bool Fill(HMENU menu, const TPopupMenu& source) {
    for (const TPopupMenu::TEntry& entry : source.Entries()) {
        if (entry.IsSeparator()) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        if (entry.submenu) {
            HMENU sub = CreatePopupMenu();
            if (!sub || !Fill(sub, *entry.submenu) ||
                !AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                             entry.item.caption.c_str())) {
                if (sub)
                    DestroyMenu(sub);
                return false;
            }
            continue; // the submenu now belongs to `menu`
        }
        UINT flags = MF_STRING;
        if (!entry.item.enabled)
            flags |= MF_GRAYED;
        if (entry.item.checked)
            flags |= MF_CHECKED;
        if (!AppendMenuA(menu, flags, entry.item.id, entry.item.caption.c_str()))
            return false;
    }
    return true;
}

} // namespace

int16_t TWin32MenuTracker::ShowPopupMenu(const TPopupMenu& source, int32_t x, int32_t y,
                                         const TComponent* control) {
    HWND owner = owners.Current();
    POINT at{x, y};
    if (control) {
        auto it = windows.find(control);
        if (it == windows.end() || !IsWindow(it->second))
            return MENU_NOT_SHOWN;
        owner = it->second;
        ClientToScreen(owner, &at);
    }
    if (!owner || !IsWindow(owner))
        return MENU_NOT_SHOWN;
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return MENU_NOT_SHOWN;
    if (!Fill(menu, source)) {
        DestroyMenu(menu);
        return MENU_NOT_SHOWN;
    }
    const BOOL chosen = TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x,
        at.y, 0, owner, nullptr);
    DestroyMenu(menu);
    return chosen == 0 ? MENU_DISMISSED : int16_t(chosen);
}

} // namespace navlet::win32
