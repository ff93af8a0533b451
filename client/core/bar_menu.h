// The bar's own popup menu object. The form owns three of them for its whole
// life; the menu issue builds them and gives them their operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace navlet {

struct TBarMenuItem {
    uint16_t id = 0; // 0 = separator
    std::string caption;
    bool enabled = true;
    bool checked = false;
};

class TBarMenu {
  public:
    explicit TBarMenu(std::string menuCaption) : caption(std::move(menuCaption)) {}

    int16_t chosen = 0; // last Track: command id, 0 = no choice, -1 = not shown
    std::string caption;
    std::vector<TBarMenuItem> items;
};

} // namespace navlet
