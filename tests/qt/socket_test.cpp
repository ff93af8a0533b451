// The Qt socket against a local QTcpServer: the five notifications in their
// order, reads that leave bytes behind are notified again, and packets that
// TCP splits or merges reach the bar whole through its assembler.
#include <algorithm>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "client/qt/kit/qt_socket.h"
#include "protocol/assembler.h"

namespace navlet::qt {
namespace {

// Runs the event loop until `done` or 5 s.
bool Spin(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

class TSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        socket.SetEndpoint("127.0.0.1", server.serverPort());
        socket.OnConnecting = [this](TClientSocket&) { events.push_back("connecting"); };
        socket.OnConnect = [this](TClientSocket&) { events.push_back("connect"); };
        socket.OnDisconnect = [this](TClientSocket&) { events.push_back("disconnect"); };
        socket.OnError = [this](TClientSocket&, TErrorEvent e, int& code) {
            events.push_back("error");
            errorEvent = e;
            errorCode = code;
        };
    }

    QTcpSocket* Accept() {
        socket.Open();
        if (!Spin([&] { return server.hasPendingConnections() && socket.Connected(); }))
            return nullptr;
        return server.nextPendingConnection();
    }

    // A packet as the server sends it: header completed, payload scrambled.
    static QByteArray Packet(uint8_t type, uint8_t fill, int length) {
        TPacket p;
        ClearPacket(p);
        for (int i = HEADER_SIZE; i < length; ++i)
            p.bytes[i] = fill;
        EncodePacket(p, length, type, /*keyOffset=*/uint16_t(fill));
        return QByteArray(reinterpret_cast<const char*>(p.bytes), length);
    }

    QTcpServer server;
    TQtClientSocket socket;
    std::vector<std::string> events;
    TErrorEvent errorEvent = TErrorEvent::eeGeneral;
    int errorCode = 0;
};

TEST_F(TSocketTest, ConnectsSendsAndClosesWithItsNotifications) {
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"connecting", "connect"}));
    const uint8_t hello[] = {1, 2, 3, 4};
    EXPECT_EQ(socket.Send(hello, 4), 4);
    ASSERT_TRUE(Spin([&] { return peer->bytesAvailable() >= 4; }));
    EXPECT_EQ(peer->readAll(), QByteArray("\x01\x02\x03\x04", 4));

    socket.Close();
    EXPECT_EQ(events.back(), "disconnect") << "told before Close returns";
    EXPECT_FALSE(socket.Active());
    socket.Close();
    EXPECT_EQ(std::count(events.begin(), events.end(), "disconnect"), 1);
    EXPECT_EQ(socket.Send(hello, 4), 0) << "nothing is sent on a closed socket";
}

TEST_F(TSocketTest, UnreadBytesAreNotifiedAgain) {
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    QByteArray got;
    int notifications = 0;
    // A reader that takes five bytes per notification, as a careful one may.
    socket.OnRead = [&](TClientSocket& s) {
        ++notifications;
        uint8_t buffer[5];
        const int n = s.Receive(buffer, sizeof buffer);
        got.append(reinterpret_cast<const char*>(buffer), n);
    };
    QByteArray sent;
    for (int i = 0; i < 100; ++i)
        sent.append(char(i));
    peer->write(sent);
    ASSERT_TRUE(Spin([&] { return got.size() == sent.size(); }));
    EXPECT_EQ(got, sent);
    EXPECT_GE(notifications, 20);
}

TEST_F(TSocketTest, SplitAndMergedPacketsReachTheBarWhole) {
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    TPacketAssembler assembler;
    std::vector<std::pair<uint8_t, uint8_t>> packets; // type, first payload byte
    socket.OnRead = [&](TClientSocket& s) {
        uint8_t buffer[MAX_PACKET];
        const int n = s.Receive(buffer, sizeof buffer);
        size_t at = 0;
        while (at < size_t(n)) {
            size_t used = 0;
            TPacket p;
            if (assembler.Next(buffer + at, size_t(n) - at, used, p) == TAssembleResult::Packet)
                packets.emplace_back(p.bytes[2], p.bytes[HEADER_SIZE]);
            at += used;
        }
    };
    // Two packets in one write, then one packet in three writes with pauses.
    peer->write(Packet(5, 0x11, 40) + Packet(2, 0x22, MAX_PACKET));
    peer->flush();
    const QByteArray split = Packet(9, 0x33, 100);
    peer->write(split.left(7)); // not even the whole header
    peer->flush();
    ASSERT_TRUE(Spin([&] { return packets.size() == 2; }));
    peer->write(split.mid(7, 53));
    peer->flush();
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < 50)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(packets.size(), 2u) << "no packet before its last byte";
    peer->write(split.mid(60));
    ASSERT_TRUE(Spin([&] { return packets.size() == 3; }));
    EXPECT_EQ(packets[0].second, 0x11);
    EXPECT_EQ(packets[1].second, 0x22);
    EXPECT_EQ(packets[2].second, 0x33);
    EXPECT_EQ(assembler.Pending(), 0);
}

TEST_F(TSocketTest, BytesSentJustBeforeThePeerClosesAreReadFirst) {
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    QByteArray got;
    socket.OnRead = [&](TClientSocket& s) {
        uint8_t buffer[3];
        const int n = s.Receive(buffer, sizeof buffer);
        got.append(reinterpret_cast<const char*>(buffer), n);
        events.push_back("read");
    };
    peer->write("last words");
    peer->disconnectFromHost();
    ASSERT_TRUE(Spin([&] { return !socket.Active(); }));
    EXPECT_EQ(got, QByteArray("last words"));
    EXPECT_EQ(events.back(), "disconnect");
    EXPECT_EQ(std::count(events.begin(), events.end(), "error"), 0)
        << "an orderly close is no error";
}

// The peer resets the connection while a request waits to leave: the bar
// hears of a failed send, not of an orderly close.
TEST_F(TSocketTest, AConnectionLostUnderAPendingSendIsASendError) {
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    const linger reset{/*l_onoff=*/1, /*l_linger=*/0};
    ASSERT_EQ(
        ::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset),
        0);
    peer->close(); // a reset, not a close
    const QByteArray request(300, 'x');
    ASSERT_EQ(socket.Send(reinterpret_cast<const uint8_t*>(request.data()), request.size()),
              request.size());
    ASSERT_TRUE(Spin([&] { return !socket.Connected(); }));
    ASSERT_NE(std::find(events.begin(), events.end(), "error"), events.end());
    EXPECT_EQ(errorEvent, TErrorEvent::eeSend);
}

TEST_F(TSocketTest, RefusedConnectionIsAConnectError) {
    const quint16 port = server.serverPort();
    server.close();
    socket.SetEndpoint("127.0.0.1", port);
    socket.Open();
    ASSERT_TRUE(Spin([&] { return !socket.Active(); }));
    EXPECT_EQ(errorEvent, TErrorEvent::eeConnect);
    EXPECT_EQ(errorCode, 10061); // WSAECONNREFUSED
    EXPECT_EQ(events.back(), "disconnect") << "an unhandled error closes the socket";
}

TEST_F(TSocketTest, AHandledErrorLeavesTheClosingToTheHandler) {
    const quint16 port = server.serverPort();
    server.close();
    socket.OnError = [this](TClientSocket& s, TErrorEvent, int& code) {
        code = 0;
        events.push_back("error");
        s.Close();
    };
    socket.SetEndpoint("127.0.0.1", port);
    socket.Open();
    ASSERT_TRUE(Spin([&] { return !socket.Active(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"connecting", "error", "disconnect"}));
    // The socket opens again afterwards.
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    socket.Open();
    EXPECT_TRUE(Spin([&] { return socket.Connected(); }));
}

} // namespace
} // namespace navlet::qt
