// What the service keeps and relays of the page addresses bars send, and the
// pause of a bar on a page it does not report.
#include <algorithm>

#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class PagePrivacy : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        AddAccount("alice", "apw");
        AddAccount("bob", "bpw");
        AddAccount("dave", "dpw");
    }
    static bool Holds(const TPacket& p, std::string_view secret) {
        const std::string_view bytes(reinterpret_cast<const char*>(p.bytes), sizeof p.bytes);
        return bytes.find(secret) != std::string_view::npos;
    }
    static void SendSite(TTestClient& c, std::string_view site) {
        TPacket p;
        ClearPacket(p);
        ASSERT_TRUE(c.Send(p, BuildSiteReport(p, site), REQ_SITE_REPORT));
    }
    static void SendChat(TTestClient& c, ChatId chat, std::string_view text) {
        TPacket p;
        ClearPacket(p);
        ASSERT_TRUE(
            c.Send(p, BuildChatText(p, MakeChatAddress(c.Id(), chat), text), REQ_CHAT_TEXT));
    }
};

TEST_F(PagePrivacy, ATokenInACallersAddressIsNeitherRelayedNorKept) {
    StartServer();
    TTestClient a, b;
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
    // An older bar sends all it has: the host still counts.
    ASSERT_TRUE(a.Connect(Port()) &&
                a.Login("alice", "apw", "alice:S3CRET@example.com/login?next=S3CRET"));
    TPacket p;
    ASSERT_TRUE(b.WaitFor(MSG_PRESENCE, p));
    EXPECT_EQ(ReadPresence(p).user, a.Id());
    SendSite(a, "example.com/reset?token=S3CRET#S3CRET");

    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildFindUser(p, "bob"), REQ_FIND_USER));
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildFindUserWithMessage(p, "bob", "hi"), REQ_FIND_USER_WITH_MESSAGE));
    ClearPacket(p);
    ASSERT_TRUE(
        a.Send(p, BuildFindUserWithMessage(p, "dave", "later"), REQ_FIND_USER_WITH_MESSAGE));
    std::vector<std::string> links;
    for (const TPacket& got : b.Drain(300)) {
        EXPECT_FALSE(Holds(got, "S3CRET")) << int(got.Type());
        if (got.Type() == MSG_SEARCH_ANSWER)
            links.push_back(ReadSearchAnswer(got).link);
        if (got.Type() == MSG_LOOKING_FOR_YOU)
            links.push_back(ReadLookingForYou(got).link);
    }
    EXPECT_EQ(links, (std::vector<std::string>{"example.com/reset", "example.com/reset"}));
    // Each answer comes after its call was kept.
    int answers = 0;
    for (const TPacket& got : a.Drain(300))
        answers += got.Type() == MSG_SEARCH_ANSWER;
    EXPECT_EQ(answers, 3);

    std::string error;
    auto store = server::TStore::Open(BlackBoxOnTwoNodes() ? ClusterServices()->postgres
                                                           : (dataDir / "navlet.db").string(),
                                      error);
    ASSERT_TRUE(store) << error;
    auto dave = store->FindAccountByNick("dave");
    ASSERT_TRUE(dave);
    auto kept = store->TakeCalls(dave->id);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].link, "example.com/reset");
}

TEST_F(PagePrivacy, AnEmptySiteReportPausesAndKeepsThePrivateChatsOnTheSameSite) {
    StartServer();
    TTestClient a, b;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com/x"));
    a.Drain(), b.Drain();
    const ChatId chat = a.ChatKey() << 8 | 1;
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(a.Send(p, BuildInvite(p, MakeChatAddress(b.Id(), chat)), REQ_INVITE));
    ASSERT_TRUE(b.WaitFor(MSG_MEMBER_JOINED, p));
    a.Drain();

    // bob opens a new tab: alice no longer sees him, their chat goes on.
    SendSite(b, "");
    ASSERT_TRUE(a.WaitFor(MSG_USER_LEFT, p));
    EXPECT_EQ(ReadUserLeft(p).user, b.Id());
    for (const TPacket& got : b.Drain())
        EXPECT_TRUE(got.Type() != MSG_PRESENCE || ReadPresence(got).user == b.Id());
    SendChat(a, chat, "still there?");
    ASSERT_TRUE(b.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "still there?");
    SendSite(b, ""); // another local page: nothing new
    EXPECT_TRUE(a.Drain().empty());

    // Back on the site: listed again, still in the chat.
    SendSite(b, "EXAMPLE.com/back");
    ASSERT_TRUE(a.WaitFor(MSG_PRESENCE, p));
    EXPECT_EQ(ReadPresence(p).user, b.Id());
    b.Drain();
    SendChat(a, chat, "welcome back");
    ASSERT_TRUE(b.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "welcome back");

    // Paused, then on another site: a move, which leaves the chat.
    SendSite(b, "");
    ASSERT_TRUE(a.WaitFor(MSG_USER_LEFT, p));
    SendSite(b, "other.org");
    ASSERT_TRUE(a.WaitFor(MSG_MEMBER_LEFT, p));
    EXPECT_EQ(ReadMember(p).address, MakeChatAddress(b.Id(), chat));
    b.Drain();
    SendChat(a, chat, "gone");
    EXPECT_TRUE(b.Drain().empty());
}

} // namespace
} // namespace navlet::test
