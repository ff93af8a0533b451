// The menus the form keeps for its whole life: the language filter, the
// options menu that holds it, and the users menu.
#include <array>

#include "client/core/navlet.h"

namespace navlet {

namespace {

// One name per bit of the language mask; item id k stands for bit k-1. Bits
// 13 to 30 have no language and no item.
constexpr std::array<const char*, 13> LANGUAGE_NAMES = {
    "Danish",  "Dutch",  "English",    "Finnish", "French",  "German",  "Hungarian",
    "Italian", "Polish", "Portuguese", "Spanish", "Swedish", "Turkish",
};
constexpr uint16_t OTHERS_ID = 32;

bool MaskHas(uint32_t mask, uint16_t id) {
    return (mask >> (id - 1)) & 1;
}

} // namespace

void TNavlet::BuildMenus() {
    languageMenu = std::make_unique<TBarMenu>("Filter by Language");
    for (uint16_t id = 1; id <= LANGUAGE_NAMES.size(); ++id)
        languageMenu->AppendItem(
            {LANGUAGE_NAMES[id - 1], id, /*itemEnabled=*/true, MaskHas(languageMask, id)});
    languageMenu->AppendItem({"", 0}).AppendItem(
        {"Others", OTHERS_ID, /*itemEnabled=*/true, MaskHas(languageMask, OTHERS_ID)});

    optionsMenu = std::make_unique<TBarMenu>("");
    optionsMenu->AppendItem({"Navlet Home Page", 201})
        .AppendItem({"Autologin", 202})
        .AppendItem({"Modify Profile", 203})
        .AppendItem({"Search user...", 204})
        .AppendSubmenu(*languageMenu)
        .AppendItem({"", 0})
        .AppendItem({"Share: the site only", 207})
        .AppendItem({"Share: the page", 208})
        .AppendItem({"Never report this site", 209})
        .AppendItem({"", 0})
        .AppendItem({"Invisible", 210})
        .AppendItem({"Visible to friends", 211})
        .AppendItem({"Tell my friends where I am", 212})
        .AppendItem({"", 0})
        .AppendItem({"Guide", 205})
        .AppendItem({"About Navlet...", 206});

    usersMenu = std::make_unique<TBarMenu>("");
    usersMenu->AppendItem({"View Profile", 101})
        .AppendItem({"Invite in a new private chat", 102})
        .AppendItem({"Invite in this private chat", 103})
        .AppendItem({"Add to friendlist", 105})
        .AppendItem({"", 0})
        .AppendItem({"Ignore this user", 106})
        .AppendItem({"Block this user", 107})
        .AppendItem({"Report this user...", 110});
}

} // namespace navlet
