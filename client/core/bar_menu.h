// The bar's own popup menu object. Every menu of the bar is one of these:
// built with AppendItem / AppendSubmenu, adjusted with CheckItem / EnableItem,
// shown with Track. The kit renders the TPopupMenu behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/kit/popup_menu.h"

namespace navlet {

class TBarMenu {
  public:
    // Stores the caption and creates an empty popup menu.
    explicit TBarMenu(std::string menuCaption);

    // Appends at the end and returns this menu, so that appends chain. Does
    // nothing once this menu has been given to another as a submenu.
    TBarMenu& AppendItem(TBarMenuItem item);
    // Moves the submenu's popup menu into this one, under the submenu's
    // caption. The submenu object keeps its caption but no longer has a menu
    // of its own (Track on it returns -1); its items are reached through this
    // menu by command id.
    TBarMenu& AppendSubmenu(TBarMenu& submenu);

    // By command id, also inside submenus. state 0 = clear the check mark /
    // grey the item, > 0 = set it / enable it, < 0 = invert what it shows.
    void CheckItem(uint16_t id, int state);
    void EnableItem(uint16_t id, int state);
    // The item with that id (submenus included), or null.
    const TBarMenuItem* Item(uint16_t id) const;

    int16_t chosen = 0; // last Track: a command id, 0 = closed without a choice, -1 = not shown
    std::unique_ptr<TPopupMenu> handle; // null once given away as a submenu
    std::string caption;                // shown when this menu is appended to another as a submenu
};

// Shows the menu and returns the chosen command id, also left in menu.chosen:
// 0 when the menu closed without a choice, -1 when it cannot be shown. x and y
// are in the client coordinates of the component `control` models, or screen
// coordinates without one.
// Blocks while the menu is open; timers and socket notifications run meanwhile,
// so the caller must not hold references that a handler may invalidate.
int16_t Track(TMenuTracker& tracker, TBarMenu& menu, int32_t x, int32_t y,
              const TComponent* control);

} // namespace navlet
