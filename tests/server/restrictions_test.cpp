// The operator's restrictions as users meet them: bans of accounts and of
// address ranges, disabled and deleted accounts, reset passwords, muted
// sites. On two nodes (NAVLET_BLACKBOX_NODES=2) the users spread over both.
#include <httplib.h>

#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class Restrictions : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        config.web = "127.0.0.1:0"; // sign-ups
        AddAccount("alice", "apw");
        AddAccount("bob", "bpw");
        StartServer();
    }

    // The ticker line a refused sign-in ends with; empty when it was let in
    // or nothing came.
    std::string RefusalOf(const std::string& nick, const std::string& password) {
        TTestClient c;
        if (!c.Connect(Port()) || !c.SendLogin(nick, password, "example.com"))
            return "(no connection)";
        for (TPacket p; c.Next(p, 5000);) {
            if (p.Type() == MSG_PRESENCE)
                return {};
            if (p.Type() == MSG_CHAT_LINE)
                return ReadChatLine(p).text;
        }
        return {};
    }

    // The text of the next chat line; empty when the session ends first.
    static std::string NextLine(TTestClient& c) {
        TPacket p;
        return c.WaitFor(MSG_CHAT_LINE, p, 5000) ? ReadChatLine(p).text : std::string();
    }

    int SignUp(const std::string& nick) {
        httplib::Client site("127.0.0.1", server->WebPort());
        site.set_read_timeout(10);
        auto r = site.Post("/newuser.asp", httplib::Params{{"nick", nick},
                                                           {"password", "Sign-Up-22"},
                                                           {"gender", "m"},
                                                           {"language", "1"}});
        return r ? r->status : 0;
    }

    static bool StartsWith(const std::string& text, std::string_view head) {
        return text.rfind(head, 0) == 0;
    }
};

// The whole of a ban's life on one node or two: every window ends at once
// with the reason, a sign-in is refused with it (a wrong password still
// hears only that), a restart of every node keeps it, and UNBAN ends it.
TEST_F(Restrictions, ABanEndsEveryWindowRefusesSignInSurvivesARestartAndUnbanLetsIn) {
    TTestClient one, two;
    ASSERT_TRUE(one.Connect(Port()) && one.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(two.Connect(Port()) && two.Login("bob", "bpw", "other.org"));
    one.Drain(), two.Drain();

    std::string answer = Admin("BAN user:BOB 2h spam");
    EXPECT_TRUE(StartsWith(answer, "* until ")) << answer;
    EXPECT_NE(answer.find("\nOK 2\n"), std::string::npos) << answer;
    for (TTestClient* window : {&one, &two}) {
        std::string why = NextLine(*window);
        EXPECT_TRUE(StartsWith(why, "You are banned until ")) << why;
        EXPECT_NE(why.find(" UTC: spam."), std::string::npos) << why;
        EXPECT_TRUE(window->WaitClosed());
    }
    EXPECT_TRUE(StartsWith(RefusalOf("bob", "bpw"), "You are banned until "));
    EXPECT_EQ(RefusalOf("bob", "wrong"), "Wrong nick or password.");
    EXPECT_EQ(RefusalOf("alice", "apw"), "");

    StopServer();
    StartServer();
    EXPECT_TRUE(StartsWith(RefusalOf("bob", "bpw"), "You are banned until "));
    EXPECT_EQ(Admin("UNBAN user:bob"), "OK 0\n");
    EXPECT_EQ(RefusalOf("bob", "bpw"), "");
    EXPECT_EQ(Admin("UNBAN user:bob"), "ERR not banned\n");
    EXPECT_EQ(Admin("BAN user:nobody 2h"), "ERR no such user\n");
}

// Our own address is the range: the bar port, /session and sign-ups refuse
// it, and sessions from it end; lifting the ban opens all of it again.
TEST_F(Restrictions, AnAddressBanRefusesConnectionsAndSignUpsFromTheRange) {
    TTestClient in;
    ASSERT_TRUE(in.Connect(Port()) && in.Login("alice", "apw", "example.com"));
    in.Drain();
    std::string answer = Admin("BAN addr:127.0.0.0/8 forever raid");
    EXPECT_NE(answer.find("OK 1\n"), std::string::npos) << answer;
    EXPECT_EQ(NextLine(in), "You are banned: raid.");
    EXPECT_TRUE(in.WaitClosed());

    TTestClient out;
    EXPECT_FALSE(out.Connect(Port()) && out.Login("alice", "apw", "example.com"));
    EXPECT_EQ(SignUp("Carol"), 403);

    EXPECT_EQ(Admin("UNBAN addr:127.0.0.1/8"), "OK 0\n");
    EXPECT_EQ(SignUp("Carol"), 200);
    EXPECT_EQ(RefusalOf("carol", "Sign-Up-22"), "");
}

TEST_F(Restrictions, DisablePasswordAndDeleteActOnTheAccount) {
    TTestClient bob;
    ASSERT_TRUE(bob.Connect(Port()) && bob.Login("bob", "bpw", "example.com"));
    bob.Drain();
    EXPECT_EQ(Admin("DISABLE user:bob fraud"), "OK 1\n");
    EXPECT_EQ(NextLine(bob), "This account is disabled: fraud.");
    EXPECT_EQ(RefusalOf("bob", "bpw"), "This account is disabled: fraud.");
    EXPECT_EQ(Admin("ENABLE user:bob"), "OK 0\n");
    EXPECT_EQ(RefusalOf("bob", "bpw"), "");

    // The new password signs in, the old one no more.
    std::string answer = Admin("PASSWORD user:bob");
    ASSERT_TRUE(StartsWith(answer, "* password ")) << answer;
    std::string password = answer.substr(11, answer.find('\n') - 11);
    EXPECT_EQ(password.size(), 12u);
    EXPECT_EQ(answer.substr(answer.find('\n') + 1), "OK 0\n");
    EXPECT_EQ(RefusalOf("bob", "bpw"), "Wrong nick or password.");
    EXPECT_EQ(RefusalOf("bob", password), "");

    TTestClient again;
    ASSERT_TRUE(again.Connect(Port()) && again.Login("bob", password, "example.com"));
    again.Drain();
    EXPECT_EQ(Admin("DELETE user:bob"), "OK 1\n");
    EXPECT_EQ(NextLine(again), "Signed out: this account was deleted.");
    EXPECT_EQ(RefusalOf("bob", password), "Wrong nick or password.");
    EXPECT_EQ(Admin("DELETE user:bob"), "ERR no such user\n");
    EXPECT_EQ(SignUp("Bob"), 200); // the nick is free again
}

// A muted site's users are told; a line said there reaches nobody and its
// speaker hears why; another site chats on; UNMUTE opens it again.
TEST_F(Restrictions, AMutedSiteTellsItsUsersAndRefusesPublicLines) {
    TTestClient a, b, c;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
    AddAccount("carol", "cpw");
    ASSERT_TRUE(c.Connect(Port()) && c.Login("carol", "cpw", "other.org"));
    a.Drain(), b.Drain(), c.Drain();

    std::string answer = Admin("MUTE site:Example.com 10m");
    EXPECT_NE(answer.find("OK 2\n"), std::string::npos) << answer;
    for (TTestClient* user : {&a, &b})
        EXPECT_TRUE(StartsWith(NextLine(*user), "The public chat of this site is closed until "));
    EXPECT_TRUE(c.Drain().empty());

    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildChatText(p, MakeChatAddress(a.Id(), 0), "raid!"), REQ_CHAT_TEXT));
    EXPECT_TRUE(StartsWith(NextLine(a), "The public chat of this site is closed until "));
    EXPECT_TRUE(b.Drain(300).empty());

    EXPECT_EQ(Admin("UNMUTE site:example.com"), "OK 2\n");
    EXPECT_EQ(NextLine(a), "The public chat of this site is open again.");
    EXPECT_EQ(NextLine(b), "The public chat of this site is open again.");
    EXPECT_EQ(Admin("UNMUTE site:example.com"), "ERR not muted\n");
}

} // namespace
} // namespace navlet::test
