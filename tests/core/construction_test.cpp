#include <cstring>

#include "tests/core/bar_test_support.h"

namespace navlet::testing {
namespace {

using ConstructionTest = BarTest;

TEST_F(ConstructionTest, LeavesTheInitialStateOfEveryField) {
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "nck", std::string("stored"));
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "autologin", int32_t(0));
    TNavlet& b = MakeBar();

    EXPECT_EQ(b.updateHandle, -1);
    EXPECT_EQ(b.bannerId, 0);
    EXPECT_EQ(b.barSize, 0);
    EXPECT_EQ(b.lastSendTime, 0.0);
    EXPECT_STREQ(b.moduleFile, FIXTURE_MODULE);
    EXPECT_FALSE(b.loggedIn);
    // Only "lang" is read at construction: autologin keeps its initial true.
    EXPECT_TRUE(b.autoLogin);
    EXPECT_EQ(b.myNick, "");
    EXPECT_FALSE(b.disconnectedOnce);
    EXPECT_FALSE(b.autoReconnecting);
    EXPECT_FALSE(b.closingOnPurpose);
    EXPECT_EQ(b.serverStatus, "");
    EXPECT_EQ(b.languageMask, LANGUAGE_MASK_ALL);
    EXPECT_EQ(b.closingSheet, nullptr);
    EXPECT_EQ(b.myUserId, 0u);
    EXPECT_EQ(b.myChatKey, 0u);
    EXPECT_EQ(b.versionText, "1.4.0.0");
    EXPECT_EQ(b.moduleVersion, 0x01040000);
    EXPECT_EQ(b.updateVersion, 0x01040000);
    EXPECT_EQ(b.updateBytes, 0);
    EXPECT_TRUE(b.siteUrl.empty() && b.siteHost.empty() && b.password.empty() &&
                b.shownVersion.empty());
    std::string dir(FIXTURE_MODULE);
    dir.resize(dir.find_last_of('/') + 1);
    EXPECT_EQ(b.updateFile, dir + "Navlet_Client.upd");
    EXPECT_EQ(b.hostControl, nullptr);
    EXPECT_FALSE(b.pageLoaded);
    EXPECT_FALSE(b.bannerNavFailed);
    EXPECT_EQ(b.BannerPanel.Mode(), bmDefault);
    EXPECT_EQ(b.msgDstRect, (TRect{0, 0, b.msg_img.Width(), b.msg_img.Height()}));
    ASSERT_TRUE(b.msgImage && b.msgHitMap);
}

TEST_F(ConstructionTest, PostsTheVersionLineAndStartsOnlyTheTickerAndSiteTimers) {
    TNavlet& b = MakeBar();
    ASSERT_EQ(b.msgQueue.size(), 1u);
    EXPECT_EQ(b.msgQueue.front().kind, mkStatus);
    EXPECT_EQ(b.msgQueue.front().buttons, 0);
    EXPECT_EQ(b.msgQueue.front().text, "Navlet ver. 1.4.0.0");
    EXPECT_TRUE(b.msg_timer.Enabled());
    EXPECT_TRUE(b.URLTimer.Enabled());
    EXPECT_EQ(b.URLTimer.Interval(), 1000u);
    for (const TTimer* t : {&b.txt_timer, &b.BannerTimer, &b.upd_timer, &b.resize_timer,
                            &b.led_timer, &b.reconnect_timer})
        EXPECT_FALSE(t->Enabled());
    EXPECT_EQ(tk.time.ActiveTimers(), 2u);
}

TEST_F(ConstructionTest, PointsTheSocketAtTheServiceWithoutConnecting) {
    TNavlet& b = MakeBar();
    ASSERT_EQ(tk.sockets.made.size(), 1u);
    EXPECT_EQ(b.ClientSocket->Host(), "session.navlet.test");
    EXPECT_EQ(b.ClientSocket->Port(), 80);
    EXPECT_EQ(tk.sockets.Last().OpenCount(), 0);
}

TEST_F(ConstructionTest, RunsAsUnknownWhenTheModuleNameCannotBeHad) {
    tk.module.hasModuleFile = false;
    TNavlet& b = MakeBar();
    EXPECT_EQ(b.versionText, "unknown");
    EXPECT_EQ(b.moduleVersion, 0);
    EXPECT_EQ(b.updateVersion, 0);
    EXPECT_EQ(b.updateFile, "");
    EXPECT_EQ(b.moduleFile[0], '\0');
    EXPECT_EQ(b.msgQueue.front().text, "Navlet ver. unknown");
}

TEST_F(ConstructionTest, TreatsANameTooLongForTheFieldAsOneThatCannotBeHad) {
    tk.module.moduleFile = "/" + std::string(MODULE_FILE_SIZE, 'a') + "/Navlet_Client.so";
    TNavlet& b = MakeBar();
    EXPECT_EQ(b.versionText, "unknown");
    EXPECT_EQ(b.moduleFile[0], '\0');
}

TEST_F(ConstructionTest, AModuleWithoutVersionBlockPacksToMinusOne) {
    tk.module.moduleFile = "/nonexistent/Navlet_Client.so";
    TNavlet& b = MakeBar();
    EXPECT_EQ(b.versionText, "");
    EXPECT_EQ(b.moduleVersion, -1);
    EXPECT_EQ(b.updateVersion, -1);
    EXPECT_EQ(b.updateFile, "/nonexistent/Navlet_Client.upd");
    EXPECT_EQ(b.msgQueue.front().text, "Navlet ver. ");
}

TEST_F(ConstructionTest, AHostThatStatesTheVersionIsBelievedOverTheModuleFile) {
    // A browser extension's module has no version resource; its manifest
    // says the version, and a newer module offered later compares with it.
    tk.module.moduleFile = "/nonexistent/navlet_panel.wasm";
    tk.module.statedVersion = "1.4.2.7";
    TNavlet& b = MakeBar();
    EXPECT_EQ(b.versionText, "1.4.2.7");
    EXPECT_EQ(b.moduleVersion, 0x01040207);
    EXPECT_EQ(b.updateVersion, 0x01040207);
    EXPECT_EQ(b.msgQueue.front().text, "Navlet ver. 1.4.2.7");
}

TEST_F(ConstructionTest, KeepsOnlyThePrimaryLanguageOfTheLocale) {
    tk.module.lcid = 0x0810; // Italian (Switzerland)
    MakeBar();
    EXPECT_EQ(userLcid, 0x010u);
}

TEST_F(ConstructionTest, OpensThePublicChatTabAndGreysTheHint) {
    TNavlet& b = MakeBar();
    ASSERT_EQ(b.PageControl.PageCount(), 1);
    EXPECT_EQ(b.PageControl.ActivePageIndex(), 0);
    TTabSheet& tab = b.PageControl.Page(0);
    EXPECT_EQ(tab.caption, "public chat");
    EXPECT_FALSE(tab.highlighted);
    ASSERT_TRUE(tab.tag);
    EXPECT_EQ(tab.tag->chatId, 0u);
    EXPECT_EQ(tab.tag->ownerId, 0u);
    EXPECT_EQ(b.Edit1.Text(), "Write here to send text messages in the chat");
    EXPECT_EQ(b.Edit1.FontColor(), 0x808080u);
}

TEST_F(ConstructionTest, ALaterTabStaysInTheBackgroundHighlighted) {
    TNavlet& b = MakeBar();
    TTabSheet& tab = b.CreateChatTab("private", 7, 0x1234501);
    EXPECT_EQ(b.PageControl.ActivePageIndex(), 0);
    EXPECT_TRUE(tab.highlighted);
}

TEST_F(ConstructionTest, TheWindowStartsAsAParentlessPopup) {
    TNavlet& b = MakeBar();
    TWindowParams params{WS_CHILD_BIT | 0x00010000, 0, 0x1234};
    b.CreateParams(params);
    EXPECT_EQ(params.style, WS_POPUP_BIT | 0x00010000);
    EXPECT_EQ(params.parent, 0u);
}

TEST_F(ConstructionTest, TheBareFormRunsNothing) {
    bar = std::make_unique<TNavlet>(tk.Kit(), TBareForm{});
    EXPECT_TRUE(bar->msgQueue.empty());
    EXPECT_EQ(tk.time.ActiveTimers(), 0u);
    EXPECT_FALSE(tk.registry.HasKey(THive::CurrentUser, SETTINGS_KEY));
    EXPECT_EQ(bar->updateHandle, -1);
    EXPECT_TRUE(bar->autoLogin);
}

TEST_F(ConstructionTest, DestructionStopsEveryTimerEvenOnesOthersStarted) {
    TNavlet& b = MakeBar();
    b.led_timer.SetEnabled(true);
    b.reconnect_timer.SetEnabled(true);
    b.upd_timer.SetEnabled(true);
    bar.reset();
    EXPECT_EQ(tk.time.ActiveTimers(), 0u);
    tk.time.Advance(60000); // nothing may tick into the freed form
}

TEST_F(ConstructionTest, SeveralBarsShareTheDefaultBannerTable) {
    MakeBar();
    const uint32_t first = defBannerPixels[5];
    TNavlet second(tk.Kit());
    EXPECT_TRUE(defBannerPixelsFilled);
    EXPECT_EQ(defBannerPixels[5], first);
    EXPECT_EQ(tk.sockets.made.size(), 2u);
}

} // namespace
} // namespace navlet::testing
