#include "tests/server/test_client.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "server/web/request/request_head.h"
#include "server/websocket/ws_handshake.h"

namespace navlet::test {

namespace {

int ConnectLoopback(uint16_t port, int receiveBuffer = 0) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

const TTransport& TTestClient::DefaultTransport() {
    static const TTransport transport = [] {
        TTransport t;
        const char* chosen = std::getenv("NAVLET_BLACKBOX_TRANSPORT");
        t.webSocket = chosen && std::string_view(chosen) == "ws";
        return t;
    }();
    return transport;
}

namespace {
std::vector<uint16_t>& WebSocketPorts() {
    static std::vector<uint16_t> ports;
    return ports;
}
} // namespace

void TTestClient::ReachOverWebSocket(uint16_t port) {
    WebSocketPorts().push_back(port);
}

TTestClient::~TTestClient() {
    Close();
}

bool TTestClient::Connect(uint16_t port, int receiveBuffer) {
    Close();
    fd = ConnectLoopback(port, receiveBuffer);
    eof = false;
    assembler.Reset();
    ready.clear();
    closeCode = 0;
    pongs = 0;
    decoder.reset();
    if (fd < 0)
        return false;
    const auto& ports = WebSocketPorts();
    if (std::find(ports.begin(), ports.end(), port) != ports.end())
        transport.webSocket = true;
    return !transport.webSocket || Upgrade(port);
}

// Sends the upgrade and reads its answer's head byte by byte, so that frames
// right behind it stay in the socket.
bool TTestClient::Upgrade(uint16_t port) {
    static uint64_t seed = 1;
    std::string key = ws::MakeKey(seed++);
    std::string request = ws::UpgradeRequest("127.0.0.1:" + std::to_string(port), transport.path,
                                             key, transport.origin);
    request.insert(request.size() - 2, transport.headers);
    if (!SendWire(request.data(), request.size()))
        return false;
    std::string head;
    int64_t deadline = NowMs() + 3000;
    while (head.size() < 8192 && web::FindHeadEnd(head) == std::string::npos) {
        pollfd pfd{fd, POLLIN, 0};
        int64_t left = deadline - NowMs();
        char c;
        if (left <= 0 || poll(&pfd, 1, int(left)) <= 0 || recv(fd, &c, 1, 0) != 1)
            break;
        head += c;
    }
    if (!ws::CheckUpgradeResponse(head, key)) {
        Close();
        return false;
    }
    decoder = std::make_unique<ws::TFrameDecoder>(ws::TRole::Client, ws::MAX_SERVER_MESSAGE);
    return true;
}

void TTestClient::Close() {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

bool TTestClient::SendRaw(const void* data, size_t size) {
    if (!transport.webSocket)
        return SendWire(data, size);
    return SendFrame(ws::TOpcode::Binary, std::string_view(static_cast<const char*>(data), size));
}

bool TTestClient::SendFrame(ws::TOpcode opcode, std::string_view payload, bool fin) {
    static const uint8_t MASK[4] = {0x5A, 0x13, 0xC7, 0x2E};
    std::string frame;
    ws::AppendFrame(frame, opcode, payload, fin, MASK);
    return SendWire(frame.data(), frame.size());
}

bool TTestClient::SendWire(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool TTestClient::Send(TPacket& packet, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    return SendRaw(packet.bytes, size_t(length));
}

bool TTestClient::SendLogin(std::string_view nick, std::string_view password, std::string_view site,
                            uint32_t mask, std::string_view version) {
    TPacket p;
    ClearPacket(p);
    int length = BuildLogin(p, nick, password, version, site, mask, LoginStamp(43200000), textCode);
    return Send(p, length, REQ_LOGIN);
}

bool TTestClient::Login(std::string_view nick, std::string_view password, std::string_view site,
                        uint32_t mask) {
    if (!SendLogin(nick, password, site, mask))
        return false;
    TPacket p;
    if (!WaitFor(MSG_PRESENCE, p, 5000))
        return false;
    self = ReadPresence(p);
    return self.chatKey != 0;
}

bool TTestClient::ReadSome(int timeoutMs) {
    if (fd < 0 || eof)
        return false;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0)
        return false;
    uint8_t buffer[4096];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        eof = true;
        return false;
    }
    if (decoder)
        TakeFrames(buffer, size_t(n));
    else
        TakeStream(buffer, size_t(n));
    return true;
}

void TTestClient::TakeStream(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        size_t used = 0;
        TPacket packet;
        TAssembleResult r = assembler.Next(data + at, size - at, used, packet);
        at += used;
        if (r == TAssembleResult::Packet)
            ready.push_back(packet);
        if (r == TAssembleResult::Broken || r == TAssembleResult::NeedMore)
            break;
    }
}

// The server's frames: data into the packet stream, a ping answered, a close
// answered and taken as the end of the connection.
void TTestClient::TakeFrames(uint8_t* data, size_t size) {
    using TKind = ws::TFrameEvent::TKind;
    size_t at = 0;
    while (!eof) {
        size_t used = 0;
        ws::TFrameEvent e = decoder->Next(data + at, size - at, used);
        at += used;
        std::string_view payload(reinterpret_cast<const char*>(e.data), e.size);
        switch (e.kind) {
        case TKind::NeedMore:
            return;
        case TKind::Data:
            TakeStream(e.data, e.size);
            break;
        case TKind::Ping:
            if (answerControl)
                SendFrame(ws::TOpcode::Pong, payload);
            break;
        case TKind::Pong:
            ++pongs;
            break;
        case TKind::Close:
            closeCode = e.code;
            // A client that never answers waits to see the server hang up.
            if (!answerControl)
                break;
            SendFrame(ws::TOpcode::Close, ws::ClosePayload(e.code));
            eof = true;
            break;
        case TKind::Error:
            eof = true;
            break;
        }
    }
}

bool TTestClient::Next(TPacket& out, int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    while (ready.empty()) {
        int64_t left = deadline - NowMs();
        if (left <= 0 || !ReadSome(int(left)))
            return false;
    }
    out = ready.front();
    ready.pop_front();
    return true;
}

bool TTestClient::WaitFor(uint8_t type, TPacket& out, int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    while (true) {
        int64_t left = deadline - NowMs();
        if (left <= 0 || !Next(out, int(left)))
            return false;
        if (out.Type() == type)
            return true;
    }
}

std::deque<TPacket> TTestClient::Drain(int quietMs) {
    std::deque<TPacket> out;
    TPacket p;
    while (Next(p, quietMs))
        out.push_back(p);
    return out;
}

bool TTestClient::WaitClosed(int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    while (!eof) {
        int64_t left = deadline - NowMs();
        if (left <= 0)
            return false;
        ReadSome(int(left));
    }
    return true;
}

std::string AdminCommand(uint16_t port, const std::string& line) {
    int fd = ConnectLoopback(port);
    if (fd < 0)
        return "no connection";
    std::string request = line + "\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    int64_t deadline = NowMs() + 3000;
    auto complete = [&answer] {
        if (answer.empty() || answer.back() != '\n')
            return false;
        size_t start =
            answer.size() < 2 ? std::string::npos : answer.rfind('\n', answer.size() - 2);
        std::string last = answer.substr(start == std::string::npos ? 0 : start + 1);
        return last.rfind("OK", 0) == 0 || last.rfind("ERR", 0) == 0;
    };
    while (NowMs() < deadline && !complete()) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buffer[1024];
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answer.append(buffer, size_t(n));
    }
    close(fd);
    return answer;
}

int AdminBatch(uint16_t port, const std::string& lines, int answers) {
    int fd = ConnectLoopback(port);
    if (fd < 0)
        return 0;
    send(fd, lines.data(), lines.size(), MSG_NOSIGNAL);
    int finals = 0;
    std::string pending;
    int64_t deadline = NowMs() + 3000;
    while (finals < answers && NowMs() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        pending.append(buffer, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            if (pending.rfind("OK", 0) == 0 || pending.rfind("ERR", 0) == 0)
                ++finals;
            pending.erase(0, end + 1);
        }
    }
    close(fd);
    return finals;
}

} // namespace navlet::test
