// The web site over real HTTP on loopback, against the in-memory backend.
#include <gtest/gtest.h>
#include <httplib.h>

#include "server/web/web_site.h"
#include "tests/server/web_fake_backend.h"

namespace navlet::web {
namespace {

class WebSiteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(site.Start("127.0.0.1", 0, error)) << error;
        client = std::make_unique<httplib::Client>("127.0.0.1", site.Port());
        client->set_connection_timeout(5);
        client->set_read_timeout(5);
    }
    void TearDown() override { site.Stop(); }

    httplib::Result SignUp(const std::string& nick, const std::string& password,
                           const std::string& gender = "f", const std::string& language = "3") {
        httplib::Params form{
            {"nick", nick}, {"password", password}, {"gender", gender}, {"language", language}};
        return client->Post("/newuser.asp", form);
    }

    // The id of the only account whose nick is `nick`, through the fake.
    UserId IdOf(const std::string& nick) {
        for (UserId id = 1000; id < 1100; ++id) {
            auto p = backend.FindProfile(id);
            if (p && p->nick == nick)
                return id;
        }
        return 0;
    }

    TFakeWebBackend backend;
    TWebSite site{backend};
    std::unique_ptr<httplib::Client> client;
};

TEST_F(WebSiteTest, SignUpCreatesTheAccountAndWelcomesTheUser) {
    auto res = SignUp("Alice", "secret", "f", "6");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("Welcome, Alice"), std::string::npos);
    UserId id = IdOf("Alice");
    ASSERT_NE(id, 0u);
    auto profile = backend.FindProfile(id);
    EXPECT_EQ(profile->gender, 'f');
    EXPECT_EQ(profile->language, 6);
    EXPECT_NE(res->body.find("idUtente=" + std::to_string(id)), std::string::npos);
}

TEST_F(WebSiteTest, TakenNickIsRefusedWithoutRegardToCase) {
    ASSERT_EQ(SignUp("Alice", "one")->status, 200);
    auto res = SignUp("aLiCe", "two");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 409);
    EXPECT_NE(res->body.find("The nickname aLiCe is already taken"), std::string::npos);
    EXPECT_EQ(backend.PasswordOf(IdOf("Alice")), "one");
}

TEST_F(WebSiteTest, InvalidFieldsAreRefusedWithTheirReasonAndNothingIsCreated) {
    struct Case {
        std::string nick, password, gender, language, reason, field;
    };
    const Case cases[] = {
        {"", "pw", "m", "1", "Please choose a nickname.", "nick"},
        {"abcdefghijklmnop", "pw", "m", "1", "at most 15 characters", "nick"},
        {"two words", "pw", "m", "1", "no blanks", "nick"},
        {"caf\xC3\xA9", "pw", "m", "1", "no accented letters", "nick"},
        {"bob", "", "m", "1", "Please choose a password.", "password"},
        {"bob", "0123456789abcdef", "m", "1", "A password has at most 15 characters.", "password"},
        {"bob", "pw", "q", "1", "Please choose a gender.", "gender"},
        {"bob", "pw", "m", "14", "Please choose a language.", "language"},
    };
    for (const Case& c : cases) {
        auto res = SignUp(c.nick, c.password, c.gender, c.language);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400) << c.reason;
        // The reason stands under its field, which is marked and points at it.
        const std::string& body = res->body;
        const size_t control =
            body.find("id=\"" + c.field + "\" aria-describedby=\"" + c.field + "-error");
        const size_t error = body.find("<p class=\"error\" id=\"" + c.field + "-error\">");
        ASSERT_NE(control, std::string::npos) << c.field << ": " << body;
        ASSERT_NE(error, std::string::npos) << body;
        EXPECT_LT(control, error);
        EXPECT_EQ(body.find(c.reason), body.find(c.reason, error)) << body;
        EXPECT_EQ(body.find("<p class=\"error\""), error) << "one field only: " << c.field;
        EXPECT_EQ(body.find("class=\"msg\""), std::string::npos);
    }
    EXPECT_FALSE(backend.FindProfile(1000));
    // Exactly 15 characters each is still fine.
    EXPECT_EQ(SignUp("abcdefghijklmno", "0123456789abcde")->status, 200);
}

TEST_F(WebSiteTest, HostileNickIsEscapedOnEveryPageThatShowsIt) {
    const std::string hostile = "<b>\"x\"&'y'</b>";
    const std::string escaped = "&lt;b&gt;&quot;x&quot;&amp;&#39;y&#39;&lt;/b&gt;";
    // Refused at sign-up, and echoed into the refilled form escaped.
    auto res = SignUp(hostile, "pw");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_EQ(res->body.find("<b>\""), std::string::npos);
    EXPECT_NE(res->body.find("value=\"" + escaped + "\""), std::string::npos);
    // An account that holds such a nick anyway is shown escaped.
    UserId id = backend.AddAccountDirect({0, hostile, 'm', 1}, "pw");
    std::string query = "?idLocale=1033&idUtente=" + std::to_string(id);
    for (const char* page : {"/viewprofile.asp", "/updateprofile.asp"}) {
        auto shown = client->Get(page + query);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->status, 200) << page;
        EXPECT_EQ(shown->body.find("<b>\""), std::string::npos) << page;
        EXPECT_NE(shown->body.find(escaped), std::string::npos) << page;
    }
}

TEST_F(WebSiteTest, ProfileAddressesAreValidated) {
    EXPECT_EQ(client->Get("/viewprofile.asp?idLocale=9&idUtente=12345")->status, 404);
    EXPECT_EQ(client->Get("/updateprofile.asp?idLocale=9&idUtente=12345")->status, 404);
    for (const char* bad :
         {"/viewprofile.asp", "/viewprofile.asp?idUtente=", "/viewprofile.asp?idUtente=-1",
          "/viewprofile.asp?idUtente=12x", "/viewprofile.asp?idUtente=18446744073709551616",
          "/viewprofile.asp?idLocale=abc&idUtente=1"}) {
        auto res = client->Get(bad);
        ASSERT_TRUE(res) << bad;
        EXPECT_EQ(res->status, 400) << bad;
    }
    ASSERT_EQ(SignUp("carol", "pw", "x", "0")->status, 200);
    auto res = client->Get("/viewprofile.asp?idUtente=" + std::to_string(IdOf("carol")));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("<dt>Language</dt><dd>Other</dd>"), std::string::npos);
}

TEST_F(WebSiteTest, ProfileUpdateNeedsTheCurrentPassword) {
    ASSERT_EQ(SignUp("dave", "old", "m", "1")->status, 200);
    std::string path = "/updateprofile.asp?idLocale=0&idUtente=" + std::to_string(IdOf("dave"));
    httplib::Params wrong{{"gender", "f"}, {"language", "2"}, {"password", "nope"}};
    auto refused = client->Post(path.c_str(), wrong);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_EQ(backend.FindProfile(IdOf("dave"))->gender, 'm');

    httplib::Params right{
        {"gender", "f"}, {"language", "2"}, {"password", "old"}, {"newpassword", "new pw"}};
    auto saved = client->Post(path.c_str(), right);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, 200);
    auto profile = backend.FindProfile(IdOf("dave"));
    EXPECT_EQ(profile->gender, 'f');
    EXPECT_EQ(profile->language, 2);
    EXPECT_EQ(backend.PasswordOf(profile->id), "new pw");

    httplib::Params badNew{
        {"gender", "f"}, {"language", "2"}, {"password", "new pw"}, {"newpassword", " x"}};
    EXPECT_EQ(client->Post(path.c_str(), badNew)->status, 400);
    EXPECT_EQ(backend.PasswordOf(profile->id), "new pw");
}

TEST_F(WebSiteTest, DeletingAnAccountNeedsTheBoxTickedAndTheCurrentPassword) {
    ASSERT_EQ(SignUp("erin", "pw1", "f", "1")->status, 200);
    const UserId id = IdOf("erin");
    const std::string query = "?idLocale=0&idUtente=" + std::to_string(id);
    // The profile form offers it, in a form of its own.
    auto form = client->Get(("/updateprofile.asp" + query).c_str());
    ASSERT_TRUE(form);
    EXPECT_NE(form->body.find("action=\"/deleteaccount.asp?idLocale=0&amp;idUtente="),
              std::string::npos);
    const std::string path = "/deleteaccount.asp" + query;
    auto unticked = client->Post(path.c_str(), httplib::Params{{"password", "pw1"}});
    ASSERT_TRUE(unticked);
    EXPECT_EQ(unticked->status, 400);
    auto wrong = client->Post(path.c_str(), httplib::Params{{"password", "pw2"}, {"confirm", "1"}});
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403);
    ASSERT_TRUE(backend.FindProfile(id));

    auto deleted =
        client->Post(path.c_str(), httplib::Params{{"password", "pw1"}, {"confirm", "1"}});
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->status, 200);
    EXPECT_NE(deleted->body.find("Account deleted"), std::string::npos);
    EXPECT_FALSE(backend.FindProfile(id));
    EXPECT_EQ(
        client->Post(path.c_str(), httplib::Params{{"password", "pw1"}, {"confirm", "1"}})->status,
        404);
    // A GET deletes nothing: a link or a prefetch cannot.
    EXPECT_EQ(client->Get(path.c_str())->status, 405);
}

TEST_F(WebSiteTest, ThePrivacyPageSaysWhatIsKeptAndHowToDeleteIt) {
    auto res = client->Get("/privacy.asp");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    for (const char* words :
         {"until you delete the", "at most 30 days", "last 20 public lines", "Delete my account",
          "holds a password, a chat line or a page's path"})
        EXPECT_NE(res->body.find(words), std::string::npos) << words;
}

TEST_F(WebSiteTest, BannerFilesAreServedAsTheyAreAndUnknownIdsAnswer404) {
    const std::string page = "<html><head><meta charset=\"iso-8859-1\"></head>"
                             "<body style=\"color:red\">Spring sale \xE9</body></html>";
    backend.banners[3] = page;
    auto res = client->Get("/banner.asp?idBanner=3");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, page);
    EXPECT_EQ(client->Get("/banner.asp?idBanner=4")->status, 404);
    EXPECT_EQ(client->Get("/banner.asp?idBanner=-7")->status, 404);
    EXPECT_EQ(client->Get("/banner.asp?idBanner=x")->status, 400);
    EXPECT_EQ(client->Get("/banner.asp?idBanner=99999999999")->status, 400);
    EXPECT_EQ(client->Get("/banner.asp")->status, 400);
}

// "modify" cannot work in the bar's banner area; on the site it is the owner's only.
TEST_F(WebSiteTest, ModifyIsOfferedOnlyOnTheSiteToTheSignedInOwner) {
    auto alice = SignUp("alice", "apw");
    ASSERT_TRUE(alice);
    std::string cookie = alice->get_header_value("Set-Cookie");
    cookie = cookie.substr(0, cookie.find(';'));
    ASSERT_EQ(cookie.rfind("navlet_owner=", 0), 0u) << cookie;
    ASSERT_EQ(SignUp("bob", "bpw")->status, 200);
    auto page = [&](const std::string& nick, const std::string& view, bool withCookie) {
        httplib::Headers headers;
        if (withCookie)
            headers.emplace("Cookie", "theme=x; " + cookie);
        auto res = client->Get(
            "/viewprofile.asp?idLocale=9&idUtente=" + std::to_string(IdOf(nick)) + view, headers);
        EXPECT_TRUE(res && res->status == 200);
        return res ? res->body : std::string();
    };
    const std::string modify = "/updateprofile.asp?idLocale=9&amp;idUtente=";
    EXPECT_EQ(page("alice", "", true).find(modify), std::string::npos) << "in the bar";
    EXPECT_EQ(page("alice", "&view=page", false).find(modify), std::string::npos);
    EXPECT_EQ(page("bob", "&view=page", true).find(modify), std::string::npos);
    EXPECT_NE(page("alice", "&view=page", true).find(modify + std::to_string(IdOf("alice"))),
              std::string::npos);
    // A forged or ended token is nobody.
    cookie = "navlet_owner=" + std::string(48, '0');
    EXPECT_EQ(page("alice", "&view=page", true).find(modify), std::string::npos);
}

// The owner's page, its undo forms and what they may do.
class WebSiteMarksTest : public WebSiteTest {
  protected:
    struct TOwner {
        UserId id = 0;
        std::string cookie; // "navlet_owner=..."
    };
    TOwner SignUpOwner(const std::string& nick) {
        auto res = SignUp(nick, "pw");
        EXPECT_TRUE(res && res->status == 200);
        std::string cookie = res ? res->get_header_value("Set-Cookie") : "";
        return TOwner{IdOf(nick), cookie.substr(0, cookie.find(';'))};
    }
    std::string Query(UserId id) { return "?idLocale=0&idUtente=" + std::to_string(id); }
    std::string OwnPage(const TOwner& owner) {
        auto res = client->Get("/viewprofile.asp" + Query(owner.id) + "&view=page",
                               httplib::Headers{{"Cookie", owner.cookie}});
        EXPECT_TRUE(res && res->status == 200);
        return res ? res->body : std::string();
    }
    // The token of the owner's undo forms, as the page holds it.
    std::string TokenOf(const TOwner& owner) {
        const std::string page = OwnPage(owner);
        const std::string field = "name=\"token\" value=\"";
        size_t at = page.find(field);
        return at == std::string::npos ? std::string() : page.substr(at + field.size(), 48);
    }
    // ann blocks bob (7), ben ignores dee (9); each page holds its token.
    void SignUpAnnAndBen() {
        ann = SignUpOwner("ann");
        ben = SignUpOwner("ben");
        backend.SetMark(ann.id, 7, "bob", TMarkKind::Blocked);
        backend.SetMark(ben.id, 9, "dee", TMarkKind::Ignored);
        annToken = TokenOf(ann);
        ASSERT_EQ(annToken.size(), 48u);
    }
    TOwner ann, ben;
    std::string annToken;
    httplib::Result Undo(const TOwner& as, UserId address, const std::string& token, UserId other,
                         const std::string& mark, httplib::Headers extra = {}) {
        extra.emplace("Cookie", as.cookie);
        httplib::Params form{{"user", std::to_string(other)}, {"mark", mark}};
        if (!token.empty())
            form.emplace("token", token);
        return client->Post(("/unmark.asp" + Query(address)).c_str(), extra, form);
    }
};

TEST_F(WebSiteMarksTest, TheOwnersPageListsWhomItIgnoresAndBlocksEscaped) {
    ann = SignUpOwner("ann");
    ben = SignUpOwner("ben");
    const std::string empty = OwnPage(ann);
    EXPECT_NE(empty.find("People you ignore or block"), std::string::npos);
    EXPECT_NE(empty.find("You ignore or block nobody."), std::string::npos);

    backend.SetMark(ann.id, 7, "bob", TMarkKind::Blocked);
    backend.SetMark(ann.id, 8, "<i>cy</i>", TMarkKind::Ignored);
    const std::string page = OwnPage(ann);
    const size_t bob = page.find("<span class=\"who\">bob</span>");
    const size_t cy = page.find("<span class=\"who\">&lt;i&gt;cy&lt;/i&gt;</span>");
    ASSERT_NE(bob, std::string::npos) << page;
    ASSERT_NE(cy, std::string::npos) << page;
    EXPECT_LT(bob, page.find("Unblock", bob));
    EXPECT_EQ(page.find("Stop ignoring"), page.find("Stop ignoring", cy));
    EXPECT_EQ(page.find("<i>"), std::string::npos);
    EXPECT_EQ(TokenOf(ann).size(), 48u);
    EXPECT_EQ(page.find("nobody"), std::string::npos);

    // Nobody else sees the list: not without the cookie, not on another's page.
    auto anonymous = client->Get("/viewprofile.asp" + Query(ann.id) + "&view=page");
    EXPECT_EQ(anonymous->body.find("People you ignore"), std::string::npos);
    auto others = client->Get("/viewprofile.asp" + Query(ann.id) + "&view=page",
                              httplib::Headers{{"Cookie", ben.cookie}});
    EXPECT_EQ(others->body.find("People you ignore"), std::string::npos);

    backend.MarksUnreadable(true);
    EXPECT_NE(OwnPage(ann).find("cannot be read just now"), std::string::npos);
}

TEST_F(WebSiteMarksTest, AnUndoLiftsThatMarkOnlyAndSaysWhyItCannot) {
    ann = SignUpOwner("ann");
    backend.SetMark(ann.id, 7, "bob", TMarkKind::Blocked);
    backend.SetMark(ann.id, 8, "cy", TMarkKind::Ignored);
    const std::string token = TokenOf(ann);

    // A stale page: cy is ignored, not blocked. The reason stands at cy's button.
    auto stale = Undo(ann, ann.id, token, 8, "block");
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->status, 409);
    const size_t button = stale->body.find("id=\"unmark-8\" aria-describedby=\"unmark-8-error\"");
    const size_t error = stale->body.find("<p class=\"error\" id=\"unmark-8-error\">You do not "
                                          "block this user.");
    ASSERT_NE(button, std::string::npos) << stale->body;
    EXPECT_LT(button, error);
    EXPECT_NE(error, std::string::npos);
    EXPECT_TRUE(backend.Marks(ann.id, 8));

    auto done = Undo(ann, ann.id, token, 7, "block");
    ASSERT_TRUE(done);
    EXPECT_EQ(done->status, 200);
    EXPECT_NE(done->body.find("Unblocked."), std::string::npos);
    EXPECT_EQ(done->body.find(">bob<"), std::string::npos);
    EXPECT_NE(done->body.find(">cy<"), std::string::npos);
    EXPECT_FALSE(backend.Marks(ann.id, 7));
    EXPECT_TRUE(backend.Marks(ann.id, 8));
    EXPECT_EQ(Undo(ann, ann.id, token, 8, "ignore")->status, 200);
    EXPECT_NE(OwnPage(ann).find("You ignore or block nobody."), std::string::npos);
    EXPECT_EQ(Undo(ann, ann.id, token, 8, "mute")->status, 400);
}

TEST_F(WebSiteMarksTest, AnotherAccountsMarkCannotBeUndone) {
    SignUpAnnAndBen();
    const std::string& token = annToken;
    // Posted to ben's address with ann's session, or naming ben's mark from
    // ann's own: ben's mark stays.
    EXPECT_EQ(Undo(ann, ben.id, token, 9, "ignore")->status, 403);
    EXPECT_EQ(Undo(ann, ann.id, token, 9, "ignore")->status, 409);
    EXPECT_TRUE(backend.Marks(ben.id, 9));
}

TEST_F(WebSiteMarksTest, AForgedUndoIsRefused) {
    SignUpAnnAndBen();
    const std::string& token = annToken;
    ASSERT_NE(TokenOf(ben), token);
    // Another site's page can make the browser post with ann's cookie, but
    // it cannot read her token, and the browser names its origin.
    const std::string forged[] = {"", std::string(48, '0'), TokenOf(ben), token.substr(0, 47)};
    for (const std::string& wrong : forged)
        EXPECT_EQ(Undo(ann, ann.id, wrong, 7, "block")->status, 403) << wrong;
    EXPECT_EQ(Undo(ann, ann.id, token, 7, "block", {{"Origin", "http://evil.example"}})->status,
              403);
    TOwner nobody{ann.id, "navlet_owner=" + std::string(48, 'a')};
    EXPECT_EQ(Undo(nobody, ann.id, token, 7, "block")->status, 403);
    EXPECT_TRUE(backend.Marks(ann.id, 7));

    const std::string self = "http://127.0.0.1:" + std::to_string(site.Port());
    EXPECT_EQ(Undo(ann, ann.id, token, 7, "block", {{"Origin", self}})->status, 200);
    EXPECT_FALSE(backend.Marks(ann.id, 7));
}

// Held back by the service's slow-down, the right password hears so, not
// that it is wrong.
TEST_F(WebSiteTest, AHeldBackCheckSaysSoAndIsNoWrongPassword) {
    ASSERT_EQ(SignUp("fay", "right")->status, 200);
    std::string path = "/updateprofile.asp?idLocale=0&idUtente=" + std::to_string(IdOf("fay"));
    httplib::Params right{{"gender", "f"}, {"language", "2"}, {"password", "right"}};
    backend.HoldBack(7);
    for (int i = 0; i < 5; ++i) {
        auto res = client->Post(path.c_str(), right);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 429);
        EXPECT_EQ(res->get_header_value("Retry-After"), "7");
        EXPECT_NE(res->body.find("too many attempts, try again in 7 seconds"), std::string::npos);
        EXPECT_EQ(res->body.find("not right"), std::string::npos);
    }
    backend.HoldBack(0);
    auto saved = client->Post(path.c_str(), right);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, 200);
}

TEST_F(WebSiteTest, HomePageListsTheBusiestSitesEscaped) {
    backend.sites = {{"www.example.com", 12}, {"<script>x</script>", 3}};
    auto res = client->Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("<td>www.example.com</td><td>12</td>"), std::string::npos);
    EXPECT_EQ(res->body.find("<script>"), std::string::npos);
    EXPECT_NE(res->body.find("/newuser.asp"), std::string::npos);
}

TEST_F(WebSiteTest, StatusSaysWhenAClusterNodeHasLostRedis) {
    EXPECT_EQ(client->Get("/status")->body, "status ok\n");
    backend.SetHealth(TServerHealth{/*cluster=*/true, /*redisUp=*/false, /*nodes=*/0});
    auto status = client->Get("/status");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, 200);
    EXPECT_NE(status->body.find("redis down"), std::string::npos);
    EXPECT_NE(client->Get("/")->body.find("Redis is unreachable"), std::string::npos);
}

TEST_F(WebSiteTest, HomePageShowsTheBarsAnsiSiteNamesAsUtf8WithoutControlBytes) {
    // The bar reports hosts in its single-byte ANSI code page.
    backend.sites = {{"caf\xE9-\x80\x9F.example\x01\x1B[31m\x7F\x81", 2}};
    auto res = client->Get("/");
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("<td>caf\xC3\xA9-\xE2\x82\xAC\xC5\xB8.example[31m</td>"),
              std::string::npos)
        << res->body;
}

TEST_F(WebSiteTest, GuideAndUnknownPagesAnswer) {
    auto help = client->Get("/help.asp");
    ASSERT_TRUE(help);
    EXPECT_EQ(help->status, 200);
    EXPECT_NE(help->body.find("Private chats"), std::string::npos);
    // The bar reads from left to right: chats, banner area, ticker and people.
    size_t left = help->body.find("On the left, the chats");
    size_t middle = help->body.find("In the middle, the banner area");
    size_t right = help->body.find("On the right, the ticker and the people");
    EXPECT_TRUE(left < middle && middle < right && right != std::string::npos) << help->body;
    // The screenshot, in a build that has one, is served as the picture it is.
    auto picture = client->Get("/images/bar.png");
    ASSERT_TRUE(picture);
    bool shown = help->body.find("url(/images/bar.png)") != std::string::npos;
    EXPECT_EQ(picture->status, shown ? 200 : 404);
    if (shown) {
        EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
        EXPECT_EQ(picture->body.substr(0, 4), "\x89PNG");
    }
    auto missing = client->Get("/nothing.asp");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    EXPECT_NE(missing->body.find("There is no such page."), std::string::npos);
}

TEST_F(WebSiteTest, EveryPageLinksTheOneStylesheetAndTheBarsLinksOpenNewTabs) {
    auto css = client->Get("/site.css");
    ASSERT_TRUE(css);
    EXPECT_EQ(css->status, 200);
    EXPECT_EQ(css->get_header_value("Content-Type"), "text/css; charset=utf-8");
    EXPECT_NE(css->body.find("prefers-color-scheme:dark"), std::string::npos);
    EXPECT_NE(css->body.find("max-width:480px"), std::string::npos);
    UserId id = backend.AddAccountDirect({0, "ann", 'f', 9}, "pw");
    const std::string query = "?idLocale=0&idUtente=" + std::to_string(id);
    const std::vector<std::string> pages = {"/",
                                            "/newuser.asp",
                                            "/help.asp",
                                            "/nothing.asp",
                                            "/viewprofile.asp" + query,
                                            "/viewprofile.asp" + query + "&view=page",
                                            "/updateprofile.asp" + query};
    for (const std::string& page : pages) {
        auto res = client->Get(page);
        ASSERT_TRUE(res);
        EXPECT_NE(res->body.find("<link rel=\"stylesheet\" href=\"/site.css\">"), std::string::npos)
            << page;
        EXPECT_EQ(res->body.find("<style"), std::string::npos) << page;
        EXPECT_EQ(res->body.find(" style=\"color"), std::string::npos) << page;
    }
    // The profile in the banner area: its page opens beside the bar, not in it.
    auto banner = client->Get("/viewprofile.asp" + query);
    ASSERT_TRUE(banner);
    EXPECT_NE(banner->body.find("<body class=\"banner\">"), std::string::npos);
    EXPECT_NE(banner->body.find("&amp;view=page\" target=\"_blank\" rel=\"noopener\">"),
              std::string::npos)
        << banner->body;
    EXPECT_NE(banner->body.find("Polish"), std::string::npos);
    auto home = client->Get("/");
    EXPECT_NE(home->body.find("href=\"/newuser.asp\" target=\"_blank\""), std::string::npos);
    // The guide shows the side panel, in a build that has its picture.
    auto help = client->Get("/help.asp");
    auto panel = client->Get("/images/panel.png");
    ASSERT_TRUE(help && panel);
    const bool shown = help->body.find("<img src=\"/images/panel.png\"") != std::string::npos;
    EXPECT_EQ(panel->status, shown ? 200 : 404);
    if (shown) {
        EXPECT_EQ(panel->body.substr(0, 4), "\x89PNG");
    }
    EXPECT_NE(help->body.find("In the browser's side panel"), std::string::npos);
}

TEST_F(WebSiteTest, OversizedFormIsRefusedAndTheSiteKeepsServing) {
    std::string huge(64 * 1024, 'a');
    auto res = client->Post("/newuser.asp", "nick=" + huge, "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    EXPECT_EQ(client->Get("/help.asp")->status, 200);
}

TEST(WebSite, StartFailsCleanlyOnAPortInUse) {
    TFakeWebBackend backend;
    TWebSite first(backend);
    std::string error;
    ASSERT_TRUE(first.Start("127.0.0.1", 0, error));
    TWebSite second(backend);
    EXPECT_FALSE(second.Start("127.0.0.1", first.Port(), error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos);
    second.Stop();
    first.Stop();
    first.Stop();
}

} // namespace
} // namespace navlet::web
