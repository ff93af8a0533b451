// Two navlet-server nodes on one Redis and one PostgreSQL, with the users
// spread over both: what one node's users see of the other's, and what
// happens when a node, Redis or PostgreSQL goes away.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <future>
#include <hiredis/hiredis.h>
#include <httplib.h>
#include <map>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "server/server.h"
#include "tests/server/cluster_env.h"
#include "tests/server/test_client.h"

namespace navlet::test {
namespace {

using namespace std::chrono_literals;

// Quick beats so that the tests see a dead node go within about a second.
constexpr auto TEST_TTL = 1000ms;
constexpr auto TEST_BEAT = 200ms;
constexpr int SETTLE_MS = 4000; // longest wait for the cluster to agree

// An in-process node with its loop on a thread of its own.
struct TNode {
    std::unique_ptr<server::TServer> server;
    std::thread loop;

    bool Start(server::TServerConfig config) {
        server = std::make_unique<server::TServer>(config);
        std::string error;
        if (!server->Start(error)) {
            ADD_FAILURE() << error;
            return false;
        }
        loop = std::thread([this] { server->Run(); });
        return true;
    }
    void Stop() {
        if (!server)
            return;
        server->Stop();
        loop.join();
        server.reset();
    }
    uint16_t Port() const { return server->SessionPort(); }
    ~TNode() { Stop(); }
};

// A node as a process of its own, for kill -9.
struct TProcessNode {
    pid_t pid = -1;
    uint16_t port = 0;

    bool Start(const std::string& args) {
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::string command = std::string(NAVLET_SERVER_BINARY) + " " + args;
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        FILE* in = fdopen(out[0], "r");
        char line[512] = {};
        bool got = in && fgets(line, sizeof line, in);
        if (in)
            fclose(in);
        unsigned value = 0;
        const char* at = got ? strstr(line, "(port ") : nullptr;
        if (!at || sscanf(at, "(port %u)", &value) != 1)
            return false;
        port = uint16_t(value);
        return true;
    }
    void Kill() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    ~TProcessNode() { Kill(); }
};

class Cluster : public ::testing::Test {
  protected:
    void SetUp() override {
        auto found = ClusterServices();
        ASSERT_TRUE(found) << "NAVLET_CLUSTER_ENV names no running services";
        services = *found;
        ASSERT_TRUE(services.EmptyPostgres());
        ASSERT_TRUE(FlushRedis(services.redis));
        dir = std::filesystem::temp_directory_path() /
              ("navlet-cluster-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::string error;
        auto store = server::TStore::Open(services.postgres, error);
        ASSERT_TRUE(store) << error;
        for (auto [nick, language] : {std::pair{"alice", 3}, {"bob", 3}, {"carol", 6}, {"dave", 3}})
            ASSERT_EQ(store->AddAccount(nick, "pw", 'x', language),
                      server::TAddAccountResult::Added);
    }
    void TearDown() override {
        a.Stop();
        b.Stop();
        std::filesystem::remove_all(dir);
    }

    server::TServerConfig Config(const std::string& name) {
        server::TServerConfig config;
        config.listen = "127.0.0.1:0";
        config.admin = "127.0.0.1:0";
        config.web = "";
        config.dataDir = (dir / name).string();
        config.database = services.postgres;
        config.cluster.redis = services.redis;
        config.cluster.ttl = TEST_TTL;
        config.cluster.heartbeat = TEST_BEAT;
        config.limits.reasonHoldMs = 0; // the reason notice and the end come together
        return config;
    }
    void StartBoth() {
        ASSERT_TRUE(a.Start(Config("a")));
        ASSERT_TRUE(b.Start(Config("b")));
    }
    // A node in a process of its own, so that a test can kill it; its key
    // lives `ttlSeconds` after its last beat.
    bool StartKillable(TProcessNode& node, int ttlSeconds) {
        return node.Start("--listen 127.0.0.1:0 --admin '' --web '' --data " +
                          (dir / "killed").string() + " --database " + services.postgres +
                          " --cluster " + services.redis + " --cluster-ttl " +
                          std::to_string(ttlSeconds));
    }
    // alice on node a sees bob on a node in a process of its own, which is
    // then killed without a word to Redis.
    void KillBobsNode(TTestClient& alice, TTestClient& bob, int ttlSeconds);

    TClusterServices services;
    std::filesystem::path dir;
    TNode a, b;
};

// Waits for a presence record of `nick`, skipping whatever else comes.
bool SeesPresence(TTestClient& c, const std::string& nick, int timeoutMs = SETTLE_MS) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    TPacket p;
    while (std::chrono::steady_clock::now() < until) {
        if (!c.WaitFor(MSG_PRESENCE, p, 200))
            continue;
        if (ReadPresence(p).nick == nick)
            return true;
    }
    return false;
}

bool SeesLeft(TTestClient& c, UserId id, int timeoutMs = SETTLE_MS) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    TPacket p;
    while (std::chrono::steady_clock::now() < until)
        if (c.WaitFor(MSG_USER_LEFT, p, 200) && ReadUserLeft(p).user == id)
            return true;
    return false;
}

bool SeesLine(TTestClient& c, const std::string& text, int timeoutMs = SETTLE_MS) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    TPacket p;
    while (std::chrono::steady_clock::now() < until)
        if (c.WaitFor(MSG_CHAT_LINE, p, 200) && ReadChatLine(p).text == text)
            return true;
    return false;
}

bool SayPublic(TTestClient& c, const std::string& text) {
    TPacket p;
    ClearPacket(p);
    return c.Send(p, BuildChatText(p, MakeChatAddress(c.Id(), 0), text), REQ_CHAT_TEXT);
}

TEST_F(Cluster, PresenceAndPublicLinesCrossNodesWithTheLanguageFilter) {
    StartBoth();
    TTestClient alice, bob, carol;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com/a"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "EXAMPLE.com/b"));
    // The one already there and the newcomer learn of each other.
    EXPECT_TRUE(SeesPresence(bob, "alice"));
    EXPECT_TRUE(SeesPresence(alice, "bob"));

    // Carol reads only language 6: alice's lines (language 3) pass her by.
    ASSERT_TRUE(carol.Connect(b.Port()) && carol.Login("carol", "pw", "example.com", 1u << 5));
    EXPECT_TRUE(SeesPresence(alice, "carol"));
    carol.Drain();
    ASSERT_TRUE(SayPublic(alice, "hello from a"));
    EXPECT_TRUE(SeesLine(bob, "hello from a"));
    ASSERT_TRUE(SayPublic(carol, "hello from b"));
    EXPECT_TRUE(SeesLine(alice, "hello from b"));
    EXPECT_FALSE(SeesLine(carol, "hello from a", 500));

    // A move to another site is a departure for this one.
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildSiteReport(p, "other.org/x"), REQ_SITE_REPORT));
    EXPECT_TRUE(SeesLeft(alice, bob.Id()));
    bob.Close();
    carol.Close();
    EXPECT_TRUE(SeesLeft(alice, carol.Id()));
}

// A search reaches the sought user on the other node; once it has gone, a
// call with a message waits in PostgreSQL for its next sign-in anywhere.
TEST_F(Cluster, SearchesAndCallsReachTheOtherNode) {
    StartBoth();
    TTestClient alice, bob;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "one.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "two.com"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(alice.Send(p, BuildFindUser(p, "BOB"), REQ_FIND_USER));
    ASSERT_TRUE(alice.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    TSearchAnswerMsg answer = ReadSearchAnswer(p);
    EXPECT_EQ(answer.nick, "bob");
    EXPECT_NE(answer.result, SEARCH_NOT_ONLINE);
    ASSERT_TRUE(bob.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_LOOKING_FOR_YOU);
    EXPECT_EQ(ReadSearchAnswer(p).nick, "alice");

    ClearPacket(p);
    ASSERT_TRUE(
        alice.Send(p, BuildFindUserWithMessage(p, "bob", "call me"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(bob.WaitFor(MSG_LOOKING_FOR_YOU, p, SETTLE_MS));
    EXPECT_EQ(ReadLookingForYou(p).message, "call me");
    EXPECT_EQ(ReadLookingForYou(p).link, "one.com");
    ASSERT_TRUE(alice.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_NE(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);

    // Once the cluster lists bob nowhere, node b has dropped him: a call
    // now finds no node to hand it to and is kept.
    bob.Close();
    bool gone = false;
    for (int i = 0; i < SETTLE_MS / 50 && !gone; ++i, std::this_thread::sleep_for(50ms))
        gone = AdminCommand(a.server->AdminPort(), "USERS two.com") == "OK 0\n";
    ASSERT_TRUE(gone);
    ClearPacket(p);
    ASSERT_TRUE(
        alice.Send(p, BuildFindUserWithMessage(p, "bob", "later"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(alice.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    TTestClient bobAgain;
    ASSERT_TRUE(bobAgain.Connect(a.Port()) && bobAgain.Login("bob", "pw", "two.com"));
    ASSERT_TRUE(bobAgain.WaitFor(MSG_LOOKING_FOR_YOU, p, SETTLE_MS));
    EXPECT_EQ(ReadLookingForYou(p).message, "later");
}

bool MarkChange(TTestClient& from, uint8_t type, UserId who, uint8_t operation) {
    TPacket p;
    ClearPacket(p);
    return from.Send(p, BuildMarkChange(p, who, operation), type);
}

// A block made on one node holds on the other: each stops seeing the other
// there, the blocked user's search says "not online", the blocker's lines
// pass it by; an ignore made there mutes the other way round for the
// ignorer alone; unblocking shows them to each other again.
TEST_F(Cluster, IgnoreAndBlockHoldAcrossNodes) {
    StartBoth();
    TTestClient alice, bob, carol;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(carol.Connect(b.Port()) && carol.Login("carol", "pw", "example.com", ~0u));
    EXPECT_TRUE(SeesPresence(bob, "alice"));
    EXPECT_TRUE(SeesPresence(alice, "carol"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    bob.Drain();

    ASSERT_TRUE(MarkChange(alice, REQ_BLOCK_CHANGE, bob.Id(), MARK_SET));
    EXPECT_TRUE(SeesLeft(bob, alice.Id()));
    EXPECT_TRUE(SeesLeft(alice, bob.Id()));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildFindUser(p, "alice"), REQ_FIND_USER));
    ASSERT_TRUE(bob.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    ASSERT_TRUE(SayPublic(alice, "not for bob"));
    EXPECT_TRUE(SeesLine(carol, "not for bob"));
    EXPECT_FALSE(SeesLine(bob, "not for bob", 500));

    // carol, on node b, ignores alice: alice's lines reach bob's node for
    // nobody now, and carol's still reach alice.
    ASSERT_TRUE(MarkChange(carol, REQ_IGNORE_CHANGE, alice.Id(), MARK_SET));
    ASSERT_TRUE(carol.WaitFor(MSG_MARK, p, SETTLE_MS));
    EXPECT_EQ(ReadMark(p).mark, MARK_IGNORED);
    ASSERT_TRUE(SayPublic(alice, "muted"));
    ASSERT_TRUE(SayPublic(carol, "from carol"));
    EXPECT_TRUE(SeesLine(alice, "from carol"));
    EXPECT_FALSE(SeesLine(carol, "muted", 500));

    ASSERT_TRUE(MarkChange(alice, REQ_BLOCK_CHANGE, bob.Id(), MARK_CLEAR));
    EXPECT_TRUE(SeesPresence(bob, "alice"));
    EXPECT_TRUE(SeesPresence(alice, "bob"));
}

bool SeesFriendHere(TTestClient& c, UserId id, int timeoutMs = SETTLE_MS) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    TPacket p;
    while (std::chrono::steady_clock::now() < until)
        if (c.WaitFor(MSG_FRIEND_HERE, p, 200) && ReadFriendHere(p).user == id)
            return true;
    return false;
}

bool SetPrivacy(TTestClient& c, uint8_t flags) {
    TPacket p;
    ClearPacket(p);
    return c.Send(p, BuildPrivacy(p, flags), REQ_PRIVACY);
}

std::string SitesOnceSettled(uint16_t adminPort, const std::string& expected) {
    std::string sites;
    for (int i = 0; i < SETTLE_MS / 100 && sites != expected; ++i) {
        sites = AdminCommand(adminPort, "SITES");
        if (sites != expected)
            std::this_thread::sleep_for(100ms);
    }
    return sites;
}

// The privacy bits hold on the other node as on the user's own: invisible
// alice (node a) is on no list, in no count and not found on node b; bob's
// friends hear where he is on whichever node they are; alice turning
// visible and back on node a takes her window on node b along.
TEST_F(Cluster, PrivacyHoldsAcrossNodes) {
    std::string error;
    auto store = server::TStore::Open(services.postgres, error);
    ASSERT_TRUE(store) << error;
    const uint64_t aliceId = store->FindAccountByNick("alice")->id;
    const uint64_t bobId = store->FindAccountByNick("bob")->id;
    const uint64_t daveId = store->FindAccountByNick("dave")->id;
    ASSERT_TRUE(store->AddFriend(bobId, daveId) && store->AddFriend(daveId, bobId) &&
                store->AddFriend(bobId, aliceId));
    ASSERT_TRUE(store->SetPrivacy(aliceId, PRIVACY_INVISIBLE));
    StartBoth();
    TTestClient alice, bob, carol, dave;
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(carol.Connect(b.Port()) && carol.Login("carol", "pw", "example.com"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    EXPECT_EQ(SitesOnceSettled(b.server->AdminPort(), "* example.com 2\nOK 1\n"),
              "* example.com 2\nOK 1\n");
    EXPECT_FALSE(SeesPresence(carol, "alice", 300));
    EXPECT_FALSE(SeesFriendHere(bob, aliceId, 300));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(carol.Send(p, BuildFindUser(p, "alice"), REQ_FIND_USER));
    ASSERT_TRUE(carol.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    EXPECT_FALSE(alice.WaitFor(MSG_SEARCH_ANSWER, p, 500)) << "an invisible user is not rung";

    // dave arrives through node a: his friend bob, on node b, hears it, and
    // dave hears that bob is there.
    ASSERT_TRUE(dave.Connect(a.Port()) && dave.Login("dave", "pw", "example.com"));
    EXPECT_TRUE(SeesFriendHere(bob, daveId));
    EXPECT_TRUE(SeesFriendHere(dave, bobId));

    // alice's second window, on node b, is invisible too; her turning
    // visible on node a lists her, and invisible again takes both windows off.
    TTestClient aliceToo;
    ASSERT_TRUE(aliceToo.Connect(b.Port()) && aliceToo.Login("alice", "pw", "example.com"));
    EXPECT_FALSE(SeesPresence(carol, "alice", 500));
    ASSERT_TRUE(SetPrivacy(alice, PRIVACY_DEFAULT));
    EXPECT_TRUE(SeesPresence(carol, "alice"));
    EXPECT_TRUE(SeesFriendHere(bob, aliceId));
    EXPECT_EQ(SitesOnceSettled(b.server->AdminPort(), "* example.com 4\nOK 1\n"),
              "* example.com 4\nOK 1\n");
    ASSERT_TRUE(SetPrivacy(alice, PRIVACY_INVISIBLE));
    EXPECT_TRUE(SeesLeft(carol, aliceId));
    EXPECT_EQ(SitesOnceSettled(b.server->AdminPort(), "* example.com 3\nOK 1\n"),
              "* example.com 3\nOK 1\n");
    EXPECT_FALSE(SeesPresence(carol, "alice", 500)) << "listed again through a window";
}

// The owner deletes the account on node a's web site: its window on node b
// ends with the reason, its friends and the calls kept for it and by it are
// gone, and node b lets a new account take the nick at once.
TEST_F(Cluster, AnAccountDeletedOnOneNodesSiteGoesEverywhere) {
    std::string error;
    auto store = server::TStore::Open(services.postgres, error);
    ASSERT_TRUE(store) << error;
    const uint64_t bobId = store->FindAccountByNick("bob")->id;
    const uint64_t carolId = store->FindAccountByNick("carol")->id;
    const uint64_t daveId = store->FindAccountByNick("dave")->id;
    ASSERT_TRUE(store->AddFriend(carolId, bobId) && store->AddFriend(bobId, carolId));
    ASSERT_TRUE(store->KeepCall({daveId, bobId, "bob", "call me back", "one.com"}));
    server::TServerConfig withWeb = Config("a");
    withWeb.web = "127.0.0.1:0";
    ASSERT_TRUE(a.Start(withWeb));
    ASSERT_TRUE(b.Start(Config("b")));
    TTestClient bob, carol;
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(carol.Connect(b.Port()) && carol.Login("carol", "pw", "example.com"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    ASSERT_TRUE(store->KeepCall({bobId, carolId, "carol", "are you there", "two.com"}));

    httplib::Client web("127.0.0.1", a.server->WebPort());
    auto deleted = web.Post("/deleteaccount.asp?idLocale=0&idUtente=" + std::to_string(bobId),
                            httplib::Params{{"password", "pw"}, {"confirm", "1"}});
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->status, 200);
    EXPECT_TRUE(SeesLine(bob, "Signed out: this account was deleted."));
    EXPECT_TRUE(bob.WaitClosed(SETTLE_MS));
    EXPECT_TRUE(store->Friends(carolId).empty());
    EXPECT_TRUE(store->TakeCalls(daveId).empty());
    EXPECT_TRUE(store->TakeCalls(bobId).empty());

    // The nick is free on node b at once: a call for "bob" is kept for the
    // new account, not for the old one node b met.
    ASSERT_EQ(store->AddAccount("bob", "new", 'x', 3), server::TAddAccountResult::Added);
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(
        carol.Send(p, BuildFindUserWithMessage(p, "bob", "welcome"), REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(carol.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    TTestClient bobAgain;
    ASSERT_TRUE(bobAgain.Connect(b.Port()) && bobAgain.Login("bob", "new", "three.com"));
    ASSERT_TRUE(bobAgain.WaitFor(MSG_LOOKING_FOR_YOU, p, SETTLE_MS));
    EXPECT_EQ(ReadLookingForYou(p).message, "welcome");
}

// A report made on one node quotes the reported user's lines said on the
// other, and the operator lists and reads it on either: reports live in the
// shared store.
TEST_F(Cluster, AReportMadeOnOneNodeIsListedOnTheOther) {
    StartBoth();
    TTestClient alice, bob;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com", ~0u));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    EXPECT_TRUE(SeesPresence(alice, "bob"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    for (int i = 1; i <= 32; ++i) {
        ASSERT_TRUE(SayPublic(bob, "spam " + std::to_string(i)));
        if (i > 8)
            std::this_thread::sleep_for(550ms); // within the chat budget
    }
    ASSERT_TRUE(SeesLine(alice, "spam 32"));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(alice.Send(p, BuildReport(p, bob.Id(), REPORT_SPAM, "ads"), REQ_REPORT));
    ASSERT_TRUE(SeesLine(alice, "Thank you: the operators will look at it."));

    const std::string listing = AdminCommand(b.server->AdminPort(), "REPORTS");
    EXPECT_NE(listing.find(" alice bob spam open example.com\n"), std::string::npos) << listing;
    const std::string id = listing.substr(2, listing.find(' ', 2) - 2);
    const std::string report = AdminCommand(b.server->AdminPort(), "REPORT " + id);
    size_t quoted = 0;
    for (size_t at = report.find("* line "); at != std::string::npos;
         at = report.find("* line ", at + 1))
        ++quoted;
    EXPECT_EQ(quoted, 30u) << report;
    EXPECT_NE(report.find(" site: spam 32\n"), std::string::npos);
    EXPECT_EQ(report.find(" site: spam 2\n"), std::string::npos); // the latest 30 only
}

bool Invite(TTestClient& from, UserId who, ChatId chat) {
    TPacket p;
    ClearPacket(p);
    return from.Send(p, BuildInvite(p, MakeChatAddress(who, chat)), REQ_INVITE);
}

// The members of `chat` that `c` hears joining, until the line is quiet.
std::vector<UserId> JoinedMembers(TTestClient& c, ChatId chat) {
    std::vector<UserId> out;
    TPacket p;
    while (c.WaitFor(MSG_MEMBER_JOINED, p, 500))
        if (ReadMember(p).address.Chat() == chat)
            out.push_back(ReadMember(p).address.User());
    return out;
}

// Lines of `chat` that `c` receives until the line is quiet.
std::vector<std::string> ChatLines(TTestClient& c, ChatId chat) {
    std::vector<std::string> out;
    for (const TPacket& p : c.Drain(500))
        if (p.Type() == MSG_CHAT_LINE && ReadChatLine(p).address.Chat() == chat)
            out.push_back(ReadChatLine(p).text);
    return out;
}

// alice (node a) opens a chat with bob on her site through node b, then
// with dave, who is on another site of node b; carol, on node a too, joins
// through bob's invitation. Every member hears each line once.
// A friend signed in only on the other node shows online, once, whether the
// welcome waits for the other nodes or they answer first.
TEST_F(Cluster, FriendsOnlineOnTheOtherNodeShowOnline) {
    StartBoth();
    TTestClient bob, carol, dave;
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "two.com"));
    ASSERT_TRUE(carol.Connect(a.Port()) && carol.Login("carol", "pw", "one.com"));
    ASSERT_TRUE(dave.Connect(a.Port()) && dave.Login("dave", "pw", "one.com"));
    const UserId bobId = bob.Id(), carolId = carol.Id();
    {
        TTestClient alice;
        ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "one.com"));
        TPacket p;
        for (UserId id : {bobId, carolId}) {
            ClearPacket(p);
            ASSERT_TRUE(alice.Send(p, BuildFriendChange(p, id, FRIEND_ADD), REQ_FRIEND_CHANGE));
        }
        alice.Drain(300);
    }
    carol.Close();
    bool gone = false; // node a has dropped carol once the cluster lists her nowhere
    for (int i = 0; i < SETTLE_MS / 50 && !gone; ++i, std::this_thread::sleep_for(50ms))
        gone = AdminCommand(a.server->AdminPort(), "USERS one.com").find("* carol ") ==
               std::string::npos;
    ASSERT_TRUE(gone);
    std::this_thread::sleep_for(TEST_BEAT * 2);
    // one.com is known here (dave): the welcome starts before the answers;
    // new.com is not: the answers come before the site's snapshot.
    for (const char* site : {"one.com", "new.com"}) {
        TTestClient alice;
        ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", site));
        std::map<UserId, std::vector<uint8_t>> flags;
        for (const TPacket& m : alice.Drain(1000))
            if (m.Type() == MSG_PRESENCE && ReadPresence(m).listFlag != 0)
                flags[ReadPresence(m).user].push_back(ReadPresence(m).listFlag);
        EXPECT_EQ(flags[bobId], std::vector<uint8_t>{2}) << site;
        EXPECT_EQ(flags[carolId], std::vector<uint8_t>{1}) << site;
    }
}

TEST_F(Cluster, PrivateChatsSpanNodes) {
    StartBoth();
    TTestClient alice, bob, carol, dave;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(carol.Connect(a.Port()) && carol.Login("carol", "pw", "other.org"));
    ASSERT_TRUE(dave.Connect(b.Port()) && dave.Login("dave", "pw", "elsewhere.net"));
    ASSERT_TRUE(SeesPresence(alice, "bob"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    alice.Drain(), bob.Drain(), carol.Drain(), dave.Drain();
    ChatId chat = alice.ChatKey() << 8 | 1;

    ASSERT_TRUE(Invite(alice, bob.Id(), chat));
    EXPECT_EQ(JoinedMembers(bob, chat), std::vector<UserId>{alice.Id()});
    EXPECT_EQ(JoinedMembers(alice, chat), std::vector<UserId>{bob.Id()});

    ASSERT_TRUE(Invite(alice, dave.Id(), chat));
    EXPECT_EQ(JoinedMembers(dave, chat), (std::vector<UserId>{alice.Id(), bob.Id()}));
    EXPECT_EQ(JoinedMembers(bob, chat), std::vector<UserId>{dave.Id()});
    EXPECT_EQ(JoinedMembers(alice, chat), std::vector<UserId>{dave.Id()});

    // A member on another node invites one on the chat's first node.
    ASSERT_TRUE(Invite(bob, carol.Id(), chat));
    EXPECT_EQ(JoinedMembers(carol, chat), (std::vector<UserId>{bob.Id(), alice.Id(), dave.Id()}));
    // Inviting a member again does nothing.
    ASSERT_TRUE(Invite(dave, carol.Id(), chat));
    EXPECT_TRUE(JoinedMembers(carol, chat).empty());
    alice.Drain(), bob.Drain(), dave.Drain();

    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(
        dave.Send(p, BuildChatText(p, MakeChatAddress(dave.Id(), chat), "psst"), REQ_CHAT_TEXT));
    for (TTestClient* member : {&alice, &bob, &carol})
        EXPECT_EQ(ChatLines(*member, chat), std::vector<std::string>{"psst"});
    EXPECT_TRUE(ChatLines(dave, chat).empty());

    // bob leaves the chat: the others hear it, and his lines no longer count.
    ClearPacket(p);
    ASSERT_TRUE(bob.Send(p, BuildLeaveChat(p, MakeChatAddress(bob.Id(), chat)), REQ_LEAVE_CHAT));
    for (TTestClient* member : {&alice, &carol, &dave}) {
        ASSERT_TRUE(member->WaitFor(MSG_MEMBER_LEFT, p, SETTLE_MS));
        EXPECT_EQ(ReadMember(p).address, MakeChatAddress(bob.Id(), chat));
    }
    ClearPacket(p);
    ASSERT_TRUE(
        bob.Send(p, BuildChatText(p, MakeChatAddress(bob.Id(), chat), "still?"), REQ_CHAT_TEXT));
    EXPECT_TRUE(ChatLines(alice, chat).empty());

    // dave's window closes: the members on both nodes hear that he left.
    dave.Close();
    for (TTestClient* member : {&alice, &carol}) {
        ASSERT_TRUE(member->WaitFor(MSG_MEMBER_LEFT, p, SETTLE_MS));
        EXPECT_EQ(ReadMember(p).address, MakeChatAddress(dave.Id(), chat));
    }
}

// Node a counts the live nodes once, as it starts; b starts after that.
// Before a has counted b: a search from a reaches dave on b, on a site a
// hears nothing of; bob on b shows on alice's site at once, an invitation
// from a reaches him, and the chat follows.
TEST_F(Cluster, AJustStartedNodesUsersCanBeInvited) {
    server::TServerConfig first = Config("a");
    first.cluster.heartbeat = 60s;
    first.cluster.ttl = 120s;
    ASSERT_TRUE(a.Start(first));
    std::string stats;
    for (int i = 0; i < SETTLE_MS / 50 && stats.find("* nodes 1\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(50ms);
        stats = AdminCommand(a.server->AdminPort(), "STATS");
    }
    ASSERT_NE(stats.find("* nodes 1\n"), std::string::npos) << stats;
    ASSERT_TRUE(b.Start(Config("b")));
    TTestClient alice, bob, dave;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    ASSERT_TRUE(dave.Connect(b.Port()) && dave.Login("dave", "pw", "other.com"));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(alice.Send(p, BuildFindUser(p, "dave"), REQ_FIND_USER));
    ASSERT_TRUE(alice.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_NE(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    ASSERT_TRUE(dave.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_LOOKING_FOR_YOU);

    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(SeesPresence(alice, "bob"));
    alice.Drain(), bob.Drain();
    ChatId chat = alice.ChatKey() << 8 | 1;
    ASSERT_TRUE(Invite(alice, bob.Id(), chat));
    EXPECT_EQ(JoinedMembers(bob, chat), std::vector<UserId>{alice.Id()});
    EXPECT_EQ(JoinedMembers(alice, chat), std::vector<UserId>{bob.Id()});
    ClearPacket(p);
    ASSERT_TRUE(
        bob.Send(p, BuildChatText(p, MakeChatAddress(bob.Id(), chat), "got it"), REQ_CHAT_TEXT));
    EXPECT_EQ(ChatLines(alice, chat), std::vector<std::string>{"got it"});
}

// Users listed on alice's site whose invitation cannot be delivered: one
// that no node holds a session of, one whose node has a key but does not
// listen, one whose node is dead (its stale entry goes). alice hears that each left the
// chat, as she would if they had gone.
TEST_F(Cluster, AnInvitationThatCannotBeDeliveredIsAnsweredAsAGoneMember) {
    ASSERT_TRUE(a.Start(Config("a")));
    TTestClient alice;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    const std::string ghostNode = "00000000000000ad";
    const std::string quietNode = "00000000000000be", deadNode = "00000000000000de";
    const UserId nowhere = 777777, unheard = 888888, stale = 999999;
    ASSERT_EQ(RedisCommand(services.redis, {"SET", "navlet:node:" + quietNode, "1"}), 0);
    const std::string oneSession = cluster::EncodeNodeMessage("", cluster::TWhereRecord{1, 1, 2});
    const std::string staleWhere = "navlet:where:" + std::to_string(stale);
    ASSERT_EQ(RedisCommand(services.redis, {"HSET", "navlet:where:" + std::to_string(unheard),
                                            quietNode, oneSession}),
              1);
    ASSERT_EQ(RedisCommand(services.redis, {"HSET", staleWhere, deadNode, oneSession}), 1);
    for (auto [id, nick] : {std::pair{nowhere, "nowhere"}, {unheard, "unheard"}, {stale, "stale"}})
        ASSERT_GE(
            RedisCommand(services.redis, {"PUBLISH", "navlet:site:example.com",
                                          cluster::EncodeNodeMessage(
                                              ghostNode, cluster::TSiteEntered{{id, 'x', nick}})}),
            1);
    ASSERT_TRUE(SeesPresence(alice, "nowhere"));
    ASSERT_TRUE(SeesPresence(alice, "unheard"));
    ASSERT_TRUE(SeesPresence(alice, "stale"));
    ChatId chat = alice.ChatKey() << 8 | 1;
    for (UserId invitee : {nowhere, unheard, stale}) {
        ASSERT_TRUE(Invite(alice, invitee, chat));
        TPacket p;
        ASSERT_TRUE(alice.WaitFor(MSG_MEMBER_LEFT, p, SETTLE_MS)) << invitee;
        EXPECT_EQ(ReadMember(p).address, MakeChatAddress(invitee, chat));
    }
    long long entries = -1;
    for (int i = 0; i < 20 && entries != 0; ++i, std::this_thread::sleep_for(50ms))
        entries = RedisCommand(services.redis, {"HLEN", staleWhere});
    EXPECT_EQ(entries, 0);
}

// Node a measures on the service's clock, here a manual one. An operator
// command waits for a listener that never answers until the clock has
// passed a second, however long that takes; the lines a keeps for the
// site's newcomers carry the clock's date.
TEST_F(Cluster, TheNodeMeasuresOnTheServicesClock) {
    server::TManualClock clock;
    // The nodes stop before the clock goes, however the test ends: a session
    // that leaves while a node stops still reads the clock.
    struct TStopFirst {
        TNode& a;
        TNode& b;
        ~TStopFirst() {
            b.Stop();
            a.Stop();
        }
    } stopFirst{a, b};
    server::TServerConfig config = Config("a");
    config.clock = &clock;
    ASSERT_TRUE(a.Start(config));
    TTestClient alice;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "dated.com"));
    server::TRedisAddress redis;
    ASSERT_TRUE(server::ParseRedisAddress(services.redis, redis));
    std::unique_ptr<redisContext, void (*)(redisContext*)> silent(
        redisConnect(redis.host.c_str(), redis.port), redisFree);
    ASSERT_TRUE(silent && !silent->err);
    freeReplyObject(redisCommand(silent.get(), "SUBSCRIBE navlet:operator"));

    auto answer = std::async(std::launch::async, [&] {
        return AdminCommand(a.server->AdminPort(), "NOTICE TICKER all hello");
    });
    EXPECT_EQ(answer.wait_for(1200ms), std::future_status::timeout); // past its 1 s timer
    clock.Advance(1000);
    // The next beat sends it; the admin client gives up 3 s after asking.
    EXPECT_EQ(answer.wait_for(1500ms), std::future_status::ready);
    EXPECT_EQ(answer.get(), "OK 1\n");

    ASSERT_TRUE(SayPublic(alice, "dated line"));
    const double said = clock.NowUtcDays();
    std::this_thread::sleep_for(100ms); // the line reaches Redis
    clock.Advance(60000);
    ASSERT_TRUE(b.Start(Config("b")));
    TTestClient bob;
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "dated.com"));
    TPacket p;
    ASSERT_TRUE(bob.WaitFor(MSG_DATED_LINE, p, SETTLE_MS));
    EXPECT_EQ(ReadDatedLine(p).text, "dated line");
    EXPECT_EQ(ReadDatedLine(p).stamp, said);
}

TEST_F(Cluster, KickReachesTheOtherNode) {
    StartBoth();
    TTestClient alice, bob;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "one.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "two.com"));
    EXPECT_EQ(AdminCommand(a.server->AdminPort(), "KICK user:bob"), "OK 1\n");
    EXPECT_EQ(AdminCommand(a.server->AdminPort(), "KICK user:nobody"), "ERR no such user\n");
    EXPECT_TRUE(SeesLine(bob, "Signed out by the operator."));
    EXPECT_TRUE(bob.WaitClosed(SETTLE_MS));
    TPacket p;
    EXPECT_FALSE(alice.WaitFor(MSG_END_SESSION, p, 300));
}

// With a bound of two windows, the third anywhere ends the oldest wherever
// it is.
TEST_F(Cluster, TheWindowBoundHoldsAcrossNodes) {
    auto bounded = [&](const std::string& name) {
        server::TServerConfig config = Config(name);
        config.service.maxSessionsPerAccount = 2;
        return config;
    };
    ASSERT_TRUE(a.Start(bounded("a")));
    ASSERT_TRUE(b.Start(bounded("b")));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    TTestClient w1, w2, w3, w4;
    ASSERT_TRUE(w1.Connect(a.Port()) && w1.Login("alice", "pw", "example.com"));
    std::this_thread::sleep_for(20ms); // distinct sign-in times
    ASSERT_TRUE(w2.Connect(b.Port()) && w2.Login("alice", "pw", "example.com"));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(w3.Connect(b.Port()) && w3.Login("alice", "pw", "example.com"));
    EXPECT_TRUE(SeesLine(w1, "Signed out: too many windows of this account."));
    EXPECT_TRUE(w1.WaitClosed(SETTLE_MS));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(w4.Connect(a.Port()) && w4.Login("alice", "pw", "example.com"));
    EXPECT_TRUE(w2.WaitClosed(SETTLE_MS));
    TPacket p;
    for (TTestClient* stays : {&w3, &w4})
        EXPECT_FALSE(stays->WaitFor(MSG_END_SESSION, p, 300));
}

TEST_F(Cluster, OperatorNoticesReachEveryNode) {
    StartBoth();
    TTestClient alice, bob;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "one.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "two.com"));
    uint16_t admin = a.server->AdminPort();
    EXPECT_EQ(AdminCommand(admin, "NOTICE TICKER all to everybody"), "OK 2\n");
    EXPECT_TRUE(SeesLine(bob, "to everybody"));
    EXPECT_TRUE(SeesLine(alice, "to everybody"));
    // bob is on the other node: the line goes there, and the count says so.
    EXPECT_EQ(AdminCommand(admin, "NOTICE STATUS user:BOB just you"), "OK 1\n");
    EXPECT_TRUE(SeesLine(bob, "just you"));
    EXPECT_EQ(AdminCommand(admin, "NOTICE TICKER site:two.com that site"), "OK 1\n");
    EXPECT_TRUE(SeesLine(bob, "that site"));
    EXPECT_FALSE(SeesLine(alice, "that site", 500));
}

TEST_F(Cluster, BusiestSitesAndStatsCountEveryNode) {
    StartBoth();
    TTestClient alice, bob, carol;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "busy.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "busy.com"));
    ASSERT_TRUE(carol.Connect(b.Port()) && carol.Login("carol", "pw", "quiet.com"));
    std::string sites;
    for (int i = 0; i < SETTLE_MS / 100; ++i) {
        sites = AdminCommand(a.server->AdminPort(), "SITES");
        if (sites == "* busy.com 2\n* quiet.com 1\nOK 2\n")
            break;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(sites, "* busy.com 2\n* quiet.com 1\nOK 2\n");
    std::string stats = AdminCommand(a.server->AdminPort(), "STATS");
    EXPECT_NE(stats.find("* redis up\n* nodes 2\n"), std::string::npos) << stats;

    // alice's second window, through the other node, is still one person there.
    TTestClient aliceAgain;
    ASSERT_TRUE(aliceAgain.Connect(b.Port()) && aliceAgain.Login("alice", "pw", "busy.com"));
    std::this_thread::sleep_for(TEST_BEAT * 3);
    EXPECT_EQ(AdminCommand(b.server->AdminPort(), "SITES"), "* busy.com 2\n* quiet.com 1\nOK 2\n");
    // USERS on either node lists every node's sessions.
    std::string users = AdminCommand(a.server->AdminPort(), "USERS busy.com");
    EXPECT_NE(users.find("OK 3\n"), std::string::npos) << users;
    EXPECT_NE(users.find("* bob "), std::string::npos) << users;
}

void Cluster::KillBobsNode(TTestClient& alice, TTestClient& bob, int ttlSeconds) {
    ASSERT_TRUE(a.Start(Config("a")));
    TProcessNode killed;
    ASSERT_TRUE(StartKillable(killed, ttlSeconds));
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    ASSERT_TRUE(bob.Connect(killed.port) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(SeesPresence(alice, "bob"));
    killed.Kill();
}

TEST_F(Cluster, AKilledNodesUsersLeaveTheOtherNodesSites) {
    TTestClient alice, bob;
    ASSERT_NO_FATAL_FAILURE(KillBobsNode(alice, bob, /*ttlSeconds=*/1));
    // Its key expires after 1 s, the next beat notices: within 1.2 s, and
    // the 4 s allowed here leave room for a loaded machine.
    EXPECT_TRUE(SeesLeft(alice, bob.Id()));
    // And nobody arriving later sees bob.
    TTestClient dave;
    ASSERT_TRUE(dave.Connect(a.Port()) && dave.Login("dave", "pw", "example.com"));
    EXPECT_FALSE(SeesPresence(dave, "bob", 1000));
}

// A node killed before its key expires still lists its users. A call with a
// message for one of them reaches nobody there: the caller hears "not
// online", as for a user offline, and the message waits for the next sign-in.
TEST_F(Cluster, ACallToAKilledNodesUserIsKeptForItsNextSignIn) {
    TTestClient alice, bob;
    ASSERT_NO_FATAL_FAILURE(KillBobsNode(alice, bob, /*ttlSeconds=*/60));
    std::this_thread::sleep_for(TEST_BEAT); // Redis has seen its connections close

    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(alice.Send(p, BuildFindUserWithMessage(p, "bob", "are you there"),
                           REQ_FIND_USER_WITH_MESSAGE));
    ASSERT_TRUE(alice.WaitFor(MSG_SEARCH_ANSWER, p, SETTLE_MS));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);
    TTestClient bobAgain;
    ASSERT_TRUE(bobAgain.Connect(a.Port()) && bobAgain.Login("bob", "pw", "two.com"));
    ASSERT_TRUE(bobAgain.WaitFor(MSG_LOOKING_FOR_YOU, p, SETTLE_MS));
    EXPECT_EQ(ReadLookingForYou(p).message, "are you there");
}

// What the web site's status page says of Redis, as a monitor reads it.
std::string WebStatus(uint16_t port) {
    httplib::Client web("127.0.0.1", port);
    auto res = web.Get("/status");
    return res && res->status == 200 ? res->body : "no answer";
}

// Node a with its web site and node b; alice on a and bob on b see each
// other before Redis goes away.
class RedisOutage : public Cluster {
  protected:
    void SetUp() override {
        Cluster::SetUp();
        if (HasFatalFailure())
            return;
        withWeb = Config("a");
        withWeb.web = "127.0.0.1:0";
        ASSERT_TRUE(a.Start(withWeb));
        ASSERT_TRUE(b.Start(Config("b")));
        ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
        ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
        ASSERT_TRUE(SeesPresence(alice, "bob"));
        ASSERT_TRUE(SeesPresence(bob, "alice"));
    }
    // Alone, node a still serves its own: dave signs in there and is heard,
    // and the node says Redis is down.
    void ExpectNodeServesAlone(const std::string& line) {
        ASSERT_TRUE(dave.Connect(a.Port()) && dave.Login("dave", "pw", "example.com"));
        EXPECT_TRUE(SeesPresence(alice, "dave"));
        ASSERT_TRUE(SayPublic(dave, line));
        EXPECT_TRUE(SeesLine(alice, line));
        EXPECT_NE(AdminCommand(a.server->AdminPort(), "STATS").find("* redis down"),
                  std::string::npos);
        EXPECT_NE(WebStatus(a.server->WebPort()).find("redis down"), std::string::npos);
    }
    // Redis answers again: each node writes its sessions again and they meet.
    void ExpectNodesRejoin(const std::string& line) {
        EXPECT_TRUE(SeesPresence(alice, "bob", 8000));
        EXPECT_TRUE(SeesPresence(bob, "dave", 8000));
        ASSERT_TRUE(SayPublic(bob, line));
        EXPECT_TRUE(SeesLine(dave, line));
        EXPECT_NE(WebStatus(a.server->WebPort()).find("redis up"), std::string::npos);
    }

    server::TServerConfig withWeb;
    TTestClient alice, bob, dave;
};

TEST_F(RedisOutage, NodesServeTheirOwnUsersWhileRedisIsDownAndRejoin) {
    ASSERT_TRUE(services.Control("redis-stop"));
    // The other node's users are unknown now: they leave, no ghosts stay.
    EXPECT_TRUE(SeesLeft(alice, bob.Id()));
    ExpectNodeServesAlone("still here");
    // Redis comes back empty.
    ASSERT_TRUE(services.Control("redis-start"));
    ExpectNodesRejoin("back again");
}

// A Redis that holds its connections and answers nothing: each node notices
// within its reply deadline, as if Redis had stopped, serves its own users
// alone, and both rejoin once it answers again.
TEST_F(RedisOutage, AFrozenRedisIsNoticedWithinTheReplyDeadline) {
    struct TThaw {
        TClusterServices& services;
        ~TThaw() { services.Control("redis-thaw"); }
    } thaw{services};
    ASSERT_TRUE(services.Control("redis-freeze"));
    // Within the deadline of a command sent at the next beat (and a beat of
    // slack for a busy machine), each node gives the other's users up.
    auto noticed = withWeb.cluster.replyDeadline + 2 * TEST_BEAT + 1000ms;
    int noticedMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(noticed).count());
    EXPECT_TRUE(SeesLeft(alice, bob.Id(), noticedMs));
    EXPECT_TRUE(SeesLeft(bob, alice.Id(), noticedMs));
    ExpectNodeServesAlone("frozen out");
    // A search for another node's user is answered from here, not held
    // until Redis answers.
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(alice.Send(p, BuildFindUser(p, "bob"), REQ_FIND_USER));
    ASSERT_TRUE(alice.WaitFor(MSG_SEARCH_ANSWER, p, noticedMs));
    EXPECT_EQ(ReadSearchAnswer(p).result, SEARCH_NOT_ONLINE);

    ASSERT_TRUE(services.Control("redis-thaw"));
    ExpectNodesRejoin("thawed");
}

// The admin port's /readyz status, polled until it is `want` or `waitMs`
// has passed; the last status seen.
int ReadyzWithin(uint16_t adminPort, int want, int waitMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int status = 0;
    do {
        httplib::Client admin("127.0.0.1", adminPort);
        admin.set_read_timeout(2);
        auto r = admin.Get("/readyz");
        status = r ? r->status : 0;
        if (status == want)
            break;
        std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < until);
    return status;
}

// A monitor sees a node not ready within 3 s of losing Redis or PostgreSQL,
// with nobody signing in meanwhile, and ready again once they are back.
TEST_F(Cluster, ReadinessFollowsRedisAndPostgresBothWays) {
    StartBoth();
    const uint16_t admin = a.server->AdminPort();
    ASSERT_EQ(ReadyzWithin(admin, 200, 5000), 200);
    ASSERT_TRUE(services.Control("redis-stop"));
    EXPECT_EQ(ReadyzWithin(admin, 503, 3000), 503);
    ASSERT_TRUE(services.Control("redis-start"));
    EXPECT_EQ(ReadyzWithin(admin, 200, 10000), 200);
    ASSERT_TRUE(services.Control("pg-stop"));
    EXPECT_EQ(ReadyzWithin(admin, 503, 3000), 503);
    ASSERT_TRUE(services.Control("pg-start"));
    EXPECT_EQ(ReadyzWithin(admin, 200, 10000), 200);
}

TEST_F(Cluster, WithoutPostgresSignInsAreRefusedAndChatGoesOn) {
    StartBoth();
    TTestClient alice, bob;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "example.com"));
    ASSERT_TRUE(SeesPresence(alice, "bob"));
    ASSERT_TRUE(services.Control("pg-stop"));
    TTestClient carol;
    ASSERT_TRUE(carol.Connect(a.Port()));
    ASSERT_TRUE(carol.SendLogin("carol", "pw", "example.com"));
    TPacket p;
    ASSERT_TRUE(carol.WaitFor(MSG_END_SESSION, p, 10000));
    EXPECT_TRUE(carol.WaitClosed());
    ASSERT_TRUE(SayPublic(bob, "no database needed"));
    EXPECT_TRUE(SeesLine(alice, "no database needed"));

    ASSERT_TRUE(services.Control("pg-start"));
    TTestClient again;
    ASSERT_TRUE(again.Connect(a.Port()));
    EXPECT_TRUE(again.Login("carol", "pw", "example.com"));
}

// Without the database the web site and the search say that the service is
// briefly unavailable, not that the account cannot be made, the user does
// not exist or is offline.
TEST_F(Cluster, WithoutPostgresTheSiteAndTheSearchSayTheServiceIsBrieflyUnavailable) {
    server::TServerConfig withWeb = Config("a");
    withWeb.web = "127.0.0.1:0";
    ASSERT_TRUE(a.Start(withWeb));
    ASSERT_TRUE(b.Start(Config("b")));
    TTestClient alice, bob;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "one.com"));
    ASSERT_TRUE(bob.Connect(b.Port()) && bob.Login("bob", "pw", "two.com"));
    std::this_thread::sleep_for(TEST_BEAT * 2); // both nodes counted alive
    struct TRestart {
        TClusterServices& services;
        ~TRestart() { services.Control("pg-start"); }
    } restart{services};
    ASSERT_TRUE(services.Control("pg-stop"));
    httplib::Client web("127.0.0.1", a.server->WebPort());
    web.set_read_timeout(10);
    auto signUp =
        web.Post("/newuser.asp",
                 httplib::Params{
                     {"nick", "newbie"}, {"password", "pw"}, {"gender", "f"}, {"language", "1"}});
    std::string profile = "?idLocale=0&idUtente=" + std::to_string(alice.Id());
    auto view = web.Get("/viewprofile.asp" + profile);
    auto form = web.Get("/updateprofile.asp" + profile);
    for (auto* res : {&signUp, &view, &form}) {
        ASSERT_TRUE(*res);
        EXPECT_EQ((*res)->status, 503);
        EXPECT_NE((*res)->body.find("briefly unavailable"), std::string::npos);
    }
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(alice.Send(p, BuildFindUser(p, "bob"), REQ_FIND_USER));
    bool toldUnavailable = false, toldOffline = false;
    for (const TPacket& got : alice.Drain(4000)) {
        if (got.Type() == MSG_CHAT_LINE)
            toldUnavailable |=
                ReadChatLine(got).text.find("briefly unavailable") != std::string::npos;
        if (got.Type() == MSG_SEARCH_ANSWER)
            toldOffline |= ReadSearchAnswer(got).result == SEARCH_NOT_ONLINE;
    }
    EXPECT_TRUE(toldUnavailable);
    EXPECT_FALSE(toldOffline);
}

// A database that holds its connections and answers nothing: sign-ins on
// both nodes are refused within seconds, and work again once it answers.
TEST_F(Cluster, AFrozenPostgresRefusesSignInsWithinSeconds) {
    StartBoth();
    TTestClient alice;
    ASSERT_TRUE(alice.Connect(a.Port()) && alice.Login("alice", "pw", "example.com"));
    struct TThaw {
        TClusterServices& services;
        ~TThaw() { services.Control("pg-thaw"); }
    } thaw{services};
    ASSERT_TRUE(services.Control("pg-freeze"));
    TTestClient carol, dave;
    ASSERT_TRUE(carol.Connect(a.Port()) && carol.SendLogin("carol", "pw", "example.com"));
    ASSERT_TRUE(dave.Connect(b.Port()) && dave.SendLogin("dave", "pw", "example.com"));
    TPacket p;
    EXPECT_TRUE(carol.WaitFor(MSG_END_SESSION, p, 6000));
    EXPECT_TRUE(dave.WaitFor(MSG_END_SESSION, p, 6000));
    ASSERT_TRUE(services.Control("pg-thaw"));
    TTestClient again;
    ASSERT_TRUE(again.Connect(b.Port()));
    EXPECT_TRUE(again.Login("dave", "pw", "example.com"));
}

} // namespace
} // namespace navlet::test
