// One account in several browser windows: each window is a session on its own
// site, the sessions of one account on one site are one person there, and
// chats, calls and the bound on windows follow the sessions.
#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class Windows : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        AddAccount("alice", "apw");
        AddAccount("bob", "bpw");
        AddAccount("carol", "cpw");
    }

    static std::vector<TPacket> Of(const std::deque<TPacket>& got, uint8_t type) {
        std::vector<TPacket> out;
        for (const TPacket& p : got)
            if (p.Type() == type)
                out.push_back(p);
        return out;
    }

    static void Say(TTestClient& from, ChatId chat, const std::string& text) {
        TPacket p;
        ClearPacket(p);
        ASSERT_TRUE(
            from.Send(p, BuildChatText(p, MakeChatAddress(from.Id(), chat), text), REQ_CHAT_TEXT));
    }
};

TEST_F(Windows, TwoWindowsOnOneSiteAreOnePersonThere) {
    StartServer();
    TTestClient bob, a1, a2, carol;
    ASSERT_TRUE(bob.Connect(Port()) && bob.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(a1.Connect(Port()) && a1.Login("alice", "apw", "example.com/one"));
    EXPECT_EQ(Of(bob.Drain(), MSG_PRESENCE).size(), 1u);
    ASSERT_TRUE(a2.Connect(Port()));
    ASSERT_TRUE(a2.SendLogin("alice", "apw", "example.com/two"));
    // The second window lists bob but not alice again; bob hears nothing new.
    auto welcome = Of(a2.Drain(), MSG_PRESENCE);
    ASSERT_EQ(welcome.size(), 2u);
    EXPECT_EQ(ReadPresence(welcome[1]).nick, "bob");
    EXPECT_TRUE(bob.Drain().empty());
    a1.Drain();

    ASSERT_TRUE(carol.Connect(Port()));
    ASSERT_TRUE(carol.SendLogin("carol", "cpw", "example.com"));
    welcome = Of(carol.Drain(), MSG_PRESENCE);
    ASSERT_EQ(welcome.size(), 3u); // carol, bob, alice once
    EXPECT_EQ(ReadPresence(welcome[2]).nick, "alice");
    EXPECT_EQ(AdminOnceSettled("SITES", "* example.com 3\nOK 1\n"), "* example.com 3\nOK 1\n");

    // A public line reaches both windows once each, and the other window of
    // the sender too.
    a1.Drain(), a2.Drain(), bob.Drain();
    Say(bob, 0, "hi");
    for (TTestClient* window : {&a1, &a2})
        EXPECT_EQ(Of(window->Drain(), MSG_CHAT_LINE).size(), 1u);
    Say(a1, 0, "from one");
    EXPECT_EQ(Of(a2.Drain(), MSG_CHAT_LINE).size(), 1u);
    bob.Drain(), carol.Drain();

    // The user leaves the site with the last window.
    a1.Close();
    EXPECT_TRUE(Of(bob.Drain(), MSG_USER_LEFT).empty());
    a2.Close();
    TPacket p;
    ASSERT_TRUE(bob.WaitFor(MSG_USER_LEFT, p));
    EXPECT_EQ(ReadUserLeft(p).user, a1.Id());
}

TEST_F(Windows, TwoWindowsOnTwoSitesEachPresentThereAndBothCalled) {
    StartServer();
    TTestClient bob, carol, a1, a2;
    ASSERT_TRUE(bob.Connect(Port()) && bob.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(carol.Connect(Port()) && carol.Login("carol", "cpw", "other.org"));
    ASSERT_TRUE(a1.Connect(Port()) && a1.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(a2.Connect(Port()) && a2.Login("alice", "apw", "other.org"));
    EXPECT_EQ(Of(bob.Drain(), MSG_PRESENCE).size(), 1u);
    EXPECT_EQ(Of(carol.Drain(), MSG_PRESENCE).size(), 1u);
    a1.Drain(), a2.Drain();

    // A search calls every window; the caller hears "called" once.
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildFindUser(p, "alice"), REQ_FIND_USER));
    ASSERT_TRUE(bob.WaitFor(MSG_SEARCH_ANSWER, p));
    EXPECT_EQ(ReadSearchAnswer(p).result, 1);
    for (TTestClient* window : {&a1, &a2}) {
        ASSERT_TRUE(window->WaitFor(MSG_SEARCH_ANSWER, p));
        EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_LOOKING_FOR_YOU);
        EXPECT_EQ(ReadSearchAnswer(p).nick, "bob");
    }

    // Leaving one site leaves the other window where it is.
    a1.Close();
    ASSERT_TRUE(bob.WaitFor(MSG_USER_LEFT, p));
    EXPECT_TRUE(Of(carol.Drain(), MSG_USER_LEFT).empty());

    // A call with a message is kept only once no window is online.
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildFindUserWithMessage(p, "alice", "still there?"),
                         REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(a2.WaitFor(MSG_LOOKING_FOR_YOU, p));
    a2.Close();
    bob.Drain();
    ClearPacket(p);
    ASSERT_TRUE(
        bob.Send(p, BuildFindUserWithMessage(p, "alice", "later"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(bob.WaitFor(MSG_SEARCH_ANSWER, p));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    TTestClient a3;
    ASSERT_TRUE(a3.Connect(Port()) && a3.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(a3.WaitFor(MSG_LOOKING_FOR_YOU, p));
    EXPECT_EQ(ReadLookingForYou(p).message, "later");
}

TEST_F(Windows, APrivateChatHoldsOneWindowOfTheInvitee) {
    StartServer();
    TTestClient bob, a1, a2;
    ASSERT_TRUE(bob.Connect(Port()) && bob.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(a1.Connect(Port()) && a1.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(a2.Connect(Port()) && a2.Login("alice", "apw", "example.com"));
    // The first window was used last: the invitation goes there.
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(a1.Send(p, BuildLanguageFilter(p, ALL_LANGUAGES), REQ_LANGUAGE_FILTER));
    bob.Drain(), a1.Drain(), a2.Drain();
    ChatId chat = bob.ChatKey() << 8 | 1;
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildInvite(p, MakeChatAddress(a1.Id(), chat)), REQ_INVITE));
    ASSERT_TRUE(a1.WaitFor(MSG_MEMBER_JOINED, p));
    EXPECT_EQ(ReadMember(p).address.User(), bob.Id());
    EXPECT_TRUE(a2.Drain().empty());
    // Inviting the same account again changes nothing.
    bob.Drain();
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildInvite(p, MakeChatAddress(a1.Id(), chat)), REQ_INVITE));
    EXPECT_TRUE(a2.Drain().empty());
    EXPECT_TRUE(bob.Drain().empty());

    Say(bob, chat, "just you");
    ASSERT_TRUE(a1.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).address.Chat(), chat);
    EXPECT_TRUE(a2.Drain().empty());

    // The chat's window goes to another site while the other window keeps
    // alice on this one: bob hears that she left the chat, not the site.
    ClearPacket(p);
    ASSERT_TRUE(a1.Send(p, BuildSiteReport(p, "other.org"), REQ_SITE_REPORT));
    auto got = bob.Drain();
    auto left = Of(got, MSG_MEMBER_LEFT);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadMember(left[0]).address.Chat(), chat);
    EXPECT_TRUE(Of(got, MSG_USER_LEFT).empty());
}

TEST_F(Windows, PastTheBoundTheOldestWindowHearsWhyItEnds) {
    config.service.maxSessionsPerAccount = 2;
    StartServer();
    TTestClient a1, a2, a3;
    ASSERT_TRUE(a1.Connect(Port()) && a1.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(a2.Connect(Port()) && a2.Login("alice", "apw", "example.com"));
    a1.Drain();
    ASSERT_TRUE(a3.Connect(Port()) && a3.Login("alice", "apw", "other.org"));
    TPacket p;
    ASSERT_TRUE(a1.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).address.Chat(), 0x200u);
    EXPECT_EQ(ReadChatLine(p).text, "Signed out: too many windows of this account.");
    ASSERT_TRUE(a1.Next(p));
    EXPECT_EQ(p.Type(), MSG_END_SESSION);
    EXPECT_TRUE(a1.WaitClosed());
    for (const TPacket& got : a2.Drain())
        EXPECT_NE(got.Type(), MSG_END_SESSION);
}

} // namespace
} // namespace navlet::test
