// Showing a popup menu: the kit opens the menu the core describes, waits until
// it closes and says which item was chosen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/kit/component.h"

namespace navlet {

struct TBarMenuItem {
    TBarMenuItem() = default;
    TBarMenuItem(std::string itemCaption, uint16_t itemId, bool itemEnabled = true,
                 bool itemChecked = false)
        : id(itemId), caption(std::move(itemCaption)), enabled(itemEnabled), checked(itemChecked) {}

    uint16_t id = 0;     // the command id reported when it is chosen; 0 for a separator
    std::string caption; // empty = a separator
    bool enabled = true; // false = greyed, cannot be chosen
    bool checked = false;
};

// The platform menu as the kit shows it: entries in order, each an item or a
// popup entry that opens a submenu.
class TPopupMenu {
  public:
    struct TEntry {
        TBarMenuItem item; // for a popup entry: the submenu's caption, id 0
        std::unique_ptr<TPopupMenu> submenu;

        bool IsSeparator() const { return !submenu && item.caption.empty(); }
    };

    const std::vector<TEntry>& Entries() const { return entries; }
    void Append(TBarMenuItem item);
    void AppendPopup(std::string caption, std::unique_ptr<TPopupMenu> submenu);
    // The first item with that command id, searching submenus depth-first;
    // null for id 0 or an id the menu does not hold.
    TBarMenuItem* FindItem(uint16_t id);
    const TBarMenuItem* FindItem(uint16_t id) const;

  private:
    std::vector<TEntry> entries;
};

// Results of ShowPopupMenu besides a command id.
inline constexpr int16_t MENU_DISMISSED = 0;
inline constexpr int16_t MENU_NOT_SHOWN = -1;

class TMenuTracker {
  public:
    virtual ~TMenuTracker() = default;
    // Opens `menu` with its left edge at x and its top at y and returns when it
    // closes: the chosen item's command id, MENU_DISMISSED when the user chose
    // nothing, MENU_NOT_SHOWN when the menu cannot be opened. x and y are in the
    // client coordinates of `control`, or screen coordinates when it is null.
    // The platform keeps dispatching timers and socket notifications meanwhile.
    virtual int16_t ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                                  const TComponent* control) = 0;
};

} // namespace navlet
