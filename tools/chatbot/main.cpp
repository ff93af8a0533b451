// navlet-chatbot: one scripted user of the session server over the real
// protocol, for end-to-end tests. It signs in, then runs its steps in order
// and prints one line per step; the exit code says how it went.
//
//   navlet-chatbot [--server HOST:PORT] [--ws PATH] --nick NICK --password PASSWORD
//                  --site SITE [--step-timeout SECONDS] STEP...
//   navlet-chatbot --version | --help
//
// The server defaults to $NAVLET_SERVER; with --ws it is the web site, and the
// session runs over WebSocket at PATH (/session), as a browser bar's does. SITE is an address as
// the bar reports it ("www.example.com/news"). Steps:
//   --wait-user NICK            --say TEXT              --expect-public NICK TEXT
//   --invite NICK               --expect-invite NICK    --say-private TEXT
//   --expect-private NICK TEXT  --call NICK MESSAGE     --wait-gone NICK
// Exit code: 0 every step succeeded, 1 a step failed, 2 usage, 3 no sign-in.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/assembler.h"
#include "server/web/request/request_head.h"
#include "server/websocket/ws_frame.h"
#include "server/websocket/ws_handshake.h"
#include "tools/chatbot/bot_script.h"
#include "version/build_id.h"

using namespace navlet;
using namespace navlet::chatbot;

namespace {

// How long a connection, an upgrade or a send may stall, unless the steps
// are given longer: a proxy in front may be slow to answer.
constexpr int CONNECT_TIMEOUT_MS = 5000;
constexpr int SIGN_IN_TIMEOUT_MS = 30000;
constexpr int MAX_STEP_TIMEOUT_S = 600;

struct TOptions {
    std::string server, nick, password, site;
    std::string wsPath; // not empty: over WebSocket
    int stepTimeoutMs = 60000;
    std::vector<TStep> steps;
};

// A blocking-free IPv4 connection: sends wait for room, receives wait at most
// the time they are given.
class TSocketLink : public TBotLink {
  public:
    explicit TSocketLink(int stallMs) : stallMs(stallMs) {}
    ~TSocketLink() override {
        if (fd >= 0)
            ::close(fd);
    }

    bool Connect(const std::string& endpoint) {
        const size_t colon = endpoint.rfind(':');
        sockaddr_in address{};
        address.sin_family = AF_INET;
        unsigned port = 0;
        const char* last = endpoint.data() + endpoint.size();
        if (colon == std::string::npos ||
            ::inet_pton(AF_INET, endpoint.substr(0, colon).c_str(), &address.sin_addr) != 1 ||
            std::from_chars(endpoint.data() + colon + 1, last, port).ptr != last || port == 0 ||
            port > 65535)
            return false;
        address.sin_port = htons(uint16_t(port));
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return true;
        if (errno != EINPROGRESS || !WaitFor(POLLOUT, stallMs))
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        return error == 0;
    }

    // Upgrades the connection to a WebSocket at `path`; false when refused.
    bool Upgrade(const std::string& host, const std::string& path) {
        std::string key = ws::MakeKey(uint64_t(NowMs()) * 2654435761u);
        if (!SendWire(ws::UpgradeRequest(host, path, key)))
            return false;
        std::string head;
        // Byte by byte, so that frames right behind the answer stay unread.
        while (head.size() < 4096 && web::FindHeadEnd(head) == std::string::npos) {
            char c;
            if (!WaitFor(POLLIN, stallMs) || ::recv(fd, &c, 1, MSG_DONTWAIT) != 1)
                return false;
            head += c;
        }
        if (!ws::CheckUpgradeResponse(head, key))
            return false;
        decoder = std::make_unique<ws::TFrameDecoder>(ws::TRole::Client, ws::MAX_SERVER_MESSAGE);
        return true;
    }

    bool Send(const std::string& bytes) override {
        if (!decoder)
            return SendWire(bytes);
        return SendWire(Frame(ws::TOpcode::Binary, bytes));
    }

    bool SendWire(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n =
                ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            if (!WaitFor(POLLOUT, stallMs))
                return false;
        }
        return true;
    }

    bool Receive(TBotSession& session, int timeoutMs) override {
        if (!WaitFor(POLLIN, timeoutMs))
            return !closed;
        uint8_t buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            closed = true;
            return false;
        }
        if (got < 0)
            return true;
        if (decoder)
            return TakeFrames(session, buffer, size_t(got));
        return TakePackets(session, buffer, size_t(got));
    }

    int64_t NowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

  private:
    bool TakePackets(TBotSession& session, const uint8_t* data, size_t size) {
        size_t offset = 0;
        while (offset < size) {
            size_t used = 0;
            TPacket packet;
            const TAssembleResult result =
                assembler.Next(data + offset, size - offset, used, packet);
            offset += used;
            if (result == TAssembleResult::Packet)
                session.Take(packet);
            if (result == TAssembleResult::Broken) {
                closed = true;
                return false;
            }
            if (result == TAssembleResult::NeedMore)
                break;
        }
        return true;
    }

    // The server's frames: data into the packet stream, pings answered, a
    // close answered and taken as the end.
    bool TakeFrames(TBotSession& session, uint8_t* data, size_t size) {
        using TKind = ws::TFrameEvent::TKind;
        size_t at = 0;
        for (;;) {
            size_t used = 0;
            ws::TFrameEvent event = decoder->Next(data + at, size - at, used);
            at += used;
            std::string payload(reinterpret_cast<const char*>(event.data), event.size);
            switch (event.kind) {
            case TKind::NeedMore:
                return true;
            case TKind::Data:
                if (!TakePackets(session, event.data, event.size))
                    return false;
                break;
            case TKind::Ping:
                SendWire(Frame(ws::TOpcode::Pong, payload));
                break;
            case TKind::Pong:
                break;
            case TKind::Close:
                SendWire(Frame(ws::TOpcode::Close, ws::ClosePayload(event.code)));
                closed = true;
                return false;
            case TKind::Error:
                closed = true;
                return false;
            }
        }
    }

    std::string Frame(ws::TOpcode opcode, std::string_view payload) {
        const uint8_t mask[4] = {uint8_t(++frames), 0x6B, 0x1D, 0xE4};
        std::string out;
        ws::AppendFrame(out, opcode, payload, true, mask);
        return out;
    }

    // False on a time-out or an error; an error or hang-up also marks the link closed.
    bool WaitFor(short events, int timeoutMs) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno != EINTR)
            closed = true;
        if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)))
            closed = true;
        return ready > 0 && !closed;
    }

    int stallMs;
    int fd = -1;
    bool closed = false;
    TPacketAssembler assembler;
    std::unique_ptr<ws::TFrameDecoder> decoder; // over WebSocket
    uint8_t frames = 0;
};

std::string Usage() {
    return "usage: navlet-chatbot [--server HOST:PORT] [--ws PATH] --nick NICK --password PASSWORD "
           "--site SITE [--step-timeout SECONDS] STEP...\n"
           "steps: --wait-user NICK, --say TEXT, --expect-public NICK TEXT, --invite NICK,\n"
           "       --expect-invite NICK, --say-private TEXT, --expect-private NICK TEXT,\n"
           "       --call NICK MESSAGE, --wait-gone NICK\n"
           "       navlet-chatbot --version | --help\n";
}

bool ParseOptions(const std::vector<std::string>& args, TOptions& options, std::string& error) {
    if (const char* server = std::getenv("NAVLET_SERVER"))
        options.server = server;
    size_t i = 0;
    for (; i < args.size(); i += 2) {
        const std::string& name = args[i];
        std::string* target = name == "--server"     ? &options.server
                              : name == "--nick"     ? &options.nick
                              : name == "--password" ? &options.password
                              : name == "--site"     ? &options.site
                              : name == "--ws"       ? &options.wsPath
                                                     : nullptr;
        if (!target && name != "--step-timeout")
            break; // the steps begin
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        if (target) {
            *target = args[i + 1];
            continue;
        }
        int seconds = 0;
        const std::string& value = args[i + 1];
        if (std::from_chars(value.data(), value.data() + value.size(), seconds).ptr !=
                value.data() + value.size() ||
            seconds <= 0 || seconds > MAX_STEP_TIMEOUT_S) {
            error = "--step-timeout takes 1 to 600 seconds";
            return false;
        }
        options.stepTimeoutMs = seconds * 1000;
    }
    if (!options.wsPath.empty() && options.wsPath.front() != '/') {
        error = "--ws takes a path such as /session";
        return false;
    }
    if (options.server.empty() || options.nick.empty() || options.password.empty() ||
        options.site.empty()) {
        error = "--server (or NAVLET_SERVER), --nick, --password and --site are needed";
        return false;
    }
    auto steps = ParseSteps(args, i, error);
    if (!steps)
        return false;
    options.steps = std::move(*steps);
    return true;
}

uint32_t MsSinceLocalMidnight() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return uint32_t((local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000);
}

} // namespace

int main(int argc, char** argv) {
    // Only as the first word: a later one may be a step's text.
    if (argc >= 2 && std::string_view(argv[1]) == "--version") {
        std::cout << navlet::VersionLine("navlet-chatbot");
        return 0;
    }
    if (argc >= 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::cout << Usage();
        return 0;
    }
    TOptions options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "navlet-chatbot: " << error << "\n" << Usage();
        return 2;
    }
    TSocketLink link(std::max(CONNECT_TIMEOUT_MS, options.stepTimeoutMs));
    if (!link.Connect(options.server)) {
        std::cout << "connect " << options.server << " failed" << std::endl;
        return 3;
    }
    if (!options.wsPath.empty() && !link.Upgrade(options.server, options.wsPath)) {
        std::cout << "WebSocket upgrade at " << options.server << options.wsPath << " failed"
                  << std::endl;
        return 3;
    }
    TBotSession session(options.nick, options.password, options.site);
    const int64_t deadline = link.NowMs() + SIGN_IN_TIMEOUT_MS;
    bool alive = link.Send(session.LoginBytes(MsSinceLocalMidnight()));
    while (alive && !session.SignedIn() && !session.Ended() && link.NowMs() < deadline)
        alive = link.Receive(session, 200);
    if (!session.SignedIn()) {
        std::cout << "sign-in as " << options.nick << " failed";
        for (const std::string& notice : session.Notices())
            std::cout << ": " << notice;
        std::cout << std::endl;
        return 3;
    }
    std::cout << "signed in as " << options.nick << std::endl;
    TBotScript script(session, link, options.stepTimeoutMs);
    return script.Run(options.steps, std::cout) ? 0 : 1;
}
