// A newcomer joins a site more crowded than one output bound's worth of
// presence records, over a real connection. The crowd signs in inside the
// server's own process (quiet sessions on its loop), so the test costs
// sign-ins and fan-out, not thousands of sockets.
#include <sodium.h>

#include <future>
#include <set>

#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

// A session of the crowd that takes whatever it is sent and drops it. It has
// no room for its own welcome's listing, so the crowd costs its arrivals,
// not a listing of everyone before it for each member (which made the test
// quadratic: two minutes under the address sanitizer).
struct TQuietSink final : server::TSessionSink {
    void Deliver(const server::TWireRef&) override {}
    void EndSession(std::string_view) override { ended = true; }
    size_t Room() const override { return 0; }
    bool ended = false;
};

struct TCrowdMember {
    TQuietSink sink;
    server::TClient client{sink};
};

class CrowdedSite : public TServerFixture {
  protected:
    // Long nicks make long records: 7,000 of them are well over 256 KiB.
    static std::string CrowdNick(int i) {
        return "crowdmember" + std::to_string(10000 + i).substr(1);
    }

    // The cheapest hash libsodium makes: thousands of sign-ins must not cost
    // a real password check each.
    void AddCrowdAccounts(int count) {
        std::string error;
        auto store = server::TStore::Open((dataDir / "navlet.db").string(), error);
        ASSERT_TRUE(store) << error;
        char hash[crypto_pwhash_STRBYTES];
        ASSERT_EQ(crypto_pwhash_str(hash, "pw", 2, crypto_pwhash_OPSLIMIT_MIN,
                                    crypto_pwhash_MEMLIMIT_MIN),
                  0);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(store->AddAccountHashed(CrowdNick(i), hash, 'x', 3),
                      server::TAddAccountResult::Added);
    }

    template <class Work> void OnLoop(Work work) {
        std::promise<void> done;
        asio::post(server->Io(), [&] {
            work();
            done.set_value();
        });
        done.get_future().wait();
    }

    size_t SignedInCount() {
        size_t count = 0;
        OnLoop([&] { count = server->Service().SignedInCount(); });
        return count;
    }

    void SignInCrowd(int count) {
        OnLoop([&] {
            for (int i = 0; i < count; ++i) {
                auto& member = *crowd.emplace_back(std::make_unique<TCrowdMember>());
                member.client.address = "127.0.1." + std::to_string(i % 200);
                TLoginRequest login{CrowdNick(i),    "pw",          "1.4.0.0",
                                    "crowd.example", ALL_LANGUAGES, 0};
                server->Service().Login(member.client, login);
            }
        });
        for (int wait = 0; wait < 600 && SignedInCount() < size_t(count); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_EQ(SignedInCount(), size_t(count));
    }

    void TearDown() override {
        if (server)
            OnLoop([&] {
                for (auto& member : crowd)
                    server->Service().Disconnect(member->client);
            });
        TServerFixture::TearDown();
    }

    std::vector<std::unique_ptr<TCrowdMember>> crowd;
};

TEST_F(CrowdedSite, ANewcomerIsWelcomedWithEveryoneOnASiteOfSevenThousand) {
    constexpr int CROWD = 7000;
    AddCrowdAccounts(CROWD);
    AddAccount("newcomer", "npw");
    StartServer();
    SignInCrowd(CROWD);

    TTestClient newcomer;
    ASSERT_TRUE(newcomer.Connect(Port()));
    ASSERT_TRUE(newcomer.Login("newcomer", "npw", "crowd.example"));
    std::set<UserId> listed;
    TPacket p;
    while (newcomer.Next(p, /*timeoutMs=*/5000) && p.Type() != MSG_BANNER) {
        if (p.Type() != MSG_PRESENCE)
            continue;
        TPresenceMsg record = ReadPresence(p);
        EXPECT_TRUE(listed.insert(record.user).second) << record.nick << " listed twice";
    }
    ASSERT_EQ(p.Type(), MSG_BANNER) << "the welcome stopped after " << listed.size();
    EXPECT_EQ(listed.size(), size_t(CROWD));
    EXPECT_FALSE(listed.count(newcomer.Id()));

    // Still signed in: the crowd's departures reach the newcomer.
    OnLoop([&] { server->Service().Disconnect(crowd.front()->client); });
    ASSERT_TRUE(newcomer.WaitFor(MSG_USER_LEFT, p));
}

// Arrivals wait a moment to be written together; a line said at once by the
// newcomer must still come after the newcomer's record, and the record must
// come on its own when nothing else follows.
TEST_F(CrowdedSite, AnArrivalWaitingForCompanyStillComesBeforeTheNewcomersLine) {
    AddAccount("bob", "bpw");
    AddAccount("carol", "cpw");
    AddAccount("dave", "dpw");
    StartServer();
    TTestClient bob, carol, dave;
    ASSERT_TRUE(bob.Connect(Port()) && bob.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(carol.Connect(Port()) && carol.Login("carol", "cpw", "example.com"));
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(
        carol.Send(p, BuildChatText(p, MakeChatAddress(carol.Id(), 0), "hi"), REQ_CHAT_TEXT));
    std::vector<uint8_t> types;
    for (const TPacket& got : bob.Drain())
        if (got.Type() == MSG_PRESENCE || got.Type() == MSG_CHAT_LINE)
            types.push_back(got.Type());
    EXPECT_EQ(types, (std::vector<uint8_t>{MSG_PRESENCE, MSG_CHAT_LINE}));

    ASSERT_TRUE(dave.Connect(Port()) && dave.Login("dave", "dpw", "example.com"));
    ASSERT_TRUE(bob.WaitFor(MSG_PRESENCE, p));
    EXPECT_EQ(ReadPresence(p).nick, "dave");
}

} // namespace
} // namespace navlet::test
