// The sites on their own, with the other parts they call faked: what the
// chats, the friends and the kept calls hear of sessions arriving and leaving.
#include "server/core/sites.h"

#include "tests/server/fake_directory.h"
#include "tests/server/quiet_link.h"
#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

struct TFakeNeighbours final : TSiteNeighbours {
    void FriendsMeet(TClient&, bool) override {}
    void FriendCameThroughNode(const TSite&, const TAccount&) override {}
    std::vector<std::string> heard;
    std::vector<TWireRef> friendRecords; // what WelcomeFriends gives
    void LeaveChats(TClient& client, const TSite* site, bool accountLeavesSite) override {
        heard.push_back("chats " + client.account->account.nick + " " + (site ? site->host : "-") +
                        (accountLeavesSite ? " leaves" : " stays"));
    }
    std::vector<TWireRef> WelcomeFriends(const TClient& client,
                                         const std::vector<TAccount>&) override {
        heard.push_back("friends " + client.account->account.nick);
        return friendRecords;
    }
    void DeliverKeptCalls(TClient& client) override {
        heard.push_back("calls " + client.account->account.nick);
    }
};

// A cluster whose Redis is up: snapshots wait until the test answers them.
struct TSnapshotLink final : TQuietLink {
    std::vector<std::pair<std::string, std::function<void(TSiteSnapshot)>>> asked;
    void SiteSnapshot(const std::string& host, std::function<void(TSiteSnapshot)> done) override {
        asked.emplace_back(host, std::move(done));
    }
};

// A signed-in session as the front hands it to the sites.
struct TSession {
    TFakeSink sink;
    TClient client{sink};
    TSession(TAccountEntry& entry, uint64_t serial, TFakeDirectory& directory) {
        client.serial = serial;
        client.account = &entry;
        client.languageMask = 0xFFFFFFFF;
        entry.sessions.push_back(&client);
        directory.live[serial] = &client;
    }
};

class SitesTest : public ::testing::Test {
  protected:
    TAccountEntry Account(uint64_t id, const std::string& nick) {
        return TAccountEntry{TAccount{id, nick, 'x', 3, ""}, {}, 0, {}};
    }
    TManualClock clock;
    TFakeDirectory directory;
    TFakeNeighbours neighbours;
    TLocalLink local;
};

TEST_F(SitesTest, LeavingASiteTellsTheChatsWhetherTheAccountLeavesItToo) {
    TSiteDesk desk(directory, neighbours, local, clock, TBannerSet{}, {});
    TAccountEntry alice = Account(1, "alice"), bob = Account(2, "bob");
    TSession window1(alice, 11, directory), window2(alice, 12, directory), b(bob, 13, directory);
    desk.EnterSiteWhenKnown(window1.client, "a.example/1", nullptr);
    desk.EnterSiteWhenKnown(window2.client, "a.example/2", nullptr);
    desk.EnterSiteWhenKnown(b.client, "a.example", nullptr);
    b.sink.got.clear();

    desk.SiteReport(window1.client, "b.example/x"); // the other window keeps alice there
    desk.LeaveSite(window2.client);
    EXPECT_EQ(neighbours.heard, (std::vector<std::string>{"chats alice a.example stays",
                                                          "chats alice a.example leaves"}));
    std::vector<TPacket> left = b.sink.Take(MSG_USER_LEFT);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(ReadUserLeft(left[0]).user, 1u);

    neighbours.heard.clear();
    desk.LeaveSite(b.client); // its last user: the site goes
    desk.LeaveSite(b.client); // on no site any more
    EXPECT_EQ(neighbours.heard,
              (std::vector<std::string>{"chats bob a.example leaves", "chats bob - stays"}));
    EXPECT_EQ(desk.SessionsOn("A.Example").size(), 0u);
    EXPECT_EQ(desk.SessionsOn("B.EXAMPLE"), std::vector<TClient*>{&window1.client});
    EXPECT_EQ(desk.SiteCount(), 1u);
}

TEST_F(SitesTest, APauseKeepsTheChatsAndSoDoesComingBackToItsSiteButNotAMove) {
    TSiteDesk desk(directory, neighbours, local, clock, TBannerSet{}, {});
    TAccountEntry alice = Account(1, "alice"), bob = Account(2, "bob");
    TSession a(alice, 11, directory), b(bob, 12, directory);
    desk.EnterSiteWhenKnown(a.client, "a.example/1?s=S3CRET", nullptr);
    desk.EnterSiteWhenKnown(b.client, "a.example", nullptr);
    EXPECT_EQ(a.client.siteUrl, "a.example/1");
    b.sink.got.clear();

    desk.SiteReport(a.client, "");
    EXPECT_EQ(b.sink.Take(MSG_USER_LEFT).size(), 1u);
    EXPECT_EQ(a.client.site, nullptr);
    desk.SiteReport(a.client, ""); // still paused
    desk.SiteReport(a.client, "A.example/2#S3CRET");
    EXPECT_EQ(a.client.siteUrl, "A.example/2");
    EXPECT_EQ(desk.SessionsOn("a.example").size(), 2u);
    EXPECT_TRUE(neighbours.heard.empty());

    desk.SiteReport(a.client, "");
    desk.SiteReport(a.client, "b.example");
    EXPECT_EQ(neighbours.heard, std::vector<std::string>{"chats alice - stays"});
}

// On a cluster the welcome waits for the site as Redis holds it; the
// friends' records and the kept calls belong to the sign-in's welcome only.
TEST_F(SitesTest, TheSignInsWelcomeWaitsForTheSiteAndTheKeptCallsFollowIt) {
    TSnapshotLink link;
    TSiteDesk desk(directory, neighbours, link, clock, TBannerSet::FromIds({7}), {});
    TAccountEntry alice = Account(1, "alice");
    TSession a(alice, 11, directory);
    TAccount carol{3, "carol", 'x', 3, ""}, dave{4, "dave", 'x', 3, ""};
    neighbours.friendRecords = {PresenceWire(carol, LIST_FRIEND_OFFLINE, 0)};
    std::vector<TAccount> friends{carol};

    desk.EnterSiteWhenKnown(a.client, "shared.example", &friends);
    ASSERT_EQ(link.asked.size(), 1u);
    EXPECT_TRUE(a.sink.got.empty());
    EXPECT_TRUE(neighbours.heard.empty());

    TSiteSnapshot snapshot;
    snapshot.users.push_back(TRemoteUser{RemoteKey("n2", dave.id), "n2", dave, 0});
    snapshot.lines.push_back(cluster::TKeptLine{45000.0, 3, "dave", "hello"});
    link.asked[0].second(std::move(snapshot));
    EXPECT_EQ(neighbours.heard, (std::vector<std::string>{"friends alice", "calls alice"}));
    std::vector<uint8_t> types;
    for (const TPacket& p : a.sink.got)
        types.push_back(p.Type());
    EXPECT_EQ(types, (std::vector<uint8_t>{MSG_PRESENCE, MSG_PRESENCE, MSG_PRESENCE, MSG_DATED_LINE,
                                           MSG_BANNER}));
    EXPECT_EQ(ReadPresence(a.sink.got[1]).user, dave.id);
    EXPECT_EQ(ReadPresence(a.sink.got[2]).listFlag, LIST_FRIEND_OFFLINE);
    EXPECT_EQ(desk.RemoteKeys("shared.example"), std::vector<std::string>{"n2:4"});

    // Moving on: a new site's welcome has neither friends nor kept calls.
    neighbours.heard.clear();
    desk.SiteReport(a.client, "shared.example/other"); // the same site: nothing
    desk.SiteReport(a.client, "new.example");
    ASSERT_EQ(link.asked.size(), 2u);
    link.asked[1].second({});
    EXPECT_EQ(neighbours.heard, std::vector<std::string>{"chats alice shared.example leaves"});
    EXPECT_EQ(desk.LocalSites(), std::vector<std::string>{"new.example"});
}

// A bar may report another page before the sign-in's site was read: the
// move's welcome then carries the friends and the kept calls, once.
TEST_F(SitesTest, AMoveBeforeTheSiteWasReadKeepsTheSignInsFriendsAndCalls) {
    TSnapshotLink link;
    TSiteDesk desk(directory, neighbours, link, clock, TBannerSet{}, {});
    TAccountEntry alice = Account(1, "alice");
    TSession a(alice, 11, directory);
    TAccount carol{3, "carol", 'x', 3, ""};
    neighbours.friendRecords = {PresenceWire(carol, LIST_FRIEND_OFFLINE, 0)};
    std::vector<TAccount> friends{carol};

    desk.EnterSiteWhenKnown(a.client, "first.example", &friends);
    desk.SiteReport(a.client, "second.example");
    ASSERT_EQ(link.asked.size(), 2u);
    link.asked[0].second({}); // overtaken: nothing
    EXPECT_TRUE(a.sink.got.empty());
    link.asked[1].second({});
    EXPECT_EQ(neighbours.heard,
              (std::vector<std::string>{"chats alice - stays", "friends alice", "calls alice"}));
    ASSERT_EQ(a.sink.Take(MSG_PRESENCE).size(), 2u); // the own record and carol's

    desk.SiteReport(a.client, "third.example");
    link.asked[2].second({});
    EXPECT_EQ(neighbours.heard.size(), 4u); // only the chats heard of this move
}

// The ring of recent lines: the newest bound of them, oldest first, also
// once the ring has wrapped (round more than once) and when the bound shrinks.
TEST(RecentLinesTest, KeepsTheNewestInOrderAcrossWraps) {
    auto texts = [](const TRecentLines& recent) {
        std::vector<std::string> out;
        recent.ForEach([&](const cluster::TKeptLine& line) { out.push_back(line.text); });
        return out;
    };
    TRecentLines recent;
    recent.Keep(0, 1.0, 0, "n", "dropped: no room at all");
    EXPECT_TRUE(recent.empty());
    for (int i = 1; i <= 2; ++i)
        recent.Keep(3, double(i), uint8_t(i), "n", "l" + std::to_string(i));
    EXPECT_EQ(texts(recent), (std::vector<std::string>{"l1", "l2"}));
    for (int i = 3; i <= 7; ++i)
        recent.Keep(3, double(i), uint8_t(i), "n" + std::to_string(i), "l" + std::to_string(i));
    EXPECT_EQ(texts(recent), (std::vector<std::string>{"l5", "l6", "l7"}));
    // A reused slot holds only the new line's fields.
    std::vector<double> stamps;
    recent.ForEach([&](const cluster::TKeptLine& line) {
        stamps.push_back(line.stamp);
        EXPECT_EQ(line.nick, "n" + std::to_string(int(line.stamp)));
        EXPECT_EQ(line.language, uint8_t(line.stamp));
    });
    EXPECT_EQ(stamps, (std::vector<double>{5, 6, 7}));
    recent.Keep(3, cluster::TKeptLine{8, 0, "m", "l8"});
    EXPECT_EQ(texts(recent), (std::vector<std::string>{"l6", "l7", "l8"}));
    // A smaller bound: the ring keeps its size, still replacing the oldest.
    recent.Keep(2, 9.0, 0, "n", "l9");
    EXPECT_EQ(texts(recent), (std::vector<std::string>{"l7", "l8", "l9"}));
}

} // namespace
} // namespace navlet::server
