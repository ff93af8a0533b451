// navlet-chatbot: one scripted user of the session server over the real
// protocol, for end-to-end tests. It signs in, then runs its steps in order
// and prints one line per step; the exit code says how it went.
//
//   navlet-chatbot [--server HOST:PORT] --nick NICK --password PASSWORD
//                  --site SITE [--step-timeout SECONDS] STEP...
//
// The server defaults to $NAVLET_SERVER. SITE is an address as the bar
// reports it ("www.example.com/news"). Steps:
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

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "protocol/assembler.h"
#include "tools/chatbot/bot_script.h"

using namespace navlet;
using namespace navlet::chatbot;

namespace {

constexpr int CONNECT_TIMEOUT_MS = 5000;
constexpr int SIGN_IN_TIMEOUT_MS = 30000;
constexpr int MAX_STEP_TIMEOUT_S = 600;

struct TOptions {
    std::string server, nick, password, site;
    int stepTimeoutMs = 60000;
    std::vector<TStep> steps;
};

// A blocking-free IPv4 connection: sends wait for room, receives wait at most
// the time they are given.
class TSocketLink : public TBotLink {
  public:
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
        if (errno != EINPROGRESS || !WaitFor(POLLOUT, CONNECT_TIMEOUT_MS))
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        return error == 0;
    }

    bool Send(const std::string& bytes) override {
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
            if (!WaitFor(POLLOUT, CONNECT_TIMEOUT_MS))
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
        size_t offset = 0;
        while (got > 0 && offset < size_t(got)) {
            size_t used = 0;
            TPacket packet;
            const TAssembleResult result =
                assembler.Next(buffer + offset, size_t(got) - offset, used, packet);
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

    int64_t NowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }

  private:
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

    int fd = -1;
    bool closed = false;
    TPacketAssembler assembler;
};

std::string Usage() {
    return "usage: navlet-chatbot [--server HOST:PORT] --nick NICK --password PASSWORD "
           "--site SITE [--step-timeout SECONDS] STEP...\n"
           "steps: --wait-user NICK, --say TEXT, --expect-public NICK TEXT, --invite NICK,\n"
           "       --expect-invite NICK, --say-private TEXT, --expect-private NICK TEXT,\n"
           "       --call NICK MESSAGE, --wait-gone NICK\n";
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
    TOptions options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "navlet-chatbot: " << error << "\n" << Usage();
        return 2;
    }
    TSocketLink link;
    if (!link.Connect(options.server)) {
        std::cout << "connect " << options.server << " failed" << std::endl;
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
