// Showing a popup menu: the kit opens the menu the core describes, waits until
// it closes and says which item was chosen.
#pragma once

#include <cstdint>

namespace navlet {

class TModel;
class TPopupMenu;

// Results of ShowPopupMenu besides a command id.
inline constexpr int16_t MENU_DISMISSED = 0;
inline constexpr int16_t MENU_NOT_SHOWN = -1;

class TMenuTracker {
  public:
    virtual ~TMenuTracker() = default;
    // Opens `menu` with its left edge at x and its top at y and returns when it
    // closes: the chosen item's command id, MENU_DISMISSED when the user chose
    // nothing, MENU_NOT_SHOWN when the menu cannot be opened. x and y are in the
    // client coordinates of the component whose model is
    // `control`, or screen coordinates when it is null.
    // The platform keeps dispatching timers and socket notifications meanwhile.
    virtual int16_t ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                                  const TModel* control) = 0;
};

} // namespace navlet
