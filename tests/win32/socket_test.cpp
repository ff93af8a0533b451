// The Win32 client socket against a loopback peer in the same thread: the
// notifications come through the kit's message window, as in the browser.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <cstring>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"

namespace navlet::win32 {
namespace {

using test::PumpFor;
using test::PumpUntil;

constexpr int WSAECONNREFUSED_CODE = 10061;

// A listening socket on 127.0.0.1 with an ephemeral port, and the one
// connection it accepts, both blocking and driven by the test.
class TLoopbackPeer {
  public:
    TLoopbackPeer() {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
        int size = sizeof at;
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size);
        port = ntohs(at.sin_port);
        listen(listener, 1);
    }
    ~TLoopbackPeer() {
        CloseConnection();
        if (listener != INVALID_SOCKET)
            closesocket(listener);
    }
    int Port() const { return port; }
    // A connection waits to be accepted.
    bool Pending() const {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval now{0, 0};
        return select(0, &readable, nullptr, nullptr, &now) == 1;
    }
    // Keeps the client's messages flowing until the connection is there.
    bool Accept() {
        const bool pending = PumpUntil([&] { return Pending(); });
        if (!pending)
            return false;
        connection = accept(listener, nullptr, nullptr);
        return connection != INVALID_SOCKET;
    }
    void Send(const std::string& bytes) { send(connection, bytes.data(), int(bytes.size()), 0); }
    // Reads until `count` bytes came or the peer closed; blocking.
    std::string ReceiveAll(size_t count) {
        std::string all;
        char buffer[4096];
        while (all.size() < count) {
            const int n = recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            all.append(buffer, size_t(n));
        }
        return all;
    }
    // A receive window small enough that the system soon stops taking more,
    // large enough that the transfer stays quick.
    void ShrinkWindow() {
        const int size = 64 * 1024;
        setsockopt(connection, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
                   sizeof size);
    }
    std::string ReceiveSome() {
        char buffer[512];
        const int n = recv(connection, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }
    void CloseConnection() {
        if (connection == INVALID_SOCKET)
            return;
        shutdown(connection, SD_BOTH);
        closesocket(connection);
        connection = INVALID_SOCKET;
    }
    void StopListening() {
        closesocket(listener);
        listener = INVALID_SOCKET;
    }

  private:
    SOCKET listener = INVALID_SOCKET;
    SOCKET connection = INVALID_SOCKET;
    int port = 0;
};

// Records every notification of one socket.
struct TRecorder {
    explicit TRecorder(TClientSocket& s) : socket(s) {
        s.OnConnecting = [this](TClientSocket&) { events.push_back("connecting"); };
        s.OnConnect = [this](TClientSocket&) { events.push_back("connect"); };
        s.OnDisconnect = [this](TClientSocket&) { events.push_back("disconnect"); };
        s.OnError = [this](TClientSocket&, TErrorEvent event, int& code) {
            events.push_back("error");
            errorEvent = event;
            errorCode = code;
        };
        s.OnRead = [this](TClientSocket& from) {
            ++reads;
            uint8_t buffer[64];
            const int n = from.Receive(buffer, readSize);
            if (n > 0)
                received.append(reinterpret_cast<const char*>(buffer), size_t(n));
        };
    }
    int Count(const std::string& name) const {
        return int(std::count(events.begin(), events.end(), name));
    }

    TClientSocket& socket;
    std::vector<std::string> events;
    std::string received;
    int reads = 0;
    int readSize = 64;
    TErrorEvent errorEvent = TErrorEvent::eeGeneral;
    int errorCode = 0;
};

class Win32SocketTest : public ::testing::Test {
  protected:
    // Opens the kit's socket to the peer and accepts the connection.
    void Connect() {
        socket->SetEndpoint("127.0.0.1", peer.Port());
        socket->Open();
        ASSERT_TRUE(peer.Accept());
        ASSERT_TRUE(PumpUntil([&] { return socket->Connected(); }));
    }

    TWin32Kit kit;
    TLoopbackPeer peer;
    std::unique_ptr<TClientSocket> socket = kit.sockets.CreateClientSocket();
    TRecorder record{*socket};
};

TEST_F(Win32SocketTest, ConnectsAndExchangesBytesWithEachNotificationOnce) {
    Connect();
    PumpFor(100);
    EXPECT_EQ(record.events, (std::vector<std::string>{"connecting", "connect"}));

    const uint8_t hello[] = {'h', 'i'};
    EXPECT_EQ(socket->Send(hello, 2), 2);
    EXPECT_EQ(peer.ReceiveSome(), "hi");

    // One packet that arrives in two pieces is read in two notifications.
    peer.Send("0123456789");
    ASSERT_TRUE(PumpUntil([&] { return record.received.size() == 10; }));
    peer.Send("abcdef");
    ASSERT_TRUE(PumpUntil([&] { return record.received.size() == 16; }));
    PumpFor(100);
    EXPECT_EQ(record.received, "0123456789abcdef");
    EXPECT_EQ(record.reads, 2);
}

TEST_F(Win32SocketTest, BlocksTheSystemCannotTakeAtOnceGoWholeAndInOrder) {
    Connect();
    peer.ShrinkWindow();
    // Numbered blocks of a packet's size until the socket says it would block.
    constexpr int MAX_BLOCKS = 40000;
    constexpr int BLOCK = 344;
    std::string sent;
    int blocks = 0;
    for (; blocks < MAX_BLOCKS; ++blocks) {
        std::string block(BLOCK, char('a' + blocks % 26));
        std::memcpy(block.data(), &blocks, sizeof blocks);
        const int taken =
            socket->Send(reinterpret_cast<const uint8_t*>(block.data()), int(block.size()));
        ASSERT_TRUE(taken == 0 || taken == BLOCK) << "block " << blocks << " cut at " << taken;
        if (taken == 0)
            break;
        sent += block;
    }
    EXPECT_LT(blocks, MAX_BLOCKS) << "the backlog is bounded";
    std::string received;
    std::thread reader([&] { received = peer.ReceiveAll(sent.size()); });
    EXPECT_TRUE(PumpUntil([&] { return received.size() == sent.size(); }, 30000));
    peer.CloseConnection(); // ends the reader if bytes are missing
    reader.join();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "the bytes arrive in the order sent";
    EXPECT_EQ(record.Count("error"), 0);
}

TEST_F(Win32SocketTest, NotifiesAgainWhileUnreadBytesRemain) {
    Connect();
    record.readSize = 4;
    peer.Send(std::string(40, 'x'));
    ASSERT_TRUE(PumpUntil([&] { return record.received.size() == 40; }));
    PumpFor(150);
    EXPECT_EQ(record.reads, 10); // one notification per read, none idle

    // A handler that leaves the bytes alone is asked again.
    int idleReads = 0;
    socket->OnRead = [&](TClientSocket& from) {
        if (++idleReads < 3)
            return;
        uint8_t buffer[16];
        from.Receive(buffer, sizeof buffer);
    };
    peer.Send("late");
    ASSERT_TRUE(PumpUntil([&] { return idleReads >= 3; }));
    PumpFor(150);
    EXPECT_EQ(idleReads, 3);
}

TEST_F(Win32SocketTest, PeerClosingIsOneDisconnectAfterTheLastBytes) {
    Connect();
    peer.Send("bye!");
    peer.CloseConnection();
    ASSERT_TRUE(PumpUntil([&] { return !socket->Active(); }));
    PumpFor(100);
    EXPECT_EQ(record.received, "bye!");
    EXPECT_EQ(record.Count("disconnect"), 1);
    EXPECT_EQ(record.Count("error"), 0);
    EXPECT_EQ(kit.sockets.LiveCount(), 0u);
}

TEST_F(Win32SocketTest, RefusedPortIsOneConnectErrorThenOneDisconnect) {
    const int port = peer.Port();
    peer.StopListening();
    socket->SetEndpoint("127.0.0.1", port);
    socket->Open();
    ASSERT_TRUE(PumpUntil([&] { return !socket->Active(); }, 10000));
    PumpFor(100);
    EXPECT_EQ(record.events, (std::vector<std::string>{"connecting", "error", "disconnect"}));
    EXPECT_EQ(record.errorEvent, TErrorEvent::eeConnect);
    EXPECT_EQ(record.errorCode, WSAECONNREFUSED_CODE);
    EXPECT_EQ(kit.sockets.LiveCount(), 0u);
}

TEST_F(Win32SocketTest, AnAddressThatAsksForTlsIsRefusedWithoutConnecting) {
    socket->SetEndpoint("127.0.0.1", peer.Port(), /*useTls=*/true);
    socket->Open();
    EXPECT_EQ(record.events, std::vector<std::string>{"connecting"}) << "not inside Open";
    ASSERT_TRUE(PumpUntil([&] { return !socket->Active(); }));
    PumpFor(100);
    EXPECT_EQ(record.events, (std::vector<std::string>{"connecting", "error", "disconnect"}));
    EXPECT_EQ(record.errorEvent, TErrorEvent::eeSecurity);
    EXPECT_NE(socket->SecurityFault().find("TLS"), std::string::npos);
    EXPECT_FALSE(peer.Pending()) << "the session must not go out in clear";
}

TEST_F(Win32SocketTest, ErrorHandledByTheBarKeepsTheAttemptAlive) {
    const int port = peer.Port();
    peer.StopListening();
    socket->OnError = [&](TClientSocket&, TErrorEvent, int& code) {
        record.events.push_back("error");
        code = 0;
    };
    socket->SetEndpoint("127.0.0.1", port);
    socket->Open();
    ASSERT_TRUE(PumpUntil([&] { return record.Count("error") == 1; }, 10000));
    EXPECT_TRUE(socket->Active()); // the bar closes it when it chooses
    socket->Close();
    EXPECT_EQ(record.Count("disconnect"), 1);
}

TEST_F(Win32SocketTest, CloseByTheBarNotifiesBeforeReturningAndSilencesTheRest) {
    Connect();
    peer.Send("queued");
    socket->Close();
    EXPECT_EQ(record.Count("disconnect"), 1);
    EXPECT_FALSE(socket->Active());
    PumpFor(150);
    EXPECT_EQ(record.reads, 0);
    EXPECT_EQ(record.Count("disconnect"), 1);
    socket->Close(); // closing an inactive socket does nothing
    EXPECT_EQ(record.Count("disconnect"), 1);
    EXPECT_EQ(kit.sockets.LiveCount(), 0u);
}

TEST_F(Win32SocketTest, ReopensAfterACloseAndLooksUpHostNames) {
    Connect();
    socket->Close();
    socket->SetEndpoint("localhost", peer.Port());
    socket->Open();
    peer.CloseConnection();
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(PumpUntil([&] { return socket->Connected(); }));
    EXPECT_EQ(record.Count("connect"), 2);
}

} // namespace
} // namespace navlet::win32
