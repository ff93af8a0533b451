// The menu model the kits render: entries in order, submenus inside.
#include "client/kit/popup_menu.h"

#include <utility>

namespace navlet {

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

} // namespace navlet
