// The site tracker: how addresses are trimmed, what a local page does, and
// which moves report the site and which reset the presence.
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

class TSiteTest : public SessionTest {};

TEST_F(TSiteTest, SchemeAndOneTrailingSlashAreDropped) {
    TNavlet& b = ShownBar();
    const std::pair<const char*, const char*> cases[] = {
        {"http://www.example.org/", "www.example.org"},
        {"https://www.example.org/a/b/", "www.example.org/a/b"},
        {"http://www.example.org/a//", "www.example.org/a/"},
    };
    for (const auto& [url, site] : cases) {
        Visit(b, url);
        EXPECT_EQ(b.siteUrl, site) << url;
    }
    // Cut to 255 first: the slash at 256 is gone before the trailing one is looked at.
    const std::string path(249, 'p');
    Visit(b, "http://a.com/" + path + "/x/");
    EXPECT_EQ(b.siteUrl, "a.com/" + path);
}

TEST_F(TSiteTest, LocalPagesAndCapitalSchemesPauseInsteadOfEndingTheSession) {
    TNavlet& b = SignedInBesideBob();
    Visit(b, "HTTP://WWW.EXAMPLE.COM/");
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Connected);
    EXPECT_EQ(StatusText(), "Navlet is paused on this page.");
    EXPECT_TRUE(b.siteUrl.empty());
    EXPECT_TRUE(b.sitePaused);
    EXPECT_EQ(Reports(), std::vector<std::string>{""}); // on no site
    EXPECT_EQ(b.lvUsers.Count(), 0);

    // Already paused: more local pages tell the server nothing; an empty
    // address does nothing at all.
    Visit(b, "file:///home/alice/notes.html");
    Visit(b, "chrome://newtab/");
    Visit(b, "");
    EXPECT_EQ(Reports().size(), 1u);
    EXPECT_TRUE(b.loggedIn);
}

TEST_F(TSiteTest, SameHostMovesReportButKeepThePeopleOtherHostsReset) {
    TNavlet& b = SignedInBesideBob();
    const int listed = b.lvUsers.Count();
    ASSERT_GE(listed, 1);
    Visit(b, "http://www.example.com/second.html");
    Visit(b, "http://www.example.com/second.html"); // loaded again: one report
    EXPECT_EQ(Reports(), std::vector<std::string>{"www.example.com/second.html"});
    EXPECT_EQ(b.lvUsers.Count(), listed);
    EXPECT_EQ(b.siteHost, "www.example.com");

    Visit(b, "https://other.example.net/");
    EXPECT_EQ(Reports().back(), "other.example.net");
    EXPECT_EQ(b.lvUsers.Count(), 0);
    EXPECT_EQ(b.siteHost, "other.example.net");
    EXPECT_EQ(b.LEDBtn.Glyph(), glLedSignedIn);
}

TEST_F(TSiteTest, SeveralDocumentsWithinASecondGiveOneCheck) {
    TNavlet& b = SignedInBesideBob();
    host.location = "http://www.example.com/a";
    b.BrowserDocumentComplete();
    host.location = "http://www.example.com/b";
    b.BrowserDocumentComplete();
    tk.time.Advance(999);
    EXPECT_TRUE(Reports().empty());
    tk.time.Advance(1);
    EXPECT_EQ(Reports(), std::vector<std::string>{"www.example.com/b"});
    EXPECT_FALSE(b.pageLoaded);
}

TEST_F(TSiteTest, AHiddenBarRemembersTheAddressButSendsNothing) {
    StoreLogin();
    TNavlet& b = MakeBar();
    b.AttachHost(host);
    Visit(b, "http://www.example.com/hidden");
    EXPECT_EQ(b.siteUrl, "www.example.com/hidden");
    EXPECT_EQ(Socket().OpenCount(), 0);
}

TEST_F(TSiteTest, AfterTheFirstDisconnectAChangeOfSiteDoesNotConnect) {
    TNavlet& b = SignedInBesideBob();
    b.LEDBtnClick(); // off by the user
    Visit(b, "http://www.example.com/");
    EXPECT_EQ(Socket().OpenCount(), 1);
    EXPECT_EQ(b.siteUrl, "www.example.com");
}

} // namespace
} // namespace navlet::testing
