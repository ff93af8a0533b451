// The web site on the real service: a sign-up is an account the bar can use,
// the home page counts the people signed in, banner pages come from the folder.
#include <httplib.h>

#include <fstream>
#include <future>
#include <thread>

#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class WebOnService : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        config.web = "127.0.0.1:0";
        config.rescanMs = 50;
        std::filesystem::create_directories(config.bannersDir);
        std::ofstream(config.bannersDir + "/4.html") << "<b>banner four</b>";
        StartServer();
        client = std::make_unique<httplib::Client>("127.0.0.1", server->WebPort());
        client->set_connection_timeout(5);
        client->set_read_timeout(10);
    }
    std::unique_ptr<httplib::Client> client;
};

TEST_F(WebOnService, ASignUpIsAnAccountTheBarCanUse) {
    httplib::Params form{{"nick", "Zoe"}, {"password", "zpw"}, {"gender", "f"}, {"language", "5"}};
    auto created = client->Post("/newuser.asp", form);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->status, 200);
    auto taken = client->Post(
        "/newuser.asp",
        httplib::Params{{"nick", "zoe"}, {"password", "x"}, {"gender", "m"}, {"language", "1"}});
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->status, 409);

    TTestClient bar;
    ASSERT_TRUE(bar.Connect(Port()) && bar.Login("zoe", "zpw", "Shop.Example/cart"));
    EXPECT_EQ(bar.Self().nick, "Zoe");
    EXPECT_EQ(bar.Self().gender, 'f');

    auto profile = client->Get("/viewprofile.asp?idLocale=9&idUtente=" + std::to_string(bar.Id()));
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->status, 200);
    EXPECT_NE(profile->body.find("Zoe"), std::string::npos);

    auto home = client->Get("/");
    ASSERT_TRUE(home);
    EXPECT_NE(home->body.find("shop.example"), std::string::npos);
}

// "Unblock" on the owner's page takes the bar's own path: the blocker's
// windows hear the mark lifted, and the two see each other again at once.
TEST_F(WebOnService, AnUndoOnTheProfilePageReachesTheOpenSessions) {
    httplib::Params form{{"nick", "wes"}, {"password", "wpw"}, {"gender", "m"}, {"language", "3"}};
    auto created = client->Post("/newuser.asp", form);
    ASSERT_TRUE(created && created->status == 200);
    std::string cookie = created->get_header_value("Set-Cookie");
    cookie = cookie.substr(0, cookie.find(';'));
    httplib::Params other{{"nick", "vic"}, {"password", "vpw"}, {"gender", "f"}, {"language", "3"}};
    ASSERT_EQ(client->Post("/newuser.asp", other)->status, 200);
    TTestClient wes, vic;
    ASSERT_TRUE(wes.Connect(Port()) && wes.Login("wes", "wpw", "example.com"));
    ASSERT_TRUE(vic.Connect(Port()) && vic.Login("vic", "vpw", "example.com"));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(wes.Send(p, BuildMarkChange(p, vic.Id(), MARK_SET), REQ_BLOCK_CHANGE));
    ASSERT_TRUE(vic.WaitFor(MSG_USER_LEFT, p));
    ASSERT_TRUE(wes.WaitFor(MSG_MARK, p));
    ASSERT_EQ(ReadMark(p).mark, MARK_BLOCKED);

    const std::string query = "?idLocale=0&idUtente=" + std::to_string(wes.Id());
    auto page = client->Get("/viewprofile.asp" + query + "&view=page",
                            httplib::Headers{{"Cookie", cookie}});
    ASSERT_TRUE(page);
    const std::string field = "name=\"token\" value=\"";
    const size_t at = page->body.find(field);
    ASSERT_NE(at, std::string::npos) << page->body;
    EXPECT_NE(page->body.find(">vic</span>"), std::string::npos);
    auto undone =
        client->Post(("/unmark.asp" + query).c_str(), httplib::Headers{{"Cookie", cookie}},
                     httplib::Params{{"token", page->body.substr(at + field.size(), 48)},
                                     {"user", std::to_string(vic.Id())},
                                     {"mark", "block"}});
    ASSERT_TRUE(undone);
    EXPECT_EQ(undone->status, 200) << undone->body;
    ASSERT_TRUE(wes.WaitFor(MSG_MARK, p));
    EXPECT_EQ(ReadMark(p).mark, MARK_NONE);
    ASSERT_TRUE(vic.WaitFor(MSG_PRESENCE, p));
    EXPECT_EQ(ReadPresence(p).user, wes.Id());
    EXPECT_NE(undone->body.find("You ignore or block nobody."), std::string::npos);
}

TEST_F(WebOnService, BannerPagesComeFromTheBannerFolder) {
    auto four = client->Get("/banner.asp?idBanner=4");
    ASSERT_TRUE(four);
    EXPECT_EQ(four->status, 200);
    EXPECT_NE(four->body.find("banner four"), std::string::npos);
    auto five = client->Get("/banner.asp?idBanner=5");
    ASSERT_TRUE(five);
    EXPECT_EQ(five->status, 404);
}

TEST_F(WebOnService, BannerFilesAreServedAsTheyAreAndFolderChangesNeedNoRestart) {
    auto four = client->Get("/banner.asp?idBanner=4");
    ASSERT_TRUE(four);
    EXPECT_EQ(four->body, "<b>banner four</b>");
    std::ofstream(config.bannersDir + "/5.html") << "<html>five</html>";
    std::filesystem::remove(config.bannersDir + "/4.html");
    int fiveStatus = 0, fourStatus = 0;
    for (int i = 0; i < 200 && (fiveStatus != 200 || fourStatus != 404); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto five = client->Get("/banner.asp?idBanner=5");
        auto gone = client->Get("/banner.asp?idBanner=4");
        fiveStatus = five ? five->status : 0;
        fourStatus = gone ? gone->status : 0;
    }
    EXPECT_EQ(fiveStatus, 200);
    EXPECT_EQ(fourStatus, 404);
    // The bars' rotation uses the new set too.
    std::promise<std::vector<int32_t>> ids;
    asio::post(server->Io(), [&] { ids.set_value(server->Service().Banners().Ids()); });
    EXPECT_EQ(ids.get_future().get(), std::vector<int32_t>{5});
}

// Account pages write the store from the web site's own threads: a loop too
// busy to answer (or a slow database) holds neither the sessions nor them,
// and what they report saved is saved.
TEST_F(WebOnService, AccountPagesDoNotWaitForABusyLoop) {
    server::TServiceWebBackend backend(server->Io(), server->Service(),
                                       std::chrono::milliseconds(100));
    web::TCreateOutcome made = backend.CreateAccount({"Slowpoke", "pw", 'm', 1});
    EXPECT_EQ(made.result, web::TCreateResult::Created);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    asio::post(server->Io(), [released] { released.wait_for(std::chrono::seconds(10)); });
    EXPECT_EQ(backend.UpdateProfile(made.id, "pw", "127.0.0.1", {'x', 7, ""}).result,
              web::TUpdateResult::Updated);
    EXPECT_EQ(backend.CreateAccount({"slowpoke", "pw2", 'f', 2}).result,
              web::TCreateResult::NickTaken);
    release.set_value();
    auto found = backend.FindProfile(made.id);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->language, 7);
    // The service's copy (made at the creation) follows once the loop is
    // free: the new language filters the user's next lines.
    std::promise<std::optional<server::TAccount>> seen;
    asio::post(server->Io(),
               [&] { seen.set_value(server->Service().FindAccountByNick("slowpoke")); });
    auto account = seen.get_future().get();
    ASSERT_TRUE(account);
    EXPECT_EQ(account->language, 7);
}

// Guesses on the bar port hold the account back: the profile form then says
// so with the wait instead of calling the right password wrong, and still
// lets the owner in from the address the bar signed in from.
TEST_F(WebOnService, AProfileCheckHeldBackByBarGuessesSaysSo) {
    server::TServiceWebBackend backend(server->Io(), server->Service());
    web::TCreateOutcome made = backend.CreateAccount({"Owner", "pw", 'f', 1});
    ASSERT_EQ(made.result, web::TCreateResult::Created);
    TTestClient bar;
    ASSERT_TRUE(bar.Connect(Port()) && bar.Login("owner", "pw", "example.com"));
    for (int i = 0; i < 40; ++i)
        server->Service().NotePasswordCheck(made.id, "10.66.0." + std::to_string(i), false);
    web::TUpdateOutcome held = backend.UpdateProfile(made.id, "pw", "10.77.0.1", {'x', 7, ""});
    EXPECT_EQ(held.result, web::TUpdateResult::TooManyAttempts);
    EXPECT_GT(held.retryAfterSeconds, 0);
    EXPECT_EQ(backend.UpdateProfile(made.id, "pw", "127.0.0.1", {'x', 7, ""}).result,
              web::TUpdateResult::Updated);
}

// One slow-down, both doors: wrong passwords on the profile form hold back
// the right one there and the bar's sign-in from that address too, before
// either password is checked.
TEST_F(WebOnService, WrongPasswordsOnTheProfileFormHoldBackBothDoors) {
    server::TServiceWebBackend backend(server->Io(), server->Service());
    web::TCreateOutcome made = backend.CreateAccount({"Erin", "right", 'f', 1});
    ASSERT_EQ(made.result, web::TCreateResult::Created);
    int wrong = 0;
    web::TUpdateOutcome outcome;
    for (; wrong < 40; ++wrong) {
        outcome = backend.UpdateProfile(made.id, "guess", "127.0.0.1", {'x', 7, ""});
        if (outcome.result != web::TUpdateResult::WrongPassword)
            break;
    }
    EXPECT_EQ(outcome.result, web::TUpdateResult::TooManyAttempts);
    EXPECT_LE(wrong, 11); // the address's limit, not the account's
    EXPECT_EQ(backend.UpdateProfile(made.id, "right", "127.0.0.1", {'x', 7, ""}).result,
              web::TUpdateResult::TooManyAttempts);
    TTestClient bar;
    ASSERT_TRUE(bar.Connect(Port()));
    EXPECT_FALSE(bar.Login("erin", "right", "example.com"));
    EXPECT_EQ(backend.FindProfile(made.id)->language, 1);
}

} // namespace
} // namespace navlet::test
