// A public line costs the server's loop a few allocations whatever the size
// of the site: none per receiver, over TCP or WebSocket, also when a turn
// queues more for a receiver than a session's output held last time. The
// loop's allocations are counted through this binary's operator new
// (alloc_counter.h).
#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/server/alloc_counter.h"
#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

constexpr int RECEIVERS = 40; // half of them over WebSocket
constexpr int LINES_PER_TURN = 3;
// Enough lines to fill the site's recent lines and the longer ring it keeps
// for reports (100 lines): a full ring reuses its slots.
constexpr int WARM_ROUNDS = 34;
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

    // The sender's lines in one write, so that the loop reads them in one
    // turn; returns when every receiver has them all.
    void SignInSite();
    // Lines of one turn: three long ones are more than a session keeps
    // between turns, one short one is less.
    enum class TTurn { Long, Short };
    // One round; the allocations the loop made meanwhile.
    uint64_t CountedRound(TTurn turn = TTurn::Long);
    // Runs the session server's sweep `count` times.
    void Sweeps(int count);

    void Round(TTurn turn = TTurn::Long) {
        int round = rounds++;
        const int lines = turn == TTurn::Long ? LINES_PER_TURN : 1;
        const size_t length = turn == TTurn::Long ? 200 : 20;
        std::string wire;
        for (int i = 0; i < lines; ++i) {
            TPacket p;
            ClearPacket(p);
            std::string text = std::to_string(1000 + round) + "." + std::to_string(i) + " " +
                               std::string(length, 'x');
            int length = BuildChatText(p, MakeChatAddress(0, 0), text);
            EncodePacket(p, length, REQ_CHAT_TEXT, NextKeyOffset());
            wire.append(reinterpret_cast<const char*>(p.bytes), size_t(length));
        }
        clock.Advance(2000); // the sender's chat budget refills
        ASSERT_TRUE(sender.SendRaw(wire.data(), wire.size()));
        for (auto& receiver : receivers)
            for (int i = 0; i < lines; ++i) {
                TPacket line;
                ASSERT_TRUE(receiver->WaitFor(MSG_CHAT_LINE, line, 10000));
            }
    }

    server::TManualClock clock;
    TTestClient sender;
    std::vector<std::unique_ptr<TTestClient>> receivers;
    int rounds = 0;
};

// The sender and RECEIVERS users on one site, and a few rounds of lines
// that fill the site's recent lines and the sessions' buffers.
void FanoutAllocTest::SignInSite() {
    ASSERT_GE(sodium_init(), 0);
    AddCheapAccount("sender");
    for (int i = 0; i < RECEIVERS; ++i)
        AddCheapAccount("r" + std::to_string(i));
    StartServer();
    OnLoop([] {
        CountAllocationsOnThisThread();
        return 0;
    });
    ASSERT_TRUE(sender.Connect(server->SessionPort()));
    ASSERT_TRUE(sender.Login("sender", "pw", "fanout.example/a"));
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
    for (int round = 0; round < WARM_ROUNDS; ++round)
        Round();
}

uint64_t FanoutAllocTest::CountedRound(TTurn turn) {
    uint64_t before = CountedAllocations();
    Round(turn);
    return CountedAllocations() - before;
}

void FanoutAllocTest::Sweeps(int count) {
    for (int i = 0; i < count; ++i)
        OnLoop([this] {
            server->Sessions().Sweep();
            return 0;
        });
}

TEST_F(FanoutAllocTest, LinesToABusySiteCostNoAllocationPerReceiver) {
    ASSERT_NO_FATAL_FAILURE(SignInSite());
    std::vector<uint64_t> rounds;
    for (int round = 0; round < ROUNDS; ++round)
        rounds.push_back(CountedRound());
    // A line is read into a string (blanked in place) and encoded once into
    // a shared buffer; the site's recent lines reuse the oldest one's room:
    // two per line and one to spare, where one allocation per receiver would
    // be RECEIVERS per round. (The median round: a stall of the machine past
    // two sweeps may free the buffers.)
    std::sort(rounds.begin(), rounds.end());
    EXPECT_LE(rounds[ROUNDS / 2], uint64_t(LINES_PER_TURN * 2 + 1))
        << "allocations per round of " << LINES_PER_TURN << " lines to " << RECEIVERS
        << " receivers: median " << rounds[ROUNDS / 2] << ", most " << rounds.back();
}

// A short turn after a long one leaves each receiver holding a big spare;
// it must go back to the spares for the next long turn, not to the heap
// (the long turn then grew every receiver's buffer from nothing anew).
TEST_F(FanoutAllocTest, LongAndShortTurnsInTurnCostNoAllocationPerReceiver) {
    ASSERT_NO_FATAL_FAILURE(SignInSite());
    std::vector<uint64_t> rounds;
    for (int round = 0; round < ROUNDS; ++round) {
        rounds.push_back(CountedRound(TTurn::Short));
        rounds.push_back(CountedRound(TTurn::Long));
    }
    std::sort(rounds.begin(), rounds.end());
    EXPECT_LE(rounds[rounds.size() / 2], uint64_t(LINES_PER_TURN * 2 + 1))
        << "allocations per round to " << RECEIVERS << " receivers: median "
        << rounds[rounds.size() / 2] << ", most " << rounds.back();
}

TEST_F(FanoutAllocTest, AQuietSessionHoldsNoOutputBuffer) {
    ASSERT_NO_FATAL_FAILURE(SignInSite());
    for (int round = 0; round < 3; ++round)
        Round(TTurn::Short); // each receiver keeps a small buffer between turns
    // Quiet for a sweep, a session holds no output buffer (nor are the long
    // turns' spares kept): the next line allocates them anew.
    Sweeps(3);
    EXPECT_GE(CountedRound(TTurn::Short), uint64_t(RECEIVERS));
}

} // namespace
} // namespace navlet::test
