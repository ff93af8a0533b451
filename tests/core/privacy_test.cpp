// What of a page leaves the browser: the cut address, the share setting, the
// never-reported sites, and the pause that replaces the local-page sign-out.
#include "client/core/privacy.h"
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

TEST(NeverReportPatterns, WildcardsNameHostsAndPathsNamePagesBelowThem) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"*.bank.*", "www.bank.example/login", true},
        {"*.bank.*", "bank.example", true},
        {"*.bank.*", "bankrupt.example", false},
        {"*.okta.com", "acme.okta.com/app", true},
        {"*.okta.com", "OKTA.com", true}, // the bare domain, any case
        {"*.okta.com", "notokta.com", false},
        {"*paypal.com", "www.paypal.com:443/checkout", true},
        {"accounts.google.com", "accounts.google.com.evil.example", false},
        {"github.com/login", "github.com/login", true},
        {"github.com/login", "github.com/login/oauth/authorize", true},
        {"github.com/login", "github.com/logins", false},
        {"github.com/login", "github.com/alice", false},
        {"github.com/login", "gist.github.com/login", false},
        {"*.local", "printer.local:631/", true},
    };
    for (const auto& [pattern, page, named] : cases)
        EXPECT_EQ(PatternNamesPage(pattern, page), named) << pattern << " " << page;
}

TEST(NeverReportPatterns, LocalNetworkAddresses) {
    for (const char* host : {"127.0.0.1", "127.8.9.10", "10.1.2.3", "172.16.0.1", "172.31.255.1",
                             "192.168.1.1", "169.254.3.4", "localhost", "LocalHost",
                             "app.localhost", "[::1]", "[fe80::1]", "[fd12::3]"})
        EXPECT_TRUE(IsLocalNetworkHost(host)) << host;
    for (const char* host : {"172.32.0.1", "192.169.0.1", "8.8.8.8", "1.2.3.4.5", "256.1.1.1",
                             "10.example.com", "[2001:db8::1]", "[fe8::1]", "example.com"})
        EXPECT_FALSE(IsLocalNetworkHost(host)) << host;
    for (const char* host : {"127.0.0.1", "LOCALHOST", "[::1]"})
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : {"10.0.0.1", "[fe80::1]", "localhost.example"})
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
    EXPECT_EQ(PageHostName("[::1]:8080/x"), "[::1]");
    EXPECT_EQ(PageHostName("WWW.Example.COM:81"), "www.example.com");
}

TEST(NeverReportPatterns, TheStoredListTakesCommonSeparatorsOnceEach) {
    EXPECT_EQ(ParsePatternList(" a.example,b.example;\ta.example  c.example "),
              (std::vector<std::string>{"a.example", "b.example", "c.example"}));
    EXPECT_EQ(JoinPatternList({"a.example", "b.example"}), "a.example b.example");
    EXPECT_TRUE(ParsePatternList(std::string(300, 'x')).empty()); // longer than an address
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "h" + std::to_string(i) + ".example ";
    EXPECT_EQ(ParsePatternList(many).size(), 256u);
}

class PrivacyTest : public SessionTest {
  protected:
    void Choose(TNavlet& b, int16_t id) {
        tk.menus.choices = {id};
        b.sbNavletClick(TNavlet::TNavletSender::Logo, 0, 0);
    }
    const TBarMenuItem& MenuItem(TNavlet& b, uint16_t id) { return *b.optionsMenu->Item(id); }
    std::optional<TMemoryRegistry::TValue> Setting(const char* name) {
        return tk.registry.Get(THive::CurrentUser, SETTINGS_KEY, name);
    }
    void Put(const char* name, TMemoryRegistry::TValue value) {
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, name, std::move(value));
    }
};

TEST_F(PrivacyTest, QueriesFragmentsAndUserPartsNeverLeaveNorMakeANewPage) {
    StoreLogin();
    host.location = "https://alice:pw@www.example.com/reset?token=S3CRET#top";
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    ASSERT_EQ(Socket().SentPackets().size(), 1u);
    EXPECT_EQ(ReadLogin(Socket().SentPackets()[0]).site, "www.example.com/reset");
    ConfirmLogin();
    Socket().ClearSent();

    Visit(b, "https://www.example.com/reset?token=OTHER"); // a new query alone
    Visit(b, "https://www.example.com/reset#again");
    EXPECT_TRUE(Reports().empty());
    Visit(b, "http://www.example.com/next?session=S3CRET");
    EXPECT_EQ(Reports(), std::vector<std::string>{"www.example.com/next"});
}

TEST_F(PrivacyTest, TheSiteOnlyReportsTheHostAloneAndTheMenuSwitchesAndStoresIt) {
    tk.module.shareDefault = TShareScope::SiteOnly; // as the extension says
    TNavlet& b = SignedInBesideBob();
    EXPECT_EQ(b.siteUrl, "www.example.com");
    Visit(b, "http://www.example.com/news/today");
    EXPECT_TRUE(Reports().empty());             // the same site
    EXPECT_FALSE(Setting("share").has_value()); // the default is not written

    Choose(b, 208);
    EXPECT_TRUE(MenuItem(b, 207).checked && !MenuItem(b, 208).checked); // as it was opened
    EXPECT_EQ(Setting("share"), TMemoryRegistry::TValue(int32_t(0)));
    EXPECT_EQ(Reports(), std::vector<std::string>{"www.example.com/news/today"});

    Choose(b, 207);
    EXPECT_FALSE(MenuItem(b, 207).checked);
    EXPECT_TRUE(MenuItem(b, 208).checked);
    EXPECT_EQ(Setting("share"), TMemoryRegistry::TValue(int32_t(1)));
    EXPECT_EQ(Reports().back(), "www.example.com");
}

TEST_F(PrivacyTest, AStoredChoiceOutweighsTheHostsDefault) {
    tk.module.shareDefault = TShareScope::SiteOnly;
    Put("share", int32_t(0));
    TNavlet& b = SignedInBesideBob();
    EXPECT_EQ(b.siteUrl, "www.example.com/index.html");
    // Another window chose the site only: the next page follows it.
    Put("share", int32_t(1));
    Visit(b, "http://www.example.com/b.html");
    EXPECT_EQ(Reports(), std::vector<std::string>{"www.example.com"});
}

TEST_F(PrivacyTest, SignInPagesAndTheLocalNetworkPauseButTheServiceItselfDoesNot) {
    tk.module.serviceHost = "navlet.example";
    tk.environment.values["NAVLET_WEB"] = "web.navlet.example:8080";
    TNavlet& b = SignedInBesideBob();
    Visit(b, "https://accounts.google.com/signin?continue=S3CRET");
    EXPECT_EQ(StatusText(), "Navlet is paused on this site.");
    Visit(b, "http://web.navlet.example:8080/newuser.asp");
    Visit(b, "http://192.168.1.1/admin");
    Visit(b, "https://github.com/login/oauth");
    Visit(b, "https://github.com/alice");
    Visit(b, "http://127.0.0.1:3000/");
    EXPECT_EQ(Reports(), (std::vector<std::string>{"", "web.navlet.example:8080/newuser.asp", "",
                                                   "github.com/alice", ""}));

    // Switched off, the defaults name nothing; the user's own patterns still do.
    Put("neverreportdefaults", int32_t(0));
    Put("neverreport", std::string("*.bank.*"));
    Socket().ClearSent();
    Visit(b, "http://192.168.1.1/admin");
    Visit(b, "https://www.bank.example/");
    EXPECT_EQ(Reports(), (std::vector<std::string>{"192.168.1.1/admin", ""}));
}

TEST_F(PrivacyTest, AServiceOnThisMachineLeavesTheMachinesOwnPagesReported) {
    tk.environment.values["NAVLET_SERVER"] = "127.0.0.1:8000";
    tk.environment.values["NAVLET_WEB"] = "127.0.0.1:8080";
    TNavlet& b = SignedInBesideBob();
    Visit(b, "http://127.0.0.1:8080/");
    Visit(b, "http://localhost:8080/");
    Visit(b, "http://[::1]:9/");
    Visit(b, "http://10.0.0.2/"); // another machine's
    EXPECT_EQ(Reports(),
              (std::vector<std::string>{"127.0.0.1:8080", "localhost:8080", "[::1]:9", ""}));
}

TEST_F(PrivacyTest, NeverReportThisSiteAddsTheHostAndTakesItBack) {
    TNavlet& b = SignedInBesideBob();
    Choose(b, 209);
    EXPECT_EQ(Setting("neverreport"), TMemoryRegistry::TValue(std::string("www.example.com")));
    EXPECT_TRUE(b.sitePaused);
    EXPECT_EQ(Reports(), std::vector<std::string>{""});

    Visit(b, "http://WWW.example.com:8080/other"); // the host, whatever the port
    EXPECT_EQ(Reports().size(), 1u);
    Choose(b, 0); // opened only to look
    EXPECT_TRUE(MenuItem(b, 209).checked && MenuItem(b, 209).enabled);
    Choose(b, 209);
    EXPECT_EQ(Setting("neverreport"), TMemoryRegistry::TValue(std::string()));
    EXPECT_FALSE(b.sitePaused);
    EXPECT_EQ(Reports().back(), "WWW.example.com:8080/other");

    // A default cannot be taken back from here; a local page has no site.
    Visit(b, "https://login.live.com/");
    Choose(b, 0);
    EXPECT_TRUE(MenuItem(b, 209).checked);
    EXPECT_FALSE(MenuItem(b, 209).enabled);
    Visit(b, "about:blank");
    Choose(b, 209);
    EXPECT_FALSE(MenuItem(b, 209).enabled);
    EXPECT_EQ(Setting("neverreport"), TMemoryRegistry::TValue(std::string()));
}

TEST_F(PrivacyTest, APauseKeepsPrivateChatsAndComingBackToTheSiteResumes) {
    TNavlet& b = SignedInBesideBob();
    b.CreateChatTab("bob", /*owner=*/7, /*chat=*/0x12345601);
    b.AppendLine(false, 9, 0, "hello all", 0, "");
    Visit(b, "chrome://newtab/");
    EXPECT_EQ(b.PageControl.PageCount(), 2);
    EXPECT_EQ(b.lvUsers.Count(), 0);
    EXPECT_EQ(b.loggedIn, true);
    // What the server still sends of the site, and its own record on no
    // site, list nobody.
    Feed(Bob());
    ConfirmLogin();
    EXPECT_EQ(b.lvUsers.Count(), 0);

    Visit(b, "http://www.example.com/index.html"); // the page left, counted as new
    EXPECT_EQ(Reports(), (std::vector<std::string>{"", "www.example.com/index.html"}));
    EXPECT_EQ(StatusText(), "You're connected");
    EXPECT_EQ(b.PageControl.PageCount(), 2);
    ConfirmLogin();
    EXPECT_EQ(b.lvUsers.Count(), 1);

    // Resuming on another site is a move: its chats go.
    Visit(b, "about:blank");
    Visit(b, "http://other.example.net/");
    EXPECT_EQ(b.PageControl.PageCount(), 1);
    EXPECT_EQ(b.siteHost, "other.example.net");
}

TEST_F(PrivacyTest, APauseWhileTheSignInIsCheckedIsToldAgainOnceConfirmed) {
    StoreLogin();
    TNavlet& b = ShownBar();
    Socket().AcceptConnection();
    Visit(b, "about:newtab"); // the server drops this one while it checks
    ConfirmLogin();
    EXPECT_EQ(Reports(), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(StatusText(), "Navlet is paused on this page.");
    EXPECT_EQ(b.lvUsers.Count(), 0);
    Visit(b, "http://www.example.com/");
    EXPECT_EQ(StatusText(), "You're connected");
}

TEST_F(PrivacyTest, APausedBarThatIsOffConnectsAtTheNextWebPageOnly) {
    StoreLogin();
    host.location = "chrome://newtab/";
    TNavlet& b = ShownBar();
    EXPECT_EQ(Socket().OpenCount(), 0);
    EXPECT_EQ(StatusText(), "Navlet is paused on this page.");
    Visit(b, "http://www.example.com/");
    EXPECT_EQ(Socket().OpenCount(), 1);
}

} // namespace
} // namespace navlet::testing
