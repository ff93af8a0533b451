// Each operator command reaches the bar's side as the right message.
#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class Operator : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        AddAccount("alice", "apw");
        AddAccount("bob", "bpw");
        StartServer();
        ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
        ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "other.org"));
        a.Drain(), b.Drain();
    }

    TChatLineMsg NextLine(TTestClient& c) {
        TPacket p;
        EXPECT_TRUE(c.WaitFor(MSG_CHAT_LINE, p));
        return ReadChatLine(p);
    }

    TTestClient a, b;
};

TEST_F(Operator, NoticesOfEachKindCarryTheirChatIdFromUserZero) {
    struct Case {
        std::string command;
        ChatId chat;
    } cases[] = {{"NOTICE STATUS user:ALICE Server in maintenance", 0x100},
                 {"notice ticker user:alice Server in maintenance", 0x200},
                 {"NOTICE BUTTONS 3 user:alice Server in maintenance", 0x303},
                 {"NOTICE CONSOLE user:alice Server in maintenance", 0x400}};
    for (const Case& c : cases) {
        EXPECT_EQ(Admin(c.command), "OK 1\n") << c.command;
        TChatLineMsg line = NextLine(a);
        EXPECT_EQ(line.address.User(), 0u) << c.command;
        EXPECT_EQ(line.address.Chat(), c.chat) << c.command;
        EXPECT_EQ(line.command, CHAT_PLAIN) << c.command;
        EXPECT_EQ(line.text, "Server in maintenance") << c.command;
    }
    EXPECT_TRUE(b.Drain().empty());
}

TEST_F(Operator, TargetsReachASiteOrEveryone) {
    EXPECT_EQ(Admin("NOTICE TICKER site:OTHER.org for the site"), "OK 1\n");
    EXPECT_EQ(NextLine(b).text, "for the site");
    EXPECT_TRUE(a.Drain().empty());
    EXPECT_EQ(Admin("NOTICE TICKER all for all"), "OK 2\n");
    EXPECT_EQ(NextLine(a).text, "for all");
    EXPECT_EQ(NextLine(b).text, "for all");
    EXPECT_EQ(Admin("NOTICE TICKER site:nobody.example x"), "OK 0\n");
    EXPECT_EQ(Admin("NOTICE TICKER user:nobody x"), "ERR no such user\n");
}

TEST_F(Operator, SubCommandsTravelInTheSubtype) {
    struct Case {
        std::string command;
        uint8_t subtype;
        ChatId chat;
    } cases[] = {{"RECONNECT user:alice", CHAT_RECONNECT, 0x500},
                 {"UPDATE user:alice please update", CHAT_FORCE_UPDATE, 0x400},
                 {"REPLYTIME user:alice", CHAT_REPLY_TIME, 0x500}};
    for (const Case& c : cases) {
        EXPECT_EQ(Admin(c.command), "OK 1\n");
        TChatLineMsg line = NextLine(a);
        EXPECT_EQ(line.command, c.subtype) << c.command;
        EXPECT_EQ(line.address.User(), 0u);
        EXPECT_EQ(line.address.Chat(), c.chat) << c.command;
    }
}

TEST_F(Operator, KickEndsEverySessionOfTheUserAndTheSiteHearsIt) {
    TTestClient c;
    ASSERT_TRUE(c.Connect(Port()) && c.Login("bob", "bpw", "example.com")); // a second window
    a.Drain(), c.Drain();
    EXPECT_EQ(Admin("KICK user:bob"), "OK 2\n");
    for (TTestClient* window : {&b, &c}) {
        TPacket p;
        ASSERT_TRUE(window->WaitFor(MSG_CHAT_LINE, p));
        EXPECT_EQ(ReadChatLine(p).text, "Signed out by the operator.");
        ASSERT_TRUE(window->Next(p));
        EXPECT_EQ(p.Type(), MSG_END_SESSION);
        EXPECT_TRUE(window->WaitClosed());
    }
    TPacket p;
    ASSERT_TRUE(a.WaitFor(MSG_USER_LEFT, p));
    EXPECT_EQ(ReadUserLeft(p).user, c.Id());
}

TEST_F(Operator, AReportedSiteCannotForgeListingLines) {
    TTestClient m;
    ASSERT_TRUE(m.Connect(Port()) && m.Login("bob", "bpw", "evil.org\n* forged.com 99\nOK 3"));
    EXPECT_EQ(Admin("SITES"), "* example.com 1\n* other.org 1\nOK 2\n");
    std::string users = Admin("USERS");
    EXPECT_EQ(users.find("forged"), std::string::npos);
    EXPECT_NE(users.find("* bob " + std::to_string(m.Id()) + " -\n"), std::string::npos);
}

TEST_F(Operator, ListingsAndErrors) {
    EXPECT_EQ(Admin("SITES"), "* example.com 1\n* other.org 1\nOK 2\n");
    std::string users = Admin("USERS example.com");
    EXPECT_EQ(users, "* alice " + std::to_string(a.Id()) + " example.com\nOK 1\n");
    EXPECT_EQ(Admin("STATS"), "* connections 2\n* users 2\n* sites 2\nOK 3\n");
    EXPECT_EQ(Admin("FROB all"), "ERR unknown command\n");
    EXPECT_EQ(Admin("NOTICE TICKER everyone hi"), "ERR bad target\n");
    EXPECT_EQ(Admin("NOTICE TICKER all"), "ERR missing text\n");
    EXPECT_EQ(Admin("NOTICE BUTTONS 256 all hi"), "ERR bad buttons\n");
}

} // namespace
} // namespace navlet::test
