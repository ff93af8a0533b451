// The band's answers to the browser: sizes, key routing, showing with the
// first-run page, closing, focus, minimising, and the endpoints.
#include "client/core/connection.h"
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

using THostTest = SessionTest;

TEST(BandInfo, AnswersOnlyWhatTheMaskAsksAndClearsTheBackgroundBit) {
    EXPECT_EQ(GetBandInfo(nullptr), HR_INVALIDARG);
    TBandInfo all;
    all.mask = 0x7F;
    all.title = "old";
    ASSERT_EQ(GetBandInfo(&all), HR_OK);
    EXPECT_EQ(all.minSize, (TBandPoint{500, 20}));
    EXPECT_EQ(all.maxSize, (TBandPoint{-1, -1}));
    EXPECT_EQ(all.integral, (TBandPoint{1, 1}));
    // The ideal height shows the whole 114-pixel banner area.
    EXPECT_EQ(all.actual, (TBandPoint{760, 114}));
    EXPECT_EQ(all.title, "");
    EXPECT_EQ(all.modeFlags, 0x08u);
    EXPECT_EQ(all.mask, 0x3Fu);

    TBandInfo some;
    some.mask = DBIM_ACTUAL;
    GetBandInfo(&some);
    EXPECT_EQ(some.minSize, (TBandPoint{0, 0}));
    EXPECT_EQ(some.actual, (TBandPoint{760, 114}));
}

TEST(KeyRouting, EditingKeysStayBrowserKeysGoEnterActs) {
    const auto key = [](uint32_t vk, bool ctrl = false, bool alt = false,
                        uint32_t message = WM_KEYDOWN_MSG) {
        return TKeyMessage{message, vk, alt, ctrl};
    };
    EXPECT_EQ(RouteKey(ftEdit1, key('C', /*ctrl=*/true)), TKeyAction::Dispatch);
    EXPECT_EQ(RouteKey(ftEdit1, key('V', /*ctrl=*/true)), TKeyAction::Dispatch);
    EXPECT_EQ(RouteKey(ftEdit1, key(0x25, /*ctrl=*/true)), TKeyAction::Dispatch);
    EXPECT_EQ(RouteKey(ftEdit1, key('P', /*ctrl=*/true)), TKeyAction::ToBrowser);
    EXPECT_EQ(RouteKey(ftEdit1, key(0x74)), TKeyAction::ToBrowser); // F5
    EXPECT_EQ(RouteKey(ftEdNck, key(0x87)), TKeyAction::ToBrowser); // F24
    EXPECT_EQ(RouteKey(ftEdit1, key('A', false, /*alt=*/true)), TKeyAction::ToBrowser);
    EXPECT_EQ(RouteKey(ftEdit1, key('A')), TKeyAction::Dispatch);
    EXPECT_EQ(RouteKey(ftEdit1, key(VK_ENTER)), TKeyAction::SendChat);
    EXPECT_EQ(RouteKey(ftEdPwd, key(VK_ENTER)), TKeyAction::SignIn);
    EXPECT_EQ(RouteKey(ftEdNck, key(VK_ENTER)), TKeyAction::SignIn);
    EXPECT_EQ(RouteKey(ftCbSearch, key(VK_ENTER)), TKeyAction::Search);
    EXPECT_EQ(RouteKey(ftEdSearchMsg, key(VK_ENTER)), TKeyAction::Search);
    EXPECT_EQ(RouteKey(ftEdPwd, key(VK_ENTER, false, false, 0x0101)), TKeyAction::Dispatch);
    for (TFocusTarget t : {ftNone, ftLvUsers, ftOther})
        EXPECT_EQ(RouteKey(t, key('A')), TKeyAction::ToBrowserFocusLost);
    EXPECT_EQ(KeyActionResult(TKeyAction::ToBrowserFocusLost), HR_FALSE);
    EXPECT_EQ(KeyActionResult(TKeyAction::Dispatch), HR_OK);
}

TEST_F(THostTest, EnterInThePasswordBoxSignsInAndKeysWithoutAFocusedBoxTellTheBrowser) {
    TNavlet& b = ShownBar();
    b.edNck.SetText("alice");
    b.edPwd.SetText("secret");
    b.EditEnter(ftEdPwd);
    EXPECT_EQ(host.focusNotices, std::vector<bool>{true});
    EXPECT_EQ(b.TranslateAcceleratorIO({WM_KEYDOWN_MSG, VK_ENTER, false, false}),
              TKeyAction::SignIn);
    EXPECT_EQ(Socket().OpenCount(), 1);

    b.ActiveControl.SetFocus(ftLvUsers);
    EXPECT_EQ(b.TranslateAcceleratorIO({WM_KEYDOWN_MSG, 'A', false, false}),
              TKeyAction::ToBrowserFocusLost);
    EXPECT_EQ(host.focusNotices, (std::vector<bool>{true, false}));
}

TEST_F(THostTest, FocusOutLetsTheFocusGoAndNoEditBoxKeepsTheKeys) {
    TNavlet& b = ShownBar();
    EXPECT_EQ(b.HasFocusIO(), HR_FALSE);
    b.EditEnter(ftEdit1);
    EXPECT_EQ(b.HasFocusIO(), HR_OK);
    EXPECT_EQ(b.UIActivateIO(false), HR_OK);
    // Nothing of the bar is to take the focus: the kits move it to no control.
    EXPECT_EQ(b.ActiveControl.Target(), ftNone);
    EXPECT_EQ(b.HasFocusIO(), HR_FALSE);
    EXPECT_EQ(host.focusNotices.back(), false);
    // A key the browser offers now is the browser's.
    EXPECT_EQ(b.TranslateAcceleratorIO(TKeyMessage{WM_KEYDOWN_MSG, 'A', false, false}),
              TKeyAction::ToBrowserFocusLost);
    // Coming back, the box the user clicks takes the focus again.
    b.EditEnter(ftEdit1);
    EXPECT_EQ(b.UIActivateIO(true), HR_OK);
    EXPECT_EQ(b.ActiveControl.Target(), ftEdit1);
}

TEST_F(THostTest, FirstShowingOfAVersionOpensTheSignUpPageOnce) {
    tk.environment.values[WEB_ENV] = "127.0.0.1:8080";
    TNavlet& b = ShownBar();
    EXPECT_EQ(host.newWindows, std::vector<std::string>{"http://127.0.0.1:8080/newuser.asp"});
    EXPECT_EQ(tk.registry.Get(THive::CurrentUser, SETTINGS_KEY, "version"),
              TMemoryRegistry::TValue(b.versionText));
    b.ShowDW(false);
    b.ShowDW(true);
    EXPECT_EQ(host.newWindows.size(), 1u);
}

TEST_F(THostTest, AHostThatOpensTheSignUpPageItselfGetsNoSecondOne) {
    tk.module.opensSignUpPage = true;
    TNavlet& b = ShownBar();
    EXPECT_TRUE(host.newWindows.empty());
    // The version is still recorded as shown.
    EXPECT_EQ(tk.registry.Get(THive::CurrentUser, SETTINGS_KEY, "version"),
              TMemoryRegistry::TValue(b.versionText));
}

// navlet-browser makes the new window, and its bar, inside the call.
TEST_F(THostTest, ANewWindowWhoseBarShowsAtOnceDoesNotOpenTheSignUpPageAgain) {
    struct TOpeningHost : TRecordingHostControl {
        TTestKit* kit = nullptr;
        std::vector<std::unique_ptr<TNavlet>> bars;
        void OpenNewWindow(const std::string& address) override {
            TRecordingHostControl::OpenNewWindow(address);
            if (newWindows.size() > 3)
                return; // the fault this test catches: enough to see it
            bars.push_back(std::make_unique<TNavlet>(kit->Kit()));
            bars.back()->AttachHost(*this);
            bars.back()->ShowDW(true);
        }
    } opening;
    opening.kit = &tk;
    {
        TNavlet b(tk.Kit());
        b.AttachHost(opening);
        b.ShowDW(true);
        EXPECT_EQ(opening.newWindows.size(), 1u);
        EXPECT_EQ(opening.bars.size(), 1u);
        for (auto& bar : opening.bars)
            bar->DetachHost();
        opening.bars.clear();
        b.DetachHost();
    }
}

TEST_F(THostTest, ASidePanelMinimisesToItsTickerStripAndAStoredStateIsNeverATrap) {
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "BarSize",
                    std::vector<uint8_t>{120, 0, 0, 0, 0, 0, 0, 0});
    TNavlet& b = MakeBar();
    b.SetHostShape(THostShape::SidePanel);
    b.FormResized(240, 600);
    b.AttachHost(host);
    b.ShowDW(true);
    tk.time.Advance(1);
    // Minimised as it was left, in the panel's whole height, never resized.
    EXPECT_TRUE(host.resizes.empty());
    EXPECT_TRUE(b.Minimised());
    EXPECT_EQ(b.Form.Height(), 600);
    EXPECT_EQ(b.Layout().Rect(TPart::CentralPanel).Height(), 0);
    EXPECT_EQ(b.ResizeBtn.Glyph(), glRestore);
    EXPECT_EQ(b.ResizeBtn.Hint(), "restore");
    EXPECT_TRUE(b.ChatMsgPanel.Visible());

    b.ResizeBtn.OnClick();
    EXPECT_FALSE(b.Minimised());
    EXPECT_GT(b.Layout().Rect(TPart::BannerPanel).Height(), 0);
    EXPECT_EQ(b.ResizeBtn.Glyph(), glMinimise);
    EXPECT_EQ(b.barSize, 0);
    b.ResizeBtn.OnClick();
    EXPECT_TRUE(b.Minimised());
    // Signing in from the connection light brings the login panel back.
    b.autoLogin = false;
    b.LEDBtnClick();
    EXPECT_FALSE(b.Minimised());
    EXPECT_TRUE(host.resizes.empty());
}

TEST_F(THostTest, ShowingRestoresAStoredMinimisedStateAndTheButtonRestores) {
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "BarSize",
                    std::vector<uint8_t>{120, 0, 0, 0, 0, 0, 0, 0});
    TNavlet& b = ShownBar();
    tk.time.Advance(1);
    EXPECT_EQ(host.resizes, std::vector<int32_t>{BAR_MIN_HEIGHT});
    EXPECT_FALSE(b.resize_timer.Enabled());

    b.Form.SetBounds(0, 0, 810, BAR_MIN_HEIGHT);
    b.ResizeBtn.OnClick();
    EXPECT_EQ(host.resizes.back(), 120);
    EXPECT_EQ(b.barSize, 0);

    // No stored height: the band comes back at its ideal height, not at 0.
    tk.registry.Remove(THive::CurrentUser, SETTINGS_KEY, "BarSize");
    b.ResizeBtn.OnClick();
    EXPECT_EQ(host.resizes.back(), 114);
}

TEST_F(THostTest, CloseSuppressesFaultDialogsThenClosesSocketAndWindow) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    EXPECT_EQ(b.CloseDW(), HR_OK);
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Closed);
    EXPECT_EQ(host.closing, (std::vector<std::string>{"no fault dialogs", "close window"}));
}

TEST_F(THostTest, ADetachedBarNoLongerReachesTheBrowser) {
    TNavlet& b = ShownBar();
    b.DetachHost();
    b.FlashBrowserWindow();
    b.BrowserDocumentComplete();
    tk.time.Advance(1000);
    EXPECT_EQ(host.flashes, 0);
}

TEST_F(THostTest, SessionEndpointIsTheServiceAtPort80UnlessOverridden) {
    {
        TNavlet& b = MakeBar();
        EXPECT_EQ(b.ClientSocket->Host(), "session.navlet.test");
        EXPECT_EQ(b.ClientSocket->Port(), 80);
        EXPECT_EQ(b.WebSiteHost(), "session.navlet.test");
    }
    tk.environment.values[SERVER_ENV] = "127.0.0.1:34567";
    TNavlet overridden(tk.Kit());
    EXPECT_EQ(overridden.ClientSocket->Host(), "127.0.0.1");
    EXPECT_EQ(overridden.ClientSocket->Port(), 34567);
}

TEST(Endpoint, HostPortTextsAreCheckedBeforeUse) {
    EXPECT_EQ(ParseHostPort("localhost:8080"), (TEndpoint{"localhost", 8080}));
    EXPECT_EQ(ParseHostPort("[::1]:80"), (TEndpoint{"::1", 80}));
    for (const char* bad : {"localhost", ":80", "host:", "host:0", "host:65536", "host:8o",
                            "::1:80", "[]:80", "host:123456"})
        EXPECT_FALSE(ParseHostPort(bad).has_value()) << bad;
    TFixedEnvironment env;
    env.values[SERVER_ENV] = "nonsense";
    EXPECT_EQ(SessionEndpoint(env, "", "svc", 80), (TEndpoint{"svc", 80}));
}

TEST(Endpoint, TlsIsAskedForByTheSchemeAndTheEnvironmentComesBeforeTheSetting) {
    EXPECT_EQ(ParseServerAddress("tls://chat.example.net:443"),
              (TEndpoint{"chat.example.net", 443, true}));
    EXPECT_EQ(ParseServerAddress("tls://[::1]:4433"), (TEndpoint{"::1", 4433, true}));
    EXPECT_EQ(ParseServerAddress("10.0.0.1:80"), (TEndpoint{"10.0.0.1", 80, false}));
    for (const char* bad : {"tls://", "tls://host", "TLS://host:443", "ssl://host:443",
                            "tls:/host:443", "tls://tls://host:443"})
        EXPECT_FALSE(ParseServerAddress(bad).has_value()) << bad;

    TFixedEnvironment env;
    EXPECT_EQ(SessionEndpoint(env, "tls://stored.example:4433", "svc", 80),
              (TEndpoint{"stored.example", 4433, true}));
    // A stored address that makes no sense is passed over, as NAVLET_SERVER's is.
    EXPECT_EQ(SessionEndpoint(env, "stored.example", "svc", 80), (TEndpoint{"svc", 80}));
    env.values[SERVER_ENV] = "127.0.0.1:34567";
    EXPECT_EQ(SessionEndpoint(env, "tls://stored.example:4433", "svc", 80),
              (TEndpoint{"127.0.0.1", 34567, false}));
}

TEST(CommError, EveryEventHasItsText) {
    EXPECT_STREQ(CommErrorText(TErrorEvent::eeSend), "Communication error sending data.");
    EXPECT_STREQ(CommErrorText(TErrorEvent::eeDisconnect), "Communication error disconnecting.");
    EXPECT_STREQ(CommErrorText(TErrorEvent::eeAccept), "Communication error accepting connection.");
    EXPECT_STREQ(CommErrorText(TErrorEvent::eeGeneral), "Communication error undefined.");
}

TEST_F(THostTest, BannerModesShowExactlyOnePanelAndStopTheBannerTimer) {
    TNavlet& b = MakeBar();
    EXPECT_TRUE(b.DefBannerPanel.Visible());
    EXPECT_FALSE(b.FriendPanel.Visible());
    for (TBannerMode m : {bmDefault, bmLogin, bmWeb, bmSearch, bmFriends}) {
        b.BannerTimer.SetEnabled(true);
        b.SetBannerMode(m);
        const int shown = b.DefBannerPanel.Visible() + b.LoginPanel.Visible() +
                          b.WebPanel.Visible() + b.SearchPanel.Visible() + b.FriendPanel.Visible();
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(b.BannerTimer.Enabled(), m != bmDefault && m != bmLogin);
    }
    b.BannerTimer.SetEnabled(false);
}

} // namespace
} // namespace navlet::testing
