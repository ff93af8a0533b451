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

void TPopupMenu::Append(TBarMenuItem item) {
    entries.push_back(TEntry{std::move(item), nullptr});
}

void TPopupMenu::AppendPopup(std::string caption, std::unique_ptr<TPopupMenu> submenu) {
    entries.push_back(TEntry{TBarMenuItem(std::move(caption), /*itemId=*/0), std::move(submenu)});
}

TBarMenuItem* TPopupMenu::FindItem(uint16_t id) {
    return const_cast<TBarMenuItem*>(std::as_const(*this).FindItem(id));
}

const TBarMenuItem* TPopupMenu::FindItem(uint16_t id) const {
    if (id == 0)
        return nullptr;
    for (const TEntry& entry : entries) {
        if (entry.submenu) {
            if (const TBarMenuItem* inner = entry.submenu->FindItem(id))
                return inner;
            continue;
        }
        if (entry.item.id == id && !entry.IsSeparator())
            return &entry.item;
    }
    return nullptr;
}

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

int16_t Track(TMenuTracker& tracker, TBarMenu& menu, int32_t x, int32_t y, const TModel* control) {
    menu.chosen = MENU_NOT_SHOWN;
    if (!menu.handle)
        return menu.chosen;
    menu.chosen = tracker.ShowPopupMenu(*menu.handle, x, y, control);
    return menu.chosen;
}

} // namespace navlet
