// The window bound and the chat desk on their own: a directory of hand-made
// accounts, a link whose other nodes the test plays, and fake sites.
#include "server/core/chat_desk.h"
#include "server/core/sites.h"
#include "server/core/windows.h"
#include "tests/server/fake_directory.h"
#include "tests/server/quiet_link.h"
#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

// Other nodes as the test sets them: where an account's sessions are, and
// what was sent to them.
struct TPlayedLink final : TQuietLink {
    std::vector<TNodeSessions> where;
    std::vector<std::pair<std::string, cluster::TNodeMessage>> sent;
    void WhereIs(uint64_t, std::function<void(std::vector<TNodeSessions>)> done) override {
        done(where);
    }
    void ToNode(const std::string& node, const cluster::TNodeMessage& message,
                std::function<void(bool)> delivered) override {
        sent.emplace_back(node, message);
        if (delivered)
            delivered(true);
    }
};

struct TWindow {
    TFakeSink sink;
    TClient client{sink};
};

class WindowBoundTest : public ::testing::Test {
  protected:
    void SetUp() override { directory.accounts[7] = &entry; }
    // A window of account 7 that signed in at `signedInUs` (0: now, through
    // the bound).
    TClient& Open(int64_t signedInUs) {
        windows.push_back(std::make_unique<TWindow>());
        TClient& client = windows.back()->client;
        client.account = &entry;
        entry.sessions.push_back(&client);
        if (signedInUs == 0)
            bound.SignedIn(client);
        else
            client.signedInUs = signedInUs;
        return client;
    }

    TManualClock clock;
    TFakeDirectory directory;
    TPlayedLink link;
    TAccountEntry entry{TAccount{7, "alice", 'f', 1, ""}, {}, 0, {}};
    std::vector<std::unique_ptr<TWindow>> windows;
    std::vector<TClient*> ended;
    TWindowBound bound{directory, link, clock, /*maxSessions=*/3, [this](TClient& c) {
                           ended.push_back(&c);
                           std::erase(entry.sessions, &c);
                       }};
};

// Past the bound across the cluster the oldest window gives way, wherever
// it is: here it ends, on another node it is trimmed there with its stamp.
TEST_F(WindowBoundTest, TheOldestWindowInTheClusterGivesWay) {
    TClient& first = Open(10);
    Open(20);
    link.where = {{"n2", 1, /*oldestUs=*/5, 0}};
    Open(0);
    EXPECT_TRUE(ended.empty());
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].first, "n2");
    EXPECT_EQ(link.sent[0].second, cluster::TNodeMessage(cluster::TTrim{7, 5}));

    link.sent.clear();
    link.where = {{"n2", 1, /*oldestUs=*/15, 0}};
    Open(0);
    EXPECT_EQ(ended, std::vector<TClient*>{&first});
    EXPECT_TRUE(link.sent.empty());
}

// A trim names the oldest window its node saw: a window here that signed in
// later is not it (two nodes that both saw one too many end only one).
TEST_F(WindowBoundTest, ATrimEndsOnlyAWindowNoNewerThanItsStamp) {
    TClient& first = Open(10);
    Open(20);
    bound.RemoteTrim(cluster::TTrim{7, 9});
    bound.RemoteTrim(cluster::TTrim{8, 10}); // nobody's here
    EXPECT_TRUE(ended.empty());
    bound.RemoteTrim(cluster::TTrim{7, 10});
    EXPECT_EQ(ended, std::vector<TClient*>{&first});
}

TEST_F(WindowBoundTest, ASignInMakesRoomHereByEndingTheOldest) {
    TClient& first = Open(10);
    TClient& second = Open(20);
    Open(30);
    Open(40); // past the bound by hand: the next sign-in ends two
    bound.MakeRoom(entry);
    EXPECT_EQ(ended, (std::vector<TClient*>{&first, &second}));
    EXPECT_EQ(entry.sessions.size(), 2u);
}

struct TFakeChatSites final : TChatSites {
    std::vector<std::string> publicLines;
    void PublicLine(TClient& client, const std::string& text) override {
        publicLines.push_back(client.account->account.nick + ": " + text);
    }
    std::string_view HostOf(const TSite* site) const override {
        return site ? std::string_view(site->host) : std::string_view();
    }
    std::set<std::string> NodesOn(const TSite&, uint64_t) const override { return {}; }
    bool PresentBesides(const TSite&, uint64_t, const std::string&) const override { return false; }
};

class ChatDeskTest : public ::testing::Test {
  protected:
    // A signed-in session of a new account on the test's site.
    TClient& SignIn(uint64_t id, const std::string& nick) {
        people.push_back(std::make_unique<TSignedIn>());
        TSignedIn& person = *people.back();
        person.entry.account = TAccount{id, nick, 'x', 1, ""};
        person.entry.sessions.push_back(&person.window.client);
        TClient& client = person.window.client;
        client.account = &person.entry;
        client.serial = id * 10;
        client.site = &site;
        directory.accounts[id] = &person.entry;
        directory.live[client.serial] = &client;
        desk.SignedIn(client);
        return client;
    }
    void Say(TClient& client, ChatId chat, const std::string& text) {
        desk.Say(client, TChatTextRequest{MakeChatAddress(client.Id(), chat), text});
    }
    TFakeSink& SinkOf(TClient& client) { return static_cast<TFakeSink&>(client.sink); }

    struct TSignedIn {
        TAccountEntry entry;
        TWindow window;
    };
    TManualClock clock;
    TFakeDirectory directory;
    TFakeChatSites sites;
    TPlayedLink link;
    TSite site{"a.example", {}, {}, {}, 0, {}, 0};
    TChatDesk desk{directory, sites, link, clock, TChatDesk::TLimits{2.0, 3.0, 0.5, 5.0}};
    std::vector<std::unique_ptr<TSignedIn>> people;
};

// Public and private lines share one budget per session; blank lines cost
// nothing, and a line goes on with its control characters blanked.
TEST_F(ChatDeskTest, LinesOfASessionShareOneBudget) {
    TClient& alice = SignIn(1, "alice");
    TClient& bob = SignIn(2, "bob");
    EXPECT_NE(alice.chatKey, 0u);
    EXPECT_NE(alice.chatKey, bob.chatKey);
    const ChatId chat = (alice.chatKey << 8) | 1;
    desk.Invite(alice, MakeChatAddress(bob.Id(), chat));
    EXPECT_EQ(SinkOf(bob).Take(MSG_MEMBER_JOINED).size(), 1u);

    Say(alice, 0, " \t ");
    Say(alice, 0, "one\r\ntwo");
    Say(alice, chat, "three");
    Say(alice, 0, "four");
    Say(alice, chat, "over the burst");
    EXPECT_EQ(sites.publicLines, (std::vector<std::string>{"alice: one  two", "alice: four"}));
    auto lines = SinkOf(bob).Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).text, "three");
    clock.Advance(500); // one more
    Say(bob, 0, "bob's own budget");
    Say(alice, chat, "five");
    Say(alice, chat, "six");
    EXPECT_EQ(SinkOf(bob).Take(MSG_CHAT_LINE).size(), 1u);
    EXPECT_EQ(sites.publicLines.back(), "bob: bob's own budget");
}

// Only the holder of a chat key opens a chat under it; a member says lines
// there, a session that is no member says nothing.
TEST_F(ChatDeskTest, OnlyTheKeysHolderOpensAChatAndOnlyMembersSpeak) {
    TClient& alice = SignIn(1, "alice");
    TClient& bob = SignIn(2, "bob");
    TClient& carol = SignIn(3, "carol");
    const ChatId alices = (alice.chatKey << 8) | 1;
    desk.Invite(bob, MakeChatAddress(carol.Id(), alices));
    desk.Invite(alice, MakeChatAddress(carol.Id(), alice.chatKey << 8)); // chat number 0
    EXPECT_TRUE(SinkOf(carol).Take(MSG_MEMBER_JOINED).empty());
    desk.Invite(alice, MakeChatAddress(bob.Id(), alices));
    Say(carol, alices, "not a member");
    EXPECT_TRUE(SinkOf(alice).Take(MSG_CHAT_LINE).empty());
    Say(bob, alices, "hi");
    auto lines = SinkOf(alice).Take(MSG_CHAT_LINE);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ReadChatLine(lines[0]).address, MakeChatAddress(bob.Id(), alices));
}

} // namespace
} // namespace navlet::server
