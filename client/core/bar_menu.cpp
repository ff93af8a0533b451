#include "client/core/bar_menu.h"

#include <utility>

namespace navlet {

namespace {

// The tri-state rule shared by check and enable.
bool ApplyTriState(bool current, int state) {
    if (state < 0)
        return !current;
    return state > 0;
}

} // namespace

TBarMenu::TBarMenu(std::string menuCaption)
    : handle(std::make_unique<TPopupMenu>()), caption(std::move(menuCaption)) {}

TBarMenu& TBarMenu::AppendItem(TBarMenuItem item) {
    if (handle)
        handle->Append(std::move(item));
    return *this;
}

TBarMenu& TBarMenu::AppendSubmenu(TBarMenu& submenu) {
    if (handle && submenu.handle && &submenu != this)
        handle->AppendPopup(submenu.caption, std::move(submenu.handle));
    return *this;
}

void TBarMenu::CheckItem(uint16_t id, int state) {
    if (TBarMenuItem* item = handle ? handle->FindItem(id) : nullptr)
        item->checked = ApplyTriState(item->checked, state);
}

void TBarMenu::EnableItem(uint16_t id, int state) {
    if (TBarMenuItem* item = handle ? handle->FindItem(id) : nullptr)
        item->enabled = ApplyTriState(item->enabled, state);
}

const TBarMenuItem* TBarMenu::Item(uint16_t id) const {
    return handle ? handle->FindItem(id) : nullptr;
}

int16_t Track(TMenuTracker& tracker, TBarMenu& menu, int32_t x, int32_t y,
              const TComponent* control) {
    menu.chosen = MENU_NOT_SHOWN;
    if (!menu.handle)
        return menu.chosen;
    menu.chosen = tracker.ShowPopupMenu(*menu.handle, x, y, control);
    return menu.chosen;
}

} // namespace navlet
