// A public line costs the server's loop a few allocations whatever the size
// of the site: none per receiver, over TCP or WebSocket, also when a turn
// queues more for a receiver than a session's output held last time. The
// loop's allocations are counted through this binary's operator new
// (alloc_counter.h).
#include <gtest/gtest.h>
#include <sodium.h>

#include "tests/server/alloc_counter.h"
#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

constexpr int RECEIVERS = 40; // half of them over WebSocket
constexpr int LINES_PER_TURN = 3;
constexpr int WARM_ROUNDS = 8;
constexpr int ROUNDS = 10;

class FanoutAllocTest : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        config.web = "127.0.0.1:0";
        config.clock = &clock;
        config.rescanMs = 0; // no folder scans on the loop meanwhile
        config.updatesDir.clear();
        config.bannersDir.clear();
        // The manual clock leaps; quiet WebSocket receivers must not be
        // pinged or dropped meanwhile.
        config.limits.wsPingAfterMs = 3600000;
        config.limits.wsIdleLimitMs = 7200000;
    }

    // The cheapest hash: the test is about lines, not Argon2.
    void AddCheapAccount(const std::string& nick) {
        char hash[crypto_pwhash_STRBYTES];
        ASSERT_EQ(crypto_pwhash_str(hash, "pw", 2, crypto_pwhash_OPSLIMIT_MIN,
                                    crypto_pwhash_MEMLIMIT_MIN),
                  0);
        std::string error;
        auto store = server::TStore::Open((dataDir / "navlet.db").string(), error);
        ASSERT_TRUE(store) << error;
        ASSERT_EQ(store->AddAccountHashed(nick, hash, 'x', 3), server::TAddAccountResult::Added);
    }

    // One sender's lines in one write, so that the loop reads them in one
    // turn; returns when every receiver has them all.
    void Round(TTestClient& sender, std::vector<std::unique_ptr<TTestClient>>& receivers,
               int round) {
        std::string wire;
        for (int i = 0; i < LINES_PER_TURN; ++i) {
            TPacket p;
            ClearPacket(p);
            // Long lines: three of them are more than a quiet session's
            // output buffer used to keep between turns.
            std::string text = std::to_string(1000 + round) + "." + std::to_string(i) + " " +
                               std::string(200, 'x');
            int length = BuildChatText(p, MakeChatAddress(0, 0), text);
            EncodePacket(p, length, REQ_CHAT_TEXT, NextKeyOffset());
            wire.append(reinterpret_cast<const char*>(p.bytes), size_t(length));
        }
        clock.Advance(2000); // the sender's chat budget refills
        ASSERT_TRUE(sender.SendRaw(wire.data(), wire.size()));
        for (auto& receiver : receivers)
            for (int i = 0; i < LINES_PER_TURN; ++i) {
                TPacket line;
                ASSERT_TRUE(receiver->WaitFor(MSG_CHAT_LINE, line, 10000));
            }
    }

    server::TManualClock clock;
};

TEST_F(FanoutAllocTest, APublicLineCostsNoAllocationPerReceiver) {
    ASSERT_GE(sodium_init(), 0);
    AddCheapAccount("sender");
    for (int i = 0; i < RECEIVERS; ++i)
        AddCheapAccount("r" + std::to_string(i));
    StartServer();
    OnLoop([] {
        CountAllocationsOnThisThread();
        return 0;
    });

    TTestClient sender;
    ASSERT_TRUE(sender.Connect(server->SessionPort()));
    ASSERT_TRUE(sender.Login("sender", "pw", "fanout.example/a"));
    std::vector<std::unique_ptr<TTestClient>> receivers;
    for (int i = 0; i < RECEIVERS; ++i) {
        auto& receiver = *receivers.emplace_back(std::make_unique<TTestClient>());
        bool ws = i % 2 == 1;
        if (ws) {
            TTransport transport;
            transport.webSocket = true;
            receiver.UseTransport(transport);
        }
        ASSERT_TRUE(receiver.Connect(ws ? server->WebPort() : server->SessionPort()));
        ASSERT_TRUE(receiver.Login("r" + std::to_string(i), "pw", "fanout.example/b"));
    }
    for (auto& receiver : receivers)
        receiver->Drain(50); // the later arrivals' records

    // The first turns fill the site's recent lines and the spare buffers.
    for (int round = 0; round < WARM_ROUNDS; ++round)
        Round(sender, receivers, round);
    uint64_t before = CountedAllocations();
    for (int round = 0; round < ROUNDS; ++round)
        Round(sender, receivers, WARM_ROUNDS + round);
    uint64_t allocations = CountedAllocations() - before;

    // A line is read into a string, encoded once into a shared buffer and
    // kept among the site's recent lines: a handful per line, where one
    // allocation per receiver would be RECEIVERS per line.
    const uint64_t lines = ROUNDS * LINES_PER_TURN;
    EXPECT_LE(allocations, lines * 3) << allocations << " allocations for " << lines << " lines to "
                                      << RECEIVERS << " receivers each";
}

} // namespace
} // namespace navlet::test
