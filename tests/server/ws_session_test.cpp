// Sessions over WebSocket beside TCP ones, and the peers a WebSocket endpoint
// meets: frames no browser sends, floods, silent closers, foreign pages and
// half-open upgrades. The server's time stands still unless a test moves it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/core/clock.h"
#include "server/net/proxy_header.h"
#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

// A socket to the web port from 127.0.0.`host`, or -1.
int ConnectFrom(int host, uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + uint32_t(host));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

// Sends `request` and returns the status line of the answer ("" if none).
std::string StatusOf(uint16_t port, const std::string& request) {
    int fd = ConnectFrom(1, port);
    if (fd < 0)
        return "";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    pollfd pfd{fd, POLLIN, 0};
    char buffer[1024];
    while (answer.find("\r\n") == std::string::npos && poll(&pfd, 1, 2000) > 0) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answer.append(buffer, size_t(n));
    }
    close(fd);
    return answer.substr(0, answer.find("\r\n"));
}

// An upgrade (with `fields` added) from 127.0.0.`host`: the socket once it
// is answered 101, else -1.
int OpenFrom(int host, uint16_t port, std::string request, const std::string& fields) {
    int fd = ConnectFrom(host, port);
    if (fd < 0)
        return -1;
    request.insert(request.size() - 2, fields);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    pollfd pfd{fd, POLLIN, 0};
    char answer[13] = {};
    if (poll(&pfd, 1, 2000) == 1 && recv(fd, answer, 12, MSG_WAITALL) == 12 &&
        std::string_view(answer) == "HTTP/1.1 101")
        return fd;
    close(fd);
    return -1;
}

std::string Upgrade(std::string_view extra) {
    return "GET /session HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
           "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
           std::string(extra) + "\r\n";
}

class WebSocketSessions : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        config.web = "127.0.0.1:0";
        config.clock = &clock;
        AddAccount("alice", "apw");
        AddAccount("bob", "bpw");
        AddAccount("mallory", "mpw");
    }

    bool OpenWs(TTestClient& c, std::string origin = {}, std::string headers = {}) {
        TTransport t;
        t.webSocket = true;
        t.origin = std::move(origin);
        t.headers = std::move(headers);
        c.UseTransport(t);
        return c.Connect(server->WebPort());
    }
    bool OpenTcp(TTestClient& c) {
        c.UseTransport(TTransport{});
        return c.Connect(server->SessionPort());
    }
    void Sweep() {
        OnLoop([this] { server->Sessions().Sweep(); });
    }
    // A line of `from` reaches `to`.
    void ExpectLine(TTestClient& from, TTestClient& to, ChatId chat, const std::string& text) {
        TPacket p;
        ClearPacket(p);
        ASSERT_TRUE(
            from.Send(p, BuildChatText(p, MakeChatAddress(from.Id(), chat), text), REQ_CHAT_TEXT));
        ASSERT_TRUE(to.WaitFor(MSG_CHAT_LINE, p));
        EXPECT_EQ(ReadChatLine(p).text, text);
    }

    server::TManualClock clock;
};

TEST_F(WebSocketSessions, ATcpBarAndABrowserBarShareTheSiteAndItsChats) {
    StartServer();
    TTestClient tcp, browser;
    ASSERT_TRUE(OpenTcp(tcp) && tcp.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(OpenWs(browser, "chrome-extension://navlet") &&
                browser.Login("bob", "bpw", "example.com/page"));
    TPacket p;
    ASSERT_TRUE(tcp.WaitFor(MSG_PRESENCE, p));
    EXPECT_EQ(ReadPresence(p).nick, "bob");
    tcp.Drain(), browser.Drain();
    ExpectLine(tcp, browser, 0, "hello from tcp");
    ExpectLine(browser, tcp, 0, "hello from the browser");

    ChatId chat = browser.ChatKey() << 8 | 1;
    ClearPacket(p);
    ASSERT_TRUE(browser.Send(p, BuildInvite(p, MakeChatAddress(tcp.Id(), chat)), REQ_INVITE));
    ASSERT_TRUE(tcp.WaitFor(MSG_MEMBER_JOINED, p));
    EXPECT_EQ(ReadMember(p).address, MakeChatAddress(browser.Id(), chat));
    ASSERT_TRUE(browser.WaitFor(MSG_MEMBER_JOINED, p));
    ExpectLine(tcp, browser, chat, "private");

    // Kicking the TCP bar's account leaves the browser bar's session alone.
    EXPECT_EQ(Admin("KICK user:alice"), "OK 1\n");
    EXPECT_TRUE(tcp.WaitClosed());
    ASSERT_TRUE(browser.WaitFor(MSG_USER_LEFT, p));
    TTestClient again;
    ASSERT_TRUE(OpenTcp(again) && again.Login("alice", "apw", "example.com"));
    browser.Drain();
    ExpectLine(again, browser, 0, "back");
}

TEST_F(WebSocketSessions, FramesNoBrowserSendsCloseWithTheirCode) {
    // The message bound is under test here, not the request budget that
    // each of the fragments below spends.
    config.limits.requestBurst = 1e6;
    StartServer();
    TTestClient unmasked, text, huge, fragments, garbage;
    ASSERT_TRUE(OpenWs(unmasked) && OpenWs(text) && OpenWs(huge) && OpenWs(garbage));
    ASSERT_TRUE(OpenWs(fragments) && fragments.Login("mallory", "mpw", "example.com"));
    std::string frame;
    ws::AppendFrame(frame, ws::TOpcode::Binary, "x");
    ASSERT_TRUE(unmasked.SendWire(frame.data(), frame.size()));
    ASSERT_TRUE(text.SendFrame(ws::TOpcode::Text, "hello"));
    // Sound frames, but a packet stream that cannot be resynchronised.
    ASSERT_TRUE(garbage.SendRaw(std::string(20, '\0').data(), 20));
    // A 1 MiB frame: its header alone is refused, nothing waits for the rest.
    uint8_t header[ws::MAX_FRAME_HEADER];
    const uint8_t mask[4] = {1, 2, 3, 4};
    size_t n = ws::WriteFrameHeader(header, ws::TOpcode::Binary, 1u << 20, true, mask);
    ASSERT_TRUE(huge.SendWire(header, n));
    for (TTestClient* c : {&unmasked, &text, &garbage})
        EXPECT_TRUE(c->WaitClosed() && c->CloseCode() == ws::CLOSE_PROTOCOL);
    EXPECT_TRUE(huge.WaitClosed() && huge.CloseCode() == ws::CLOSE_TOO_BIG);

    // 100,000 one-byte fragments of chat requests (each taken as it comes,
    // under the request burst): refused once they pass 64 KiB together.
    TPacket p;
    ClearPacket(p);
    int length = BuildChatText(p, MakeChatAddress(fragments.Id(), 0), std::string(230, 'c'));
    EncodePacket(p, length, REQ_CHAT_TEXT, 3);
    std::string burst;
    for (int i = 0; i < 100000; ++i)
        ws::AppendFrame(burst, i == 0 ? ws::TOpcode::Binary : ws::TOpcode::Continuation,
                        std::string_view(reinterpret_cast<const char*>(p.bytes) + i % length, 1),
                        false, mask);
    fragments.SendWire(burst.data(), burst.size()); // may be cut off: the server closes
    EXPECT_TRUE(fragments.WaitClosed(5000));
    EXPECT_EQ(fragments.CloseCode(), ws::CLOSE_TOO_BIG);
    EXPECT_TRUE(WaitForConnections(0));
}

TEST_F(WebSocketSessions, APingFloodEndsLikeARequestFlood) {
    StartServer();
    TTestClient m, bob;
    ASSERT_TRUE(OpenWs(m) && m.Login("mallory", "mpw", "example.com"));
    ASSERT_TRUE(OpenWs(bob) && bob.Login("bob", "bpw", "example.com"));
    m.Drain();
    ASSERT_TRUE(m.SendFrame(ws::TOpcode::Ping, "1"));
    EXPECT_TRUE(m.Drain().empty());
    EXPECT_EQ(m.Pongs(), 1);
    TPacket p;
    std::string flood;
    const uint8_t mask[4] = {9, 8, 7, 6};
    for (int i = 0; i < 1000; ++i)
        ws::AppendFrame(flood, ws::TOpcode::Ping, "p", true, mask);
    ASSERT_TRUE(m.SendWire(flood.data(), flood.size()));
    ASSERT_TRUE(m.WaitFor(MSG_CHAT_LINE, p));
    EXPECT_EQ(ReadChatLine(p).text, "Signed out: too many requests.");
    EXPECT_TRUE(m.WaitClosed());
    EXPECT_LE(m.Pongs(), int(config.limits.requestBurst));
    EXPECT_EQ(m.CloseCode(), ws::CLOSE_NORMAL);
    TTestClient alice;
    ASSERT_TRUE(OpenWs(alice) && alice.Login("alice", "apw", "example.com"));
    bob.Drain();
    ExpectLine(alice, bob, 0, "after the flood");
}

// Empty fragments and pongs cost the loop a read each like any frame: they
// are requests, and past a small allowance for frames without session bytes
// the session ends, signed in or not.
TEST_F(WebSocketSessions, FramesWithoutAPacketEndTheSessionPastASmallAllowance) {
    StartServer();
    TTestClient fragments, pongs, anonymous, bob;
    ASSERT_TRUE(OpenWs(fragments) && fragments.Login("mallory", "mpw", "example.com"));
    ASSERT_TRUE(OpenWs(pongs) && pongs.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(OpenWs(anonymous));
    ASSERT_TRUE(OpenTcp(bob) && bob.Login("bob", "bpw", "example.com"));
    fragments.Drain(), pongs.Drain();
    const uint8_t mask[4] = {5, 6, 7, 8};
    std::string empty, unasked;
    for (int i = 0; i < 1000; ++i) {
        ws::AppendFrame(empty, i == 0 ? ws::TOpcode::Binary : ws::TOpcode::Continuation, "",
                        /*fin=*/false, mask);
        ws::AppendFrame(unasked, ws::TOpcode::Pong, "", /*fin=*/true, mask);
    }
    // Each may be cut off: the server stops reading once it ends the session.
    fragments.SendWire(empty.data(), empty.size());
    pongs.SendWire(unasked.data(), unasked.size());
    anonymous.SendWire(empty.data(), empty.size());
    TPacket p;
    for (TTestClient* c : {&fragments, &pongs}) {
        ASSERT_TRUE(c->WaitFor(MSG_CHAT_LINE, p));
        EXPECT_EQ(ReadChatLine(p).text, "Signed out: too many requests.");
        EXPECT_TRUE(c->WaitClosed());
    }
    EXPECT_TRUE(anonymous.WaitClosed());
    EXPECT_EQ(anonymous.CloseCode(), ws::CLOSE_POLICY);
    TTestClient again;
    ASSERT_TRUE(OpenWs(again) && again.Login("alice", "apw", "example.com"));
    bob.Drain();
    ExpectLine(again, bob, 0, "after the empty frames");
}

// What a browser sends: each request in a message of its own, a pong for
// each ping. A frame pays for the packet it brings, so three quarters of the
// request burst, a few pongs and the allowance's worth of empty frames
// leave the session alone.
TEST_F(WebSocketSessions, ABrowsersFramesFitTheBudgets) {
    StartServer();
    TTestClient browser, bob;
    ASSERT_TRUE(OpenWs(browser) && browser.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(OpenTcp(bob) && bob.Login("bob", "bpw", "example.com"));
    TPacket p;
    for (int i = 0; i < int(config.limits.requestBurst) * 3 / 4; ++i) {
        ClearPacket(p);
        ASSERT_TRUE(browser.Send(p, BuildLanguageFilter(p, 1u << 2), REQ_LANGUAGE_FILTER));
    }
    for (int i = 0; i + 1 < int(config.limits.wsEmptyFrameBurst); ++i)
        ASSERT_TRUE(browser.SendFrame(i % 2 ? ws::TOpcode::Pong : ws::TOpcode::Binary, ""));
    browser.Drain(), bob.Drain();
    ExpectLine(browser, bob, 0, "still here");
}

TEST_F(WebSocketSessions, ClosingHandshakesEndWithinTheirBound) {
    StartServer();
    // The peer closes: answered, and the session is gone.
    TTestClient leaver;
    ASSERT_TRUE(OpenWs(leaver) && leaver.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(leaver.SendFrame(ws::TOpcode::Close, ws::ClosePayload(ws::CLOSE_GOING_AWAY)));
    EXPECT_TRUE(leaver.WaitClosed());
    EXPECT_EQ(leaver.CloseCode(), ws::CLOSE_GOING_AWAY);
    EXPECT_TRUE(WaitForConnections(0));
    // The server closes and the peer never answers: cut after the wait.
    TTestClient silent;
    ASSERT_TRUE(OpenWs(silent) && silent.Login("bob", "bpw", "example.com"));
    silent.AnswerControlFrames(false);
    EXPECT_EQ(Admin("KICK user:bob"), "OK 1\n");
    EXPECT_TRUE(silent.WaitClosed(int(config.limits.wsCloseWaitMs) + 2000));
    EXPECT_EQ(silent.CloseCode(), ws::CLOSE_NORMAL);
}

TEST_F(WebSocketSessions, AQuietPeerIsPingedAndOneThatNeverAnswersIsClosed) {
    StartServer();
    TTestClient answering, dead;
    ASSERT_TRUE(OpenWs(answering) && answering.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(OpenWs(dead) && dead.Login("bob", "bpw", "example.com"));
    answering.Drain(), dead.Drain();
    dead.AnswerControlFrames(false);
    clock.Advance(config.limits.wsPingAfterMs);
    Sweep();
    answering.Drain(); // reads the ping and answers it
    clock.Advance(config.limits.wsIdleLimitMs - config.limits.wsPingAfterMs);
    Sweep();
    EXPECT_TRUE(dead.WaitClosed(1000));
    EXPECT_EQ(ConnectionCount(), 1u);
    TPacket p;
    ASSERT_TRUE(answering.WaitFor(MSG_USER_LEFT, p));
}

TEST_F(WebSocketSessions, UpgradesThatAreRefused) {
    StartServer();
    uint16_t port = server->WebPort();
    EXPECT_EQ(StatusOf(port, Upgrade("Sec-WebSocket-Version: 8\r\n")), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(StatusOf(port, Upgrade("")), "HTTP/1.1 400 Bad Request"); // no version
    EXPECT_EQ(StatusOf(port, "GET /session HTTP/1.1\r\nHost: x\r\nSec-WebSocket-Version: "
                             "13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n"),
              "HTTP/1.1 400 Bad Request"); // no Upgrade
    EXPECT_EQ(
        StatusOf(port, Upgrade("Sec-WebSocket-Version: 13\r\nOrigin: https://evil.example\r\n")),
        "HTTP/1.1 403 Forbidden");
    TTestClient page;
    EXPECT_FALSE(OpenWs(page, "https://evil.example"));
    EXPECT_TRUE(OpenWs(page, "moz-extension://navlet"));
    EXPECT_TRUE(WaitForConnections(1)); // only the allowed one became a session
}

TEST_F(WebSocketSessions, HalfOpenUpgradesFromManyAddressesHoldNobodyUp) {
    config.webLimits.http.requestTime = std::chrono::milliseconds(1000);
    StartServer();
    std::vector<int> half;
    for (int host = 2; host < 42; ++host) {
        int fd = ConnectFrom(host, server->WebPort());
        ASSERT_GE(fd, 0);
        std::string start = Upgrade("Sec-WebSocket-Version: 13\r\n").substr(0, 60);
        send(fd, start.data(), start.size(), MSG_NOSIGNAL);
        half.push_back(fd);
    }
    EXPECT_EQ(StatusOf(server->WebPort(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.1 200 OK");
    TTestClient visitor;
    ASSERT_TRUE(OpenWs(visitor) && visitor.Login("alice", "apw", "example.com"));
    // The site's request deadline ends each of them.
    for (int fd : half) {
        pollfd pfd{fd, POLLIN, 0};
        char c;
        EXPECT_TRUE(poll(&pfd, 1, 3000) == 1 && recv(fd, &c, 1, 0) <= 0);
        close(fd);
    }
    EXPECT_EQ(ConnectionCount(), 1u);
}

TEST_F(WebSocketSessions, ThePerAddressBoundCountsBothTransports) {
    config.limits.maxPerAddress = 3;
    StartServer();
    TTestClient one, two, three, tcpExtra, wsExtra;
    ASSERT_TRUE(OpenTcp(one) && one.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(OpenWs(two) && two.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(OpenWs(three));
    ASSERT_TRUE(WaitForConnections(3));
    EXPECT_FALSE(OpenWs(wsExtra)); // refused: 503 instead of the upgrade
    ASSERT_TRUE(OpenTcp(tcpExtra));
    EXPECT_TRUE(tcpExtra.WaitClosed(1000));
    three.Close();
    ASSERT_TRUE(WaitForConnections(2));
    EXPECT_TRUE(OpenWs(wsExtra) && wsExtra.Login("mallory", "mpw", "example.com"));
}

// Through a trusted proxy each client counts as its own address; anybody
// else's X-Forwarded-For is ignored.
TEST_F(WebSocketSessions, ForwardedAddressesCountOnlyFromTrustedProxies) {
    config.limits.maxPerAddress = 1;
    config.webLimits.http.trustedProxies = {asio::ip::make_address("127.0.0.1")};
    StartServer();
    TTestClient first, second, same;
    ASSERT_TRUE(OpenWs(first, {}, "X-Forwarded-For: 198.51.100.7\r\n"));
    ASSERT_TRUE(OpenWs(second, {}, "X-Forwarded-For: 203.0.113.9, 198.51.100.8\r\n"));
    EXPECT_FALSE(OpenWs(same, {}, "X-Forwarded-For: 10.1.1.1, 198.51.100.7\r\n"));
    // From 127.0.0.2, no proxy of ours: both count as 127.0.0.2.
    std::string upgrade = Upgrade("Sec-WebSocket-Version: 13\r\n");
    int held = OpenFrom(2, server->WebPort(), upgrade, "X-Forwarded-For: 192.0.2.1\r\n");
    EXPECT_GE(held, 0);
    EXPECT_EQ(OpenFrom(2, server->WebPort(), upgrade, "X-Forwarded-For: 192.0.2.2\r\n"), -1);
    EXPECT_EQ(ConnectionCount(), 3u);
    if (held >= 0)
        close(held);
}

// The bar port behind nginx's stream proxy: a trusted proxy's PROXY header
// names the client, whose address the bounds count; its bytes after the
// header are the bar's login; a connection without one counts as the proxy.
TEST_F(WebSocketSessions, ProxyHeadersFromATrustedProxyNameTheClient) {
    config.limits.maxPerAddress = 1;
    config.webLimits.http.trustedProxies = {asio::ip::make_address("127.0.0.1")};
    StartServer();
    auto proxied = [&](TTestClient& c, const std::string& client) {
        std::string header = "PROXY TCP4 " + client + " 127.0.0.1 51234 4433\r\n";
        return OpenTcp(c) && c.SendRaw(header.data(), header.size());
    };
    TTestClient first, second, same, direct, unknown;
    ASSERT_TRUE(proxied(first, "198.51.100.7") && first.Login("alice", "apw", "example.com"));
    ASSERT_TRUE(proxied(second, "198.51.100.8") && second.Login("bob", "bpw", "example.com"));
    ASSERT_TRUE(proxied(same, "198.51.100.7"));
    EXPECT_TRUE(same.WaitClosed(1000)) << "198.51.100.7 holds its one connection";
    ASSERT_TRUE(OpenTcp(direct) && direct.Login("mallory", "mpw", "example.com"))
        << "without a header the proxy's own address counts";
    ASSERT_TRUE(OpenTcp(unknown));
    const std::string header = "PROXY UNKNOWN\r\n";
    ASSERT_TRUE(unknown.SendRaw(header.data(), header.size()));
    EXPECT_TRUE(unknown.WaitClosed(1000)) << "UNKNOWN counts as the proxy, which holds one";

    TTestClient broken;
    ASSERT_TRUE(OpenTcp(broken));
    const std::string bad = "PROXY TCP4 198.51.100.9 127.0.0.1 99999 4433\r\n";
    ASSERT_TRUE(broken.SendRaw(bad.data(), bad.size()));
    EXPECT_TRUE(broken.WaitClosed(1000));
    EXPECT_EQ(ConnectionCount(), 3u);
}

TEST(ProxyHeader, TellsHeadersFromTheBarsOwnBytesAndRefusesWhatIsOutOfForm) {
    using server::proxy::Parse;
    using server::proxy::TVerdict;
    auto v4 = Parse("PROXY TCP4 203.0.113.7 192.0.2.1 51234 4433\r\nrest");
    EXPECT_EQ(v4.verdict, TVerdict::Header);
    EXPECT_EQ(v4.length, 45u);
    EXPECT_EQ(v4.client, "203.0.113.7");
    auto v6 = Parse("PROXY TCP6 2001:db8::7 2001:db8::1 0 443\r\n");
    EXPECT_EQ(v6.verdict, TVerdict::Header);
    EXPECT_EQ(v6.client, "2001:db8::7");
    EXPECT_EQ(Parse("PROXY UNKNOWN ffff::1 ::1 1 2\r\n").client, "");
    EXPECT_EQ(Parse("PROXY UNKNOWN\r\n").verdict, TVerdict::Header);

    EXPECT_EQ(Parse("PRO").verdict, TVerdict::More);
    EXPECT_EQ(Parse("PROXY TCP4 203.0.113.7 192.0.2.1 5").verdict, TVerdict::More);
    EXPECT_EQ(Parse(std::string("\x10\x00PROXY", 7)).verdict, TVerdict::NoHeader);
    EXPECT_EQ(Parse("PROXYTCP4").verdict, TVerdict::NoHeader);

    for (const char* bad : {
             "PROXY TCP4 203.0.113.7 192.0.2.1 51234\r\n",   // a field short
             "PROXY TCP4 2001:db8::7 192.0.2.1 1 2\r\n",     // family mismatch
             "PROXY TCP6 2001:db8::7 192.0.2.1 1 2\r\n",     // mixed families
             "PROXY TCP4 203.0.113.7 192.0.2.1 65536 1\r\n", // port too large
             "PROXY TCP4 203.0.113.7 192.0.2.1 01 1\r\n",    // leading zero
             "PROXY TCP4 203.0.113.7  192.0.2.1 1 1\r\n",    // two spaces
             "PROXY UDP4 203.0.113.7 192.0.2.1 1 1\r\n",     // not TCP
             "PROXY TCP4 nginx.local 192.0.2.1 1 1\r\n",     // no address
         })
        EXPECT_EQ(Parse(bad).verdict, TVerdict::Invalid) << bad;
    EXPECT_EQ(Parse("PROXY " + std::string(101, 'x')).verdict, TVerdict::Invalid)
        << "no end within the protocol's 107 bytes";
}

// A reload of the configuration reaches the web site's own thread: the
// next upgrade meets the new origins and the new trusted proxies.
TEST_F(WebSocketSessions, AReloadTakesNewOriginsAndTrustedProxiesForTheNextConnection) {
    config.limits.maxPerAddress = 1;
    StartServer();
    TTestClient before, page, forwarded;
    EXPECT_FALSE(OpenWs(before, "https://www.example.net"));
    server::TServerConfig next = config;
    next.wsOrigins = {"https://www.example.net"};
    next.webLimits.http.trustedProxies = {asio::ip::make_address("127.0.0.1")};
    OnLoop([&] { server->ApplyLive(next); });
    ASSERT_TRUE(OpenWs(page, "https://www.example.net"));
    ASSERT_TRUE(WaitForConnections(1));
    EXPECT_TRUE(OpenWs(forwarded, {}, "X-Forwarded-For: 198.51.100.7\r\n"))
        << "through the proxy now trusted it counts as its client's address";
    EXPECT_TRUE(WaitForConnections(2));
}

} // namespace
} // namespace navlet::test
