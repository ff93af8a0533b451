// The options menu behind NavletBtn and the logo, through its handlers.
#include "client/core/about_box.h"
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

class OptionsMenuTest : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        tk.module.serviceHost = "navlet.example";
    }
    std::optional<TMemoryRegistry::TValue> Setting(const char* name) {
        return tk.registry.Get(THive::CurrentUser, SETTINGS_KEY, name);
    }
    const TBarMenuItem& ShownItem(const std::string& caption) {
        for (const TBarMenuItem& item : tk.menus.shown.back().items)
            if (item.caption == caption)
                return item;
        static const TBarMenuItem none;
        ADD_FAILURE() << caption;
        return none;
    }
    void Choose(TNavlet& b, int16_t id) {
        tk.menus.choices = {id};
        b.NavletBtn.SetDown(true);
        b.sbNavletClick(TNavlet::TNavletSender::NavletBtn, 0, 0);
    }
    // A bar shown and past its first-run pages.
    TNavlet& Shown() {
        TNavlet& b = ShownBar();
        host.newWindows.clear();
        return b;
    }
};

TEST_F(OptionsMenuTest, SignedOutGreysProfileAndSearchButThePagesOpen) {
    TNavlet& b = Shown();
    b.NavletBtn.SetBounds(0, 0, 16, 16);
    Choose(b, 205);
    EXPECT_FALSE(ShownItem("Modify Profile").enabled);
    EXPECT_FALSE(ShownItem("Search user...").enabled);
    EXPECT_TRUE(ShownItem("Guide").enabled);
    EXPECT_EQ(tk.menus.shown.back().y, 16);
    EXPECT_EQ(tk.menus.shown.back().control, &b.NavletBtn);
    EXPECT_FALSE(b.NavletBtn.Down());
    Choose(b, 201);
    // Each page opens in a new window; the page the user was on stays.
    EXPECT_EQ(host.newWindows, (std::vector<std::string>{"http://navlet.example/help.asp",
                                                         "http://navlet.example"}));
    // Escape: nothing happens, the button is still released.
    Choose(b, 0);
    EXPECT_EQ(host.newWindows.size(), 2u);
    EXPECT_FALSE(b.NavletBtn.Down());
}

TEST_F(OptionsMenuTest, AutologinToggleWritesZeroAndTheNextSessionAsksForTheLogin) {
    StoreLogin();
    TNavlet& b = Shown();
    Socket().AcceptConnection();
    ConfirmLogin(/*me=*/0x8000000000000005ull);
    ASSERT_TRUE(b.loggedIn);
    Choose(b, 203);
    EXPECT_TRUE(ShownItem("Modify Profile").enabled);
    EXPECT_TRUE(ShownItem("Autologin").checked);
    ASSERT_EQ(host.newWindows.size(), 1u);
    EXPECT_NE(host.newWindows[0].find("idUtente=9223372036854775813"), std::string::npos);

    Choose(b, 202);
    EXPECT_EQ(Setting("autologin"), TMemoryRegistry::TValue(int32_t(0)));
    EXPECT_EQ(loginCount, 0);
    Choose(b, 0);
    EXPECT_FALSE(ShownItem("Autologin").checked);

    const int opens = Socket().OpenCount();
    b.SwitchSession(false);
    b.SwitchSession(true);
    EXPECT_EQ(Socket().OpenCount(), opens);
    EXPECT_EQ(b.BannerPanel.Mode(), bmLogin);
}

TEST_F(OptionsMenuTest, LanguageTogglesFlipTheirBitAndReachTheServerOnlyWhileSignedIn) {
    StoreLogin();
    TNavlet& b = Shown();
    Socket().AcceptConnection(); // connected, not yet signed in
    ASSERT_EQ(b.languageMask, 0x80001FFFu);
    Choose(b, 32);
    EXPECT_EQ(b.languageMask, 0x00001FFFu);
    EXPECT_EQ(Setting("lang"), TMemoryRegistry::TValue(int32_t(0x00001FFF)));
    EXPECT_FALSE(b.optionsMenu->Item(32)->checked);
    EXPECT_EQ(SentTypes(), std::vector<int>{REQ_LOGIN});

    ConfirmLogin();
    Choose(b, 3);
    EXPECT_EQ(b.languageMask, 0x00001FFBu);
    EXPECT_FALSE(b.optionsMenu->Item(3)->checked);
    const TPacket last = Socket().SentPackets().back();
    ASSERT_EQ(last.Type(), REQ_LANGUAGE_FILTER);
    EXPECT_EQ(ReadLanguageFilter(last), 0x00001FFBu);

    Choose(b, 204);
    EXPECT_EQ(b.BannerPanel.Mode(), bmSearch);
}

TEST_F(OptionsMenuTest, TheLogoOpensTheMenuAtTheMouseOnEitherButton) {
    TNavlet& b = Shown();
    b.sbNavletMouseUp(TNavlet::TNavletSender::Logo, TMouseButton::mbRight, 0, 7, 9);
    ASSERT_EQ(tk.menus.shown.size(), 1u);
    EXPECT_EQ(tk.menus.shown[0].x, 7);
    EXPECT_EQ(tk.menus.shown[0].y, 9);
    EXPECT_EQ(tk.menus.shown[0].control, &b.navlet_left_img);
    b.sbNavletMouseUp(TNavlet::TNavletSender::Logo, TMouseButton::mbLeft, 0, 7, 9);
    EXPECT_EQ(tk.menus.shown.size(), 1u); // the left click comes as a click
    b.sbNavletClick(TNavlet::TNavletSender::Logo, 3, 4);
    EXPECT_EQ(tk.menus.shown.size(), 2u);
}

TEST_F(OptionsMenuTest, AboutBoxIsModalAndExistsOnlyWhileShown) {
    TNavlet& b = Shown();
    Choose(b, 206);
    ASSERT_EQ(tk.dialogs.shown.size(), 1u);
    EXPECT_TRUE(tk.dialogs.sawModuleWideForm);
    EXPECT_EQ(tk.dialogs.shown[0].caption, "About Navlet");
    EXPECT_EQ(tk.dialogs.shown[0].versionLabel, "1.4.0");
    EXPECT_EQ(AboutForm, nullptr);
}

} // namespace
} // namespace navlet::testing
