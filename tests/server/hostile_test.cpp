// Broken, hostile and silent peers close their own connection only. The
// server's time stands still unless a test moves it, so rates and deadlines
// are checked to the millisecond.
#include "server/core/clock.h"
#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class Hostile : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        AddAccount("alice", "apw");
        AddAccount("bob", "bpw");
        AddAccount("mallory", "mpw");
        config.limits.maxSigningInPerAddress = 6;
        config.clock = &clock;
        StartServer();
        ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
        ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
        a.Drain(), b.Drain();
    }

    // alice's line still reaches bob.
    void ExpectSessionsServed(const std::string& text) {
        TPacket p;
        ClearPacket(p);
        ASSERT_TRUE(a.Send(p, BuildChatText(p, MakeChatAddress(a.Id(), 0), text), REQ_CHAT_TEXT));
        ASSERT_TRUE(b.WaitFor(MSG_CHAT_LINE, p));
        EXPECT_EQ(ReadChatLine(p).text, text);
    }

    // Chat lines from `sender` that reach b.
    size_t LinesReachingB(TTestClient& sender, int count) {
        TPacket p;
        for (int i = 0; i < count; ++i) {
            ClearPacket(p);
            EXPECT_TRUE(sender.Send(p, BuildChatText(p, MakeChatAddress(sender.Id(), 0), "spam"),
                                    REQ_CHAT_TEXT));
        }
        size_t received = 0;
        for (const TPacket& line : b.Drain(300))
            received += line.Type() == MSG_CHAT_LINE;
        return received;
    }

    server::TManualClock clock;
    TTestClient a, b;
};

TEST_F(Hostile, MalformedFramesCloseOnlyTheirConnection) {
    struct Frame {
        const char* what;
        uint16_t length;
        uint8_t type;
    } frames[] = {{"length below the header", 10, REQ_LOGIN},
                  {"length above 344", 400, REQ_LOGIN},
                  {"a request before the login", 20, REQ_LANGUAGE_FILTER}};
    for (const Frame& f : frames) {
        TTestClient bad;
        ASSERT_TRUE(bad.Connect(Port()));
        TPacket p;
        ClearPacket(p);
        EncodePacket(p, 20, f.type, 0);
        p.PutU16(OFF_LENGTH, f.length); // the declared length lies
        ASSERT_TRUE(bad.SendRaw(p.bytes, 20));
        EXPECT_TRUE(bad.WaitClosed()) << f.what;
    }
    ExpectSessionsServed("still here");
}

TEST_F(Hostile, ABadChecksumDropsThatPacketOnly) {
    TPacket p;
    ClearPacket(p);
    int length = BuildChatText(p, MakeChatAddress(a.Id(), 0), "tampered");
    EncodePacket(p, length, REQ_CHAT_TEXT, 5);
    p.bytes[40] ^= 0x55;
    ASSERT_TRUE(a.SendRaw(p.bytes, size_t(length)));
    ExpectSessionsServed("clean");
}

TEST_F(Hostile, ChatFloodsAreCutToTheBurstAndTheRate) {
    TTestClient m;
    ASSERT_TRUE(m.Connect(Port()) && m.Login("mallory", "mpw", "example.com"));
    a.Drain(), b.Drain();
    EXPECT_EQ(LinesReachingB(m, 100), size_t(config.service.chatBurst));
    clock.Advance(1000);
    EXPECT_EQ(LinesReachingB(m, 10), size_t(config.service.chatPerSecond));
    ExpectSessionsServed("after the flood");
}

TEST_F(Hostile, RequestsPastTheBurstEndTheSessionWithItsReason) {
    TTestClient m;
    ASSERT_TRUE(m.Connect(Port()) && m.Login("mallory", "mpw", "example.com"));
    a.Drain(), b.Drain();
    TPacket p;
    auto filter = [&] {
        ClearPacket(p);
        return m.Send(p, BuildLanguageFilter(p, ALL_LANGUAGES), REQ_LANGUAGE_FILTER);
    };
    for (int i = 1; i < int(config.limits.requestBurst); ++i)
        ASSERT_TRUE(filter());
    EXPECT_EQ(LinesReachingB(m, 1), 1u); // the burst's last request
    // A token comes back after 1/200 s.
    clock.Advance(int64_t(1000 / config.limits.requestsPerSecond));
    EXPECT_EQ(LinesReachingB(m, 1), 1u);
    // One past any bar's pace ends the session, with the reason for a bar
    // that merely went wrong.
    m.Drain();
    ASSERT_TRUE(filter());
    ASSERT_TRUE(m.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "Signed out: too many requests.");
    ASSERT_TRUE(m.WaitFor(MSG_END_SESSION, p));
    EXPECT_TRUE(m.WaitClosed());
    ExpectSessionsServed("after the flood");
}

TEST_F(Hostile, HalfOpenAndSilentConnectionsMissTheSignInDeadline) {
    TTestClient half, silent;
    ASSERT_TRUE(half.Connect(Port()) && silent.Connect(Port()));
    TPacket p;
    ClearPacket(p);
    int length = BuildLogin(p, "alice", "apw", "1.4.0.0", "example.com", 0, 0);
    EncodePacket(p, length, REQ_LOGIN, 1);
    ASSERT_TRUE(half.SendRaw(p.bytes, 30)); // half a login, never finished
    ASSERT_TRUE(WaitForConnections(4));
    ExpectSessionsServed("meanwhile");
    clock.Advance(config.limits.signInDeadlineMs);
    OnLoop([this] { server->Sessions().Sweep(); });
    EXPECT_EQ(ConnectionCount(), 4u); // at the deadline, not past it
    clock.Advance(1);
    OnLoop([this] { server->Sessions().Sweep(); });
    EXPECT_TRUE(half.WaitClosed(500)); // not the next second's sweep
    EXPECT_TRUE(silent.WaitClosed(500));
    ExpectSessionsServed("afterwards");
}

TEST_F(Hostile, UnsignedConnectionsPerAddressAreBounded) {
    std::vector<std::unique_ptr<TTestClient>> waiting;
    for (int i = 0; i < 6; ++i) {
        waiting.push_back(std::make_unique<TTestClient>());
        ASSERT_TRUE(waiting.back()->Connect(Port()));
    }
    ASSERT_TRUE(WaitForConnections(2 + 6));
    TTestClient extra;
    if (extra.OverWebSocket()) {
        EXPECT_FALSE(extra.Connect(Port())); // the upgrade is refused
    } else {
        ASSERT_TRUE(extra.Connect(Port())); // the kernel accepts; the server closes
        EXPECT_TRUE(extra.WaitClosed(1000));
    }
    EXPECT_EQ(ConnectionCount(), 2u + 6u);
    ExpectSessionsServed("bounded");
}

// A peer that stops reading is dropped once its queue passes the bound;
// the others keep being served.
TEST_F(Hostile, ASlowReaderIsDroppedAtTheOutputBound) {
    TTestClient slow;
    ASSERT_TRUE(slow.Connect(Port(), /*receiveBuffer=*/4096));
    ASSERT_TRUE(slow.Login("mallory", "mpw", "slow.example"));
    std::string notice = "NOTICE CONSOLE user:mallory " + std::string(300, 'n') + "\n";
    std::string batch;
    for (int i = 0; i < 200; ++i)
        batch += notice;
    bool gone = false;
    int round = 0;
    for (; round < 40 && !gone; ++round) { // at most 8,000 notices
        ASSERT_EQ(AdminBatch(server->AdminPort(), batch, 200), 200);
        gone = Admin("USERS slow.example") == "OK 0\n";
    }
    EXPECT_TRUE(gone);
    EXPECT_GE(round, 3); // ~256 KiB queued and the socket's buffers full first
    ExpectSessionsServed("not slowed down");
}

// Lines that arrive together (a crowded site all talking at once) may pass
// the bound within one turn, before the turn's flush offered any of them to
// the kernel: a reader with room is not slow and stays.
class Burst : public TServerFixture {};

TEST_F(Burst, AReaderWithRoomOutlivesABurstPastTheOutputBound) {
    AddAccount("alice", "apw");
    AddAccount("bob", "bpw");
    config.limits.maxPendingOutput = 2048;
    StartServer();
    TTestClient a, b;
    ASSERT_TRUE(a.Connect(Port()) && a.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(b.Connect(Port()) && b.Login("bob", "bpw", "example.com"));
    a.Drain(), b.Drain();

    // Ten lines of 200 bytes in one write: one read, one turn, ~2.3 KB for bob.
    std::string burst;
    for (int i = 0; i < 10; ++i) {
        TPacket p;
        ClearPacket(p);
        std::string text = std::to_string(i) + std::string(199, 'x');
        int length = BuildChatText(p, MakeChatAddress(a.Id(), 0), text);
        EncodePacket(p, length, REQ_CHAT_TEXT, NextKeyOffset());
        burst.append(reinterpret_cast<const char*>(p.bytes), size_t(length));
    }
    ASSERT_TRUE(a.SendRaw(burst.data(), burst.size()));
    size_t lines = 0;
    for (const TPacket& packet : b.Drain(500))
        lines += packet.Type() == MSG_CHAT_LINE;
    EXPECT_EQ(lines, 10u);
    EXPECT_NE(Admin("USERS example.com").find("OK 2\n"), std::string::npos);
}

} // namespace
} // namespace navlet::test
