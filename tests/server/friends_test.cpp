// Friends across nodes, with the other nodes' answers held until the test
// gives them: what a bar lists must follow the last answer, not the first.
#include <deque>
#include <map>
#include <optional>

#include "server/core/friends.h"
#include "tests/server/fake_directory.h"
#include "tests/server/quiet_link.h"
#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

struct TUser {
    TFakeSink sink;
    TClient client{sink};
};

// The friend states (user, flag) in these records.
std::vector<std::pair<UserId, uint8_t>> States(const TFakeSink& sink) {
    std::vector<std::pair<UserId, uint8_t>> out;
    for (const TPacket& p : sink.got)
        if (p.Type() == MSG_PRESENCE && ReadPresence(p).listFlag != 0)
            out.emplace_back(ReadPresence(p).user, ReadPresence(p).listFlag);
    return out;
}
std::vector<std::pair<UserId, uint8_t>> States(const std::vector<TWireRef>& wires) {
    TFakeSink decoded;
    for (const TWireRef& wire : wires)
        decoded.Deliver(wire);
    return States(decoded);
}

// A cluster link on which Redis is up and nothing else is there: what a
// test does not hold or share answers at once, empty.
class THeldLink final : public TQuietLink {
  public:
    using TWhereFn = std::function<void(std::vector<TNodeSessions>)>;
    std::vector<std::pair<uint64_t, TWhereFn>> asked; // WhereIs, unanswered
    std::vector<std::pair<uint64_t, bool>> states;    // FriendState told

    // Answers the oldest question about `accountId`: online on another node or not.
    void Answer(uint64_t accountId, bool elsewhere) {
        for (auto it = asked.begin(); it != asked.end(); ++it)
            if (it->first == accountId) {
                TWhereFn done = std::move(it->second);
                asked.erase(it);
                done(elsewhere ? std::vector<TNodeSessions>{{"other", 1, 0, 0}}
                               : std::vector<TNodeSessions>{});
                return;
            }
        ADD_FAILURE() << "nobody asked for " << accountId;
    }

    void WhereIs(uint64_t accountId, TWhereFn done) override {
        asked.emplace_back(accountId, std::move(done));
    }
    void FriendState(const TAccount& account, bool online) override {
        states.emplace_back(account.id, online);
    }
};

class FriendsAcrossNodes : public ServiceTest, public TFakeDirectory {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        desk.emplace(*this, *store, runner, link);
        for (uint64_t id : {1, 2, 3}) {
            TAccount account;
            account.id = id;
            account.nick = "user" + std::to_string(id);
            Remember(account);
        }
    }
    // Signs `user` in as account `id` on this node, listing `friends`.
    void SignIn(TUser& user, uint64_t id, std::vector<uint64_t> friendIds) {
        TAccountEntry& entry = entries.at(id);
        const bool cameOnline = entry.sessions.empty();
        entry.sessions.push_back(&user.client);
        user.client.account = &entry;
        user.client.serial = id * 100 + entry.sessions.size();
        live[user.client.serial] = &user.client;
        std::vector<TAccount> friends;
        for (uint64_t friendId : friendIds)
            friends.push_back(entries.at(friendId).account);
        desk->SignedIn(user.client, friends, cameOnline);
    }
    void SignOut(TUser& user) {
        std::erase(user.client.account->sessions, &user.client);
        live.erase(user.client.serial);
        desk->SessionGone(user.client);
    }
    TAccountEntry* CachedById(uint64_t id) override {
        auto it = entries.find(id);
        return it == entries.end() ? nullptr : &it->second;
    }
    void Remember(TAccount account) override { entries[account.id].account = std::move(account); }

    std::map<uint64_t, TAccountEntry> entries;
    THeldLink link;
    TInlineStoreRunner runner;
    std::optional<TFriendDesk> desk;
};

TEST_F(FriendsAcrossNodes, AWaitingWelcomeGetsEveryFriendOnceTheLastNodeAnswered) {
    TUser alice;
    SignIn(alice, 1, {2, 3});
    link.Answer(1, false); // alice herself came online in the cluster
    alice.client.welcome = std::make_unique<TWelcome>();
    alice.client.welcome->active = true;
    EXPECT_TRUE(desk->WelcomeRecords(alice.client.serial, {entries[2].account, entries[3].account})
                    .empty());

    link.Answer(2, true);
    EXPECT_TRUE(alice.client.welcome->friends.empty()) << "records before every answer";
    link.Answer(3, false);
    const std::vector<std::pair<UserId, uint8_t>> expected{{2, LIST_FRIEND_ONLINE},
                                                           {3, LIST_FRIEND_OFFLINE}};
    EXPECT_EQ(States(alice.client.welcome->friends), expected);
    EXPECT_TRUE(alice.sink.got.empty());

    // A later welcome (another site) does not wait again.
    EXPECT_EQ(States(desk->WelcomeRecords(alice.client.serial, {entries[2].account})),
              (std::vector<std::pair<UserId, uint8_t>>{{2, LIST_FRIEND_OFFLINE}}));
}

TEST_F(FriendsAcrossNodes, ComingAndGoingIsToldOnlyAsItStandsWhenTheClusterAnswers) {
    TUser alice, bob, bobAgain;
    SignIn(alice, 1, {2});
    link.Answer(1, false);
    link.Answer(2, false); // bob offline everywhere: alice's list says so
    link.states.clear();   // alice's own coming

    // Bob comes and goes before the cluster answers for his coming: only
    // his going is told, to alice here and to the other nodes.
    SignIn(bob, 2, {});
    SignOut(bob);
    link.Answer(2, false);
    link.Answer(2, false);
    EXPECT_EQ(States(alice.sink),
              (std::vector<std::pair<UserId, uint8_t>>{{2, LIST_FRIEND_OFFLINE}}));
    EXPECT_EQ(link.states, (std::vector<std::pair<uint64_t, bool>>{{2, false}}));

    // Signed in on another node too: his coming here tells nobody.
    alice.sink.got.clear();
    SignIn(bobAgain, 2, {});
    link.Answer(2, true);
    EXPECT_TRUE(alice.sink.got.empty());
    EXPECT_EQ(link.states.size(), 1u);

    // A friend removed is no longer told of; the other node's word reaches
    // those who still list him.
    desk->FriendChange(alice.client, TFriendChangeRequest{2, FRIEND_REMOVE});
    desk->RemoteFriendState(entries[2].account, false);
    EXPECT_TRUE(alice.sink.got.empty());
    desk->FriendChange(alice.client, TFriendChangeRequest{2, FRIEND_ADD});
    desk->RemoteFriendState(entries[2].account, true);
    EXPECT_EQ(States(alice.sink),
              (std::vector<std::pair<UserId, uint8_t>>{{2, LIST_FRIEND_ONLINE}}));
    SignOut(alice);
    SignOut(bobAgain);
}

// One Redis for two nodes: each node's commands run in its order, the two
// nodes' turn by turn, as two connections to one server may.
struct TSharedRedis {
    std::map<uint64_t, std::map<std::string, size_t>> where; // account -> node -> sessions
    std::map<std::string, std::deque<std::function<void()>>> queues;
    std::map<std::string, TService*> nodes;

    void TurnByTurn() {
        for (bool ran = true; ran;) {
            ran = false;
            for (auto& [node, queue] : queues)
                if (!queue.empty()) {
                    std::function<void()> command = std::move(queue.front());
                    queue.pop_front();
                    command();
                    ran = true;
                }
        }
    }
};

class TSharedLink final : public TQuietLink {
  public:
    TSharedLink(TSharedRedis& redis, std::string node) : redis(redis), node(std::move(node)) {}

    void AccountSessions(uint64_t accountId, const TNodeSessions& here) override {
        Queue([this, accountId, count = here.count] {
            if (count == 0)
                redis.where[accountId].erase(node);
            else
                redis.where[accountId][node] = count;
        });
    }
    void WhereIs(uint64_t accountId,
                 std::function<void(std::vector<TNodeSessions>)> done) override {
        Queue([this, accountId, done] {
            std::vector<TNodeSessions> out;
            for (const auto& [other, count] : redis.where[accountId])
                if (other != node)
                    out.push_back(TNodeSessions{other, count, 0, 0});
            done(out);
        });
    }
    void FriendState(const TAccount& account, bool online) override {
        Queue([this, account, online] {
            for (auto& [other, service] : redis.nodes)
                if (other != node)
                    service->RemoteFriendState(account, online);
        });
    }

  private:
    void Queue(std::function<void()> command) { redis.queues[node].push_back(std::move(command)); }
    TSharedRedis& redis;
    std::string node;
};

class FriendsOnTwoNodes : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        Make({});
        other = std::make_unique<TService>(*store, clock, verifier, TBannerSet{}, TUpdateSet{});
        service->SetClusterLink(linkX);
        other->SetClusterLink(linkY);
        redis.nodes = {{"x", service.get()}, {"y", other.get()}};
    }
    void TearDown() override {
        other.reset();
        ServiceTest::TearDown();
    }
    void SignInOn(TService& node, TUser& user, const std::string& nick) {
        TLoginRequest login;
        login.nick = nick;
        login.password = "pw";
        login.site = "example.com";
        node.Login(user.client, login);
        verifier.RunAll();
        redis.TurnByTurn();
        ASSERT_TRUE(user.client.SignedIn());
    }
    TSharedRedis redis;
    TSharedLink linkX{redis, "x"}, linkY{redis, "y"};
    std::unique_ptr<TService> other;
};

// Bob's last windows on both nodes close at once: whichever node asks last
// where else he is must find him nowhere, and alice hears he went.
TEST_F(FriendsOnTwoNodes, LastSessionsClosingOnBothNodesAtOnceStillTellTheFriends) {
    TAccount alice, bob;
    ASSERT_EQ(store->AddAccount("alice", "pw", 'f', 3, &alice), TAddAccountResult::Added);
    ASSERT_EQ(store->AddAccount("bob", "pw", 'm', 3, &bob), TAddAccountResult::Added);
    ASSERT_TRUE(store->AddFriend(alice.id, bob.id));
    TUser a, bobX, bobY;
    SignInOn(*service, a, "alice");
    SignInOn(*service, bobX, "bob");
    SignInOn(*other, bobY, "bob");
    a.sink.got.clear();

    service->Disconnect(bobX.client);
    other->Disconnect(bobY.client);
    redis.TurnByTurn();
    const std::vector<std::pair<UserId, uint8_t>> heard = States(a.sink);
    ASSERT_FALSE(heard.empty()) << "nobody told alice that bob went";
    EXPECT_EQ(heard.back(), (std::pair<UserId, uint8_t>{bob.id, LIST_FRIEND_OFFLINE}));
    service->Disconnect(a.client);
}

} // namespace
} // namespace navlet::server
