#include "tests/core/bar_test_support.h"

namespace navlet::testing {
namespace {

std::vector<std::string> CaptionsOf(const TPopupMenu& menu) {
    std::vector<std::string> captions;
    for (const TPopupMenu::TEntry& entry : menu.Entries())
        captions.push_back(entry.item.caption);
    return captions;
}

TEST(BarMenuTest, CheckAndEnableFollowTheTriStateAlsoInSubmenus) {
    TBarMenu sub("Sub");
    sub.AppendItem({"inner", 7, /*itemEnabled=*/true, /*itemChecked=*/false});
    TBarMenu menu("");
    menu.AppendItem({"outer", 1}).AppendSubmenu(sub).AppendItem({"", 0});

    menu.CheckItem(7, -1);
    EXPECT_TRUE(menu.Item(7)->checked);
    menu.CheckItem(7, -1);
    EXPECT_FALSE(menu.Item(7)->checked);
    menu.CheckItem(7, 5);
    menu.CheckItem(7, 1);
    EXPECT_TRUE(menu.Item(7)->checked);
    menu.EnableItem(1, 0);
    EXPECT_FALSE(menu.Item(1)->enabled);
    menu.EnableItem(1, -1);
    EXPECT_TRUE(menu.Item(1)->enabled);
    // A separator is no item; unknown ids change nothing.
    menu.CheckItem(0, 1);
    menu.EnableItem(99, 0);
    EXPECT_EQ(menu.Item(0), nullptr);
    EXPECT_EQ(menu.Item(99), nullptr);

    // The submenu gave its menu away: only the outer menu reaches its items.
    EXPECT_EQ(sub.handle, nullptr);
    EXPECT_EQ(sub.Item(7), nullptr);
    EXPECT_EQ(CaptionsOf(*menu.handle), (std::vector<std::string>{"outer", "Sub", ""}));
}

TEST(BarMenuTest, TrackReturnsTheChoiceDismissalOrMinusOne) {
    TScriptedMenuTracker tracker;
    TBarMenu menu("");
    menu.AppendItem({"a", 3});
    tracker.choices = {3};
    EXPECT_EQ(Track(tracker, menu, 1, 2, nullptr), 3);
    EXPECT_EQ(menu.chosen, 3);
    EXPECT_EQ(Track(tracker, menu, 1, 2, nullptr), 0);
    EXPECT_EQ(menu.chosen, 0);
    tracker.choices = {MENU_NOT_SHOWN};
    EXPECT_EQ(Track(tracker, menu, 1, 2, nullptr), -1);

    TBarMenu outer("");
    outer.AppendSubmenu(menu);
    const size_t shown = tracker.shown.size();
    EXPECT_EQ(Track(tracker, menu, 0, 0, nullptr), -1); // no menu of its own any more
    EXPECT_EQ(menu.chosen, -1);
    EXPECT_EQ(tracker.shown.size(), shown);
}

using FormMenusTest = BarTest;

TEST_F(FormMenusTest, ConstructionBuildsTheThreeMenusWithTheirIds) {
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "lang", int32_t(0x80000005));
    TNavlet& b = MakeBar();

    ASSERT_TRUE(b.languageMenu && b.optionsMenu && b.usersMenu);
    EXPECT_EQ(b.languageMenu->caption, "Filter by Language");
    EXPECT_EQ(b.languageMenu->handle, nullptr); // it lives inside the options menu
    EXPECT_EQ(CaptionsOf(*b.optionsMenu->handle),
              (std::vector<std::string>{
                  "Navlet Home Page", "Autologin", "Modify Profile", "Search user...",
                  "Filter by Language", "", "Share: the site only", "Share: the page",
                  "Never report this site", "", "Invisible", "Visible to friends",
                  "Tell my friends where I am", "", "Guide", "About Navlet..."}));
    const std::pair<uint16_t, const char*> options[] = {
        {201, "Navlet Home Page"},     {202, "Autologin"},       {203, "Modify Profile"},
        {204, "Search user..."},       {205, "Guide"},           {206, "About Navlet..."},
        {207, "Share: the site only"}, {208, "Share: the page"}, {209, "Never report this site"}};
    for (const auto& [id, caption] : options) {
        const TBarMenuItem* item = b.optionsMenu->Item(id);
        ASSERT_NE(item, nullptr) << id;
        EXPECT_EQ(item->caption, caption);
        EXPECT_TRUE(item->enabled && !item->checked);
    }

    const TPopupMenu& languages = *b.optionsMenu->handle->Entries()[4].submenu;
    ASSERT_EQ(languages.Entries().size(), 15u);
    EXPECT_EQ(languages.Entries()[12].item.caption, "Turkish");
    EXPECT_TRUE(languages.Entries()[13].IsSeparator());
    // Mask 0x80000005: Danish, English and Others are checked.
    for (uint16_t id = 1; id <= 13; ++id)
        EXPECT_EQ(b.optionsMenu->Item(id)->checked, id == 1 || id == 3) << id;
    EXPECT_EQ(b.optionsMenu->Item(32)->caption, "Others");
    EXPECT_TRUE(b.optionsMenu->Item(32)->checked);
    b.optionsMenu->CheckItem(32, -1);
    EXPECT_FALSE(b.optionsMenu->Item(32)->checked);

    EXPECT_EQ(
        CaptionsOf(*b.usersMenu->handle),
        (std::vector<std::string>{"View Profile", "Invite in a new private chat",
                                  "Invite in this private chat", "Add to friendlist", "",
                                  "Ignore this user", "Block this user", "Report this user..."}));
    EXPECT_EQ(b.usersMenu->Item(104), nullptr);
    EXPECT_EQ(b.usersMenu->Item(105)->caption, "Add to friendlist");
}

} // namespace
} // namespace navlet::testing
