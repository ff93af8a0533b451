// The connection's life through its handlers: sign-in, autologin, the
// reconnection policy, hiding and showing, the end-of-session message and the
// connection indicator.
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

using TConnectionTest = SessionTest;

TEST_F(TConnectionTest, AutologinClearWaitsForSignInThenLaterBarsConnectByThemselves) {
    StoreLogin();
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "autologin", int32_t(0));
    TNavlet& first = ShownBar();
    EXPECT_EQ(Socket().OpenCount(), 0);
    EXPECT_EQ(first.BannerPanel.Mode(), bmLogin);
    EXPECT_EQ(first.LEDBtn.Glyph(), glLedError);
    EXPECT_TRUE(first.LoginPanel.Visible());
    EXPECT_FALSE(first.DefBannerPanel.Visible());

    first.edNck.SetText(" alice ");
    first.edPwd.SetText("secret");
    first.sbLogin.OnClick();
    ASSERT_EQ(Socket().OpenCount(), 1);
    Socket().AcceptConnection();
    ASSERT_EQ(SentTypes(), std::vector<int>{REQ_LOGIN});
    const TLoginRequest login = ReadLogin(Socket().SentPackets()[0]);
    EXPECT_EQ(login.nick, "alice");
    EXPECT_EQ(login.site, "www.example.com/index.html");
    ConfirmLogin();
    EXPECT_EQ(StatusText(), "You're connected");
    EXPECT_EQ(loginCount, 1);

    // A second browser window: its bar connects without a sign-in.
    TNavlet second(tk.Kit());
    second.AttachHost(host);
    second.ShowDW(true);
    EXPECT_EQ(Socket().OpenCount(), 1);
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Connecting);
}

TEST_F(TConnectionTest, EmptyLoginBoxMovesTheFocusAndDoesNotConnect) {
    TNavlet& b = ShownBar();
    b.edNck.SetText("   ");
    b.sbLoginClick();
    EXPECT_EQ(b.ActiveControl.Target(), ftEdNck);
    b.edNck.SetText("bob");
    b.sbLoginClick();
    EXPECT_EQ(b.ActiveControl.Target(), ftEdPwd);
    EXPECT_EQ(Socket().OpenCount(), 0);
}

TEST_F(TConnectionTest, UnplannedDisconnectRetriesEveryFifteenSecondsUntilItsAttemptConnects) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    ConfirmLogin();
    Socket().PeerClose();
    EXPECT_EQ(StatusText(), "Disconnected. I'll try to reconnect later...");
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedError);
    EXPECT_EQ(b.BannerPanel.Mode(), bmLogin);
    EXPECT_FALSE(b.loggedIn);

    tk.time.Advance(14999);
    EXPECT_EQ(Socket().OpenCount(), 1);
    tk.time.Advance(1);
    EXPECT_EQ(Socket().OpenCount(), 2);
    EXPECT_EQ(StatusText(), "Autoreconnecting...");
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedConnecting);

    Socket().Fail(TErrorEvent::eeConnect);
    EXPECT_EQ(StatusText(), "Attempt failed. I'll try again later...");
    EXPECT_TRUE(b.reconnect_timer.Enabled());

    tk.time.Advance(15000);
    EXPECT_EQ(Socket().OpenCount(), 3);
    Socket().ClearSent();
    Socket().AcceptConnection();
    EXPECT_FALSE(b.reconnect_timer.Enabled());
    EXPECT_FALSE(b.autoReconnecting);
    EXPECT_EQ(SentTypes(), std::vector<int>{REQ_LOGIN});
}

TEST_F(TConnectionTest, ConnectErrorOfASignInNamesTheCommunicationError) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().Fail(TErrorEvent::eeConnect);
    EXPECT_EQ(StatusText(), "Communication error connecting. Try again in a few seconds...");
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedError);
}

TEST_F(TConnectionTest, AConnectionThatCannotBeSecuredSaysWhyOnEveryAttempt) {
    StoreLogin();
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "server", "tls://chat.example.net:4433");
    TNavlet& b = ShownBar();
    EXPECT_TRUE(Socket().Tls());
    EXPECT_EQ(Socket().Host(), "chat.example.net");
    Socket().FailSecurity("the certificate has expired.");
    EXPECT_EQ(StatusText(), "Could not secure the connection: the certificate has expired.");
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedError);
    EXPECT_FALSE(Socket().Active());

    // A later attempt of the reconnection names the cause too, not only
    // that it failed.
    Socket().Open();
    b.autoReconnecting = true;
    Socket().FailSecurity("");
    EXPECT_EQ(StatusText(), "Could not secure the connection: the TLS handshake failed.");
}

TEST_F(TConnectionTest, HidingWhileSignedInAndShowingAgainLeavesTheSessionOff) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    ConfirmLogin();
    b.ShowDW(false);
    EXPECT_EQ(StatusText(), "Disconnected");
    EXPECT_FALSE(b.reconnect_timer.Enabled());
    EXPECT_TRUE(b.siteUrl.empty());

    b.ShowDW(true);
    EXPECT_EQ(b.siteUrl, "www.example.com/index.html");
    EXPECT_EQ(Socket().OpenCount(), 1);
    EXPECT_EQ(b.BannerPanel.Mode(), bmLogin);
    tk.time.Advance(60000);
    EXPECT_EQ(Socket().OpenCount(), 1);
}

TEST_F(TConnectionTest, EndOfSessionMessageDisconnectsWithoutReconnecting) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    ConfirmLogin();
    Socket().Feed(EndSessionBytes());
    EXPECT_EQ(StatusText(), "Disconnected");
    EXPECT_FALSE(b.reconnect_timer.Enabled());
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Closed);
}

TEST_F(TConnectionTest, LedClickWhileConnectingDoesNothingAndWhileConnectedSwitchesOff) {
    StoreLogin();
    TNavlet& b = ShownBar();
    b.LEDBtn.OnClick();
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Connecting);
    Socket().AcceptConnection();
    b.LEDBtn.OnClick();
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Closed);
    EXPECT_EQ(StatusText(), "Disconnected");
}

TEST_F(TConnectionTest, ReconnectCommandResendsTheSiteEveryFifteenSecondsWhileConnected) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    ConfirmLogin();
    TChatLineMsg command;
    command.command = CHAT_RECONNECT;
    Feed(command);
    Socket().ClearSent();
    tk.time.Advance(30000);
    EXPECT_EQ(SentTypes(), (std::vector<int>{REQ_SITE_REPORT, REQ_SITE_REPORT}));
    EXPECT_EQ(Socket().OpenCount(), 1);
    EXPECT_TRUE(b.reconnect_timer.Enabled());
}

TEST_F(TConnectionTest, NewsOnAMinimisedBarBlinksBetweenImagesTwoAndFour) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    ConfirmLogin();
    b.Form.SetBounds(0, 0, 810, BAR_MIN_HEIGHT);
    TPresenceMsg other;
    other.user = 9;
    other.nick = "bob";
    Feed(other);
    EXPECT_TRUE(b.led_timer.Enabled());
    std::vector<int32_t> glyphs;
    for (int i = 0; i < 4; ++i) {
        tk.time.Advance(500);
        glyphs.push_back(b.LEDBtn.Glyph());
    }
    EXPECT_EQ(glyphs, (std::vector<int32_t>{glLedNews, glLedSignedIn, glLedNews, glLedSignedIn}));

    // Restored above 20 pixels: the blinking stops on the news image.
    b.Form.SetBounds(0, 0, 810, 120);
    b.BannerPanelResize();
    EXPECT_FALSE(b.led_timer.Enabled());
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedNews);
    EXPECT_EQ(b.ResizeBtn.Glyph(), glMinimise);
}

TEST_F(TConnectionTest, ChatLineShowsOnlyAboveFiftyTwoPixels) {
    TNavlet& b = MakeBar();
    b.Form.SetBounds(0, 0, 810, 52);
    b.BannerPanelResize();
    EXPECT_FALSE(b.ChatMsgPanel.Visible());
    b.Form.SetBounds(0, 0, 810, 53);
    b.BannerPanelResize();
    EXPECT_TRUE(b.ChatMsgPanel.Visible());
}

TEST_F(TConnectionTest, NewsOnAnOpenBarShowsImageTwo) {
    TNavlet& b = MakeBar();
    b.SignalNews();
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedNews);
    EXPECT_FALSE(b.led_timer.Enabled());
}

} // namespace
} // namespace navlet::testing
