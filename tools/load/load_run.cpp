#include "tools/load/load_run.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <string>

#include "protocol/messages.h"
#include "protocol/requests.h"
#include "server/web/request/request_head.h"
#include "server/websocket/ws_frame.h"
#include "server/websocket/ws_handshake.h"

namespace navlet::load {

struct TBot {
    enum class TState { Idle, Connecting, Handshaking, Upgrading, LoggingIn, SignedIn, Gone };
    int index = 0;
    int fd = -1;
    TState state = TState::Idle;
    UserId id = 0;
    TPacketAssembler assembler;
    std::string unsent; // bytes the socket has not taken yet, in order
    TTlsConnection tls; // over TLS; freed before the descriptor is closed
    // Over WebSocket: the frames, and the upgrade's key and answer so far.
    std::unique_ptr<ws::TFrameDecoder> decoder;
    std::string key, head;
    int ignoresSent = 0;
};

namespace {

constexpr int64_t NS_PER_SECOND = 1000000000;
constexpr int MAX_EVENTS = 512;
constexpr size_t MAX_LINES_PER_TURN = 20000;
// All 13 languages and the others: every public line reaches every bot.
constexpr uint32_t ALL_LANGUAGES = 0x80001FFF;

int64_t NowNs() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * NS_PER_SECOND + ts.tv_nsec;
}

bool ParseEndpoint(const std::string& text, uint32_t& address, uint16_t& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.substr(0, colon).c_str(), &parsed) != 1)
        return false;
    unsigned value = 0;
    const char* first = text.data() + colon + 1;
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || value == 0 || value > 65535)
        return false;
    address = parsed.s_addr;
    port = htons(uint16_t(value));
    return true;
}

} // namespace

TLoadRun::TLoadRun(const TLoadOptions& options) : options(options) {}

TLoadRun::~TLoadRun() {
    for (auto& bot : bots) {
        if (bot->fd >= 0)
            ::close(bot->fd);
    }
    if (epollFd >= 0)
        ::close(epollFd);
}

bool TLoadRun::Setup(std::ostream& out) {
    if (!ParseEndpoint(options.server, serverAddress, serverPort)) {
        out << "navlet-load: --server must be IPv4ADDR:PORT, not " << options.server << "\n";
        return false;
    }
    loopbackServer = (ntohl(serverAddress) >> 24) == 127;
    if (options.tls) {
        std::string name = options.tlsName.empty()
                               ? options.server.substr(0, options.server.rfind(':'))
                               : options.tlsName;
        std::string error;
        tls = TTlsClient::Make(options.caFile, name, error);
        if (!tls) {
            out << "navlet-load: " << error << "\n";
            return false;
        }
    }
    epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd < 0) {
        out << "navlet-load: epoll: " << std::strerror(errno) << "\n";
        return false;
    }
    bots.reserve(size_t(options.sessions));
    for (int i = 0; i < options.sessions; ++i) {
        bots.push_back(std::make_unique<TBot>());
        bots.back()->index = i;
    }
    return true;
}

void TLoadRun::StartConnections(int64_t now) {
    while (nextToConnect < options.sessions && pendingLogins < options.loginWindow) {
        if (counters.firstConnectNs == 0)
            counters.firstConnectNs = now;
        StartConnection(*bots[size_t(nextToConnect++)]);
    }
}

void TLoadRun::StartConnection(TBot& bot) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        bot.state = TBot::TState::Gone;
        ++counters.closed;
        return;
    }
    int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (loopbackServer) {
        // Spread the bots over source addresses, as many users come from many hosts.
        ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &yes, sizeof yes);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr =
            htonl((127u << 24) | uint32_t(2 + bot.index % options.sourceAddresses));
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = serverAddress;
    remote.sin_port = serverPort;
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    if (rc != 0 && errno != EINPROGRESS) {
        ::close(fd);
        bot.state = TBot::TState::Gone;
        ++counters.closed;
        return;
    }
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT;
    ev.data.ptr = &bot;
    ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev);
    bot.fd = fd;
    bot.state = TBot::TState::Connecting;
    ++pendingLogins;
}

void TLoadRun::Drop(TBot& bot, uint64_t& counter) {
    if (bot.state == TBot::TState::Connecting || bot.state == TBot::TState::Handshaking ||
        bot.state == TBot::TState::Upgrading || bot.state == TBot::TState::LoggingIn)
        --pendingLogins;
    bot.tls.reset();
    if (bot.fd >= 0)
        ::close(bot.fd); // also leaves the epoll set
    bot.fd = -1;
    bot.state = TBot::TState::Gone;
    ++counter;
}

void TLoadRun::Watch(TBot& bot, bool writable) {
    epoll_event ev{};
    ev.events = EPOLLIN | (writable ? uint32_t(EPOLLOUT) : 0u);
    ev.data.ptr = &bot;
    ::epoll_ctl(epollFd, EPOLL_CTL_MOD, bot.fd, &ev);
}

bool TLoadRun::WriteSome(TBot& bot, const uint8_t* data, size_t size, size_t& put) {
    put = 0;
    if (bot.tls) {
        TTlsStatus status = TlsWrite(bot.tls.get(), data, size, put);
        return status == TTlsStatus::Done || status == TTlsStatus::WantWrite ||
               status == TTlsStatus::WantRead;
    }
    ssize_t n = ::send(bot.fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    put = size_t(n);
    return true;
}

bool TLoadRun::SendBytes(TBot& bot, const uint8_t* data, size_t size) {
    // Bytes held back go first (TLS also wants them offered again as they
    // were); these wait behind them.
    if (!bot.unsent.empty()) {
        bot.unsent.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    size_t put = 0;
    if (!WriteSome(bot, data, size, put))
        return false;
    if (put < size) {
        bot.unsent.assign(reinterpret_cast<const char*>(data) + put, size - put);
        Watch(bot, /*writable=*/true);
    }
    return true;
}

bool TLoadRun::SendPacketBytes(TBot& bot, const uint8_t* data, size_t size) {
    if (!bot.decoder)
        return SendBytes(bot, data, size);
    const uint8_t mask[4] = {uint8_t(bot.index), uint8_t(bot.index >> 8), 0x5C, 0xA3};
    std::string frame;
    ws::AppendFrame(frame, ws::TOpcode::Binary,
                    std::string_view(reinterpret_cast<const char*>(data), size), true, mask);
    return SendBytes(bot, reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
}

void TLoadRun::FlushPending(TBot& bot) {
    if (bot.unsent.empty())
        return;
    size_t put = 0;
    if (!WriteSome(bot, reinterpret_cast<const uint8_t*>(bot.unsent.data()), bot.unsent.size(),
                   put)) {
        Drop(bot, bot.state == TBot::TState::SignedIn ? counters.closed : counters.refused);
        return;
    }
    bot.unsent.erase(0, put);
    if (bot.unsent.empty())
        Watch(bot, /*writable=*/false);
}

void TLoadRun::FinishConnect(TBot& bot, int64_t now) {
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(bot.fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0) {
        Drop(bot, counters.closed);
        return;
    }
    Watch(bot, /*writable=*/false);
    if (!tls) {
        BeginSession(bot, now);
        return;
    }
    bot.tls = tls->Open(bot.fd);
    if (!bot.tls) {
        if (tlsFailure.empty())
            tlsFailure = "no TLS connection could be made";
        Drop(bot, counters.tlsFailed);
        return;
    }
    bot.state = TBot::TState::Handshaking;
    ContinueHandshake(bot, now);
}

void TLoadRun::ContinueHandshake(TBot& bot, int64_t now) {
    TTlsStatus status = TlsHandshake(bot.tls.get());
    if (status == TTlsStatus::WantRead || status == TTlsStatus::WantWrite) {
        Watch(bot, status == TTlsStatus::WantWrite);
        return;
    }
    if (status != TTlsStatus::Done) {
        if (tlsFailure.empty())
            tlsFailure = TlsFailureReason(bot.tls.get());
        Drop(bot, counters.tlsFailed);
        return;
    }
    Watch(bot, /*writable=*/false);
    BeginSession(bot, now);
}

void TLoadRun::BeginSession(TBot& bot, int64_t now) {
    if (!options.wsPath.empty()) {
        bot.state = TBot::TState::Upgrading;
        bot.key = ws::MakeKey(uint64_t(now) ^ uint64_t(bot.index));
        std::string request = ws::UpgradeRequest(options.server, options.wsPath, bot.key);
        if (!SendBytes(bot, reinterpret_cast<const uint8_t*>(request.data()), request.size()))
            Drop(bot, counters.closed);
        return;
    }
    SendLogin(bot, now);
}

void TLoadRun::SendLogin(TBot& bot, int64_t now) {
    bot.state = TBot::TState::LoggingIn;
    TPacket packet;
    ClearPacket(packet);
    std::string nick = BotNick(options, bot.index);
    std::string site = BotSite(bot.index, options.sites);
    int32_t stamp = LoginStamp(uint32_t((now / 1000000) % 86400000));
    int length = BuildLogin(packet, nick, options.password, "1.4.0.0", site, ALL_LANGUAGES, stamp);
    EncodePacket(packet, length, REQ_LOGIN, NextKeyOffset());
    if (!SendPacketBytes(bot, packet.bytes, size_t(length)))
        Drop(bot, counters.closed);
}

void TLoadRun::HandlePacket(TBot& bot, const TPacket& packet, int64_t now) {
    switch (packet.Type()) {
    case MSG_PRESENCE: {
        TPresenceMsg presence = ReadPresence(packet);
        if (presence.chatKey != 0 && bot.state == TBot::TState::LoggingIn) {
            bot.state = TBot::TState::SignedIn;
            bot.id = presence.user;
            --pendingLogins;
            ++counters.signedIn;
            counters.lastSignInNs = now;
            return;
        }
        if (presence.listFlag == 0 && presence.user != bot.id) {
            ++counters.presenceOthers;
            counters.lastPresenceNs = now;
        }
        return;
    }
    case MSG_CHAT_LINE: {
        TChatLineMsg line = ReadChatLine(packet);
        if (line.command != CHAT_PLAIN || line.address.Chat() != 0)
            return;
        auto stamp = ReadChatStamp(line.text);
        if (!stamp)
            return;
        int64_t micros = (now - int64_t(stamp->sentNanos)) / 1000;
        latency.Add(micros > 0 ? uint64_t(micros) : 0);
        ++counters.linesDelivered;
        if (measuringChat)
            ++counters.deliveredInChat;
        return;
    }
    case MSG_MARK:
        if (ReadMark(packet).mark == MARK_IGNORED)
            ++counters.ignoresHeld;
        return;
    case MSG_END_SESSION:
        Drop(bot, bot.state == TBot::TState::SignedIn ? counters.closed : counters.refused);
        return;
    default:
        return;
    }
}

TLoadRun::TReadResult TLoadRun::ReadSome(TBot& bot, uint8_t* data, size_t size, size_t& got) {
    got = 0;
    if (bot.tls) {
        TTlsStatus status = TlsRead(bot.tls.get(), data, size, got);
        if (status == TTlsStatus::Done)
            return TReadResult::Data;
        return status == TTlsStatus::WantRead || status == TTlsStatus::WantWrite
                   ? TReadResult::Empty
                   : TReadResult::End;
    }
    ssize_t n = ::recv(bot.fd, data, size, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return TReadResult::Empty;
    if (n <= 0)
        return TReadResult::End;
    got = size_t(n);
    return TReadResult::Data;
}

void TLoadRun::ReadFrom(TBot& bot, int64_t now) {
    static uint8_t buffer[64 * 1024];
    // A few reads per turn, so one busy bot cannot starve the others; but
    // bytes that TLS has already taken off the socket are not signalled
    // again, so those are read out.
    for (int round = 0; bot.fd >= 0; ++round) {
        if (round >= 4 && !(bot.tls && TlsHasPending(bot.tls.get())))
            break;
        size_t got = 0;
        TReadResult result = ReadSome(bot, buffer, sizeof buffer, got);
        if (result == TReadResult::End) {
            Drop(bot, bot.state == TBot::TState::SignedIn ? counters.closed : counters.refused);
            return;
        }
        if (result == TReadResult::Empty || !TakeInput(bot, buffer, got, now))
            break;
        if (!bot.tls && got < sizeof buffer)
            break;
    }
    // A TLS write may have waited on the peer's bytes.
    if (bot.fd >= 0 && bot.tls && !bot.unsent.empty())
        FlushPending(bot);
}

bool TLoadRun::TakeInput(TBot& bot, uint8_t* data, size_t size, int64_t now) {
    if (bot.state == TBot::TState::Upgrading)
        return TakeUpgrade(bot, data, size, now);
    if (bot.decoder)
        return TakeFrames(bot, data, size, now);
    return TakePackets(bot, data, size, now);
}

bool TLoadRun::TakePackets(TBot& bot, const uint8_t* data, size_t size, int64_t now) {
    size_t offset = 0;
    while (offset < size && bot.fd >= 0) {
        size_t consumed = 0;
        TPacket packet;
        TAssembleResult result = bot.assembler.Next(data + offset, size - offset, consumed, packet);
        offset += consumed;
        if (result == TAssembleResult::Broken) {
            Drop(bot, counters.broken);
            return false;
        }
        if (result == TAssembleResult::Packet)
            HandlePacket(bot, packet, now);
        if (result == TAssembleResult::NeedMore)
            break;
    }
    return bot.fd >= 0;
}

// The 101 answer, then the login; frames right behind the answer are read.
bool TLoadRun::TakeUpgrade(TBot& bot, uint8_t* data, size_t size, int64_t now) {
    constexpr size_t MAX_ANSWER_HEAD = 4096;
    size_t before = bot.head.size();
    bot.head.append(reinterpret_cast<const char*>(data), std::min(size, MAX_ANSWER_HEAD));
    size_t end = web::FindHeadEnd(bot.head);
    if (end == std::string::npos) {
        if (bot.head.size() < MAX_ANSWER_HEAD)
            return true;
        Drop(bot, counters.refused);
        return false;
    }
    if (!ws::CheckUpgradeResponse(std::string_view(bot.head).substr(0, end), bot.key)) {
        Drop(bot, counters.refused);
        return false;
    }
    size_t used = end - before;
    std::string().swap(bot.head);
    bot.decoder = std::make_unique<ws::TFrameDecoder>(ws::TRole::Client, ws::MAX_SERVER_MESSAGE);
    SendLogin(bot, now);
    return bot.fd >= 0 && TakeFrames(bot, data + used, size - used, now);
}

bool TLoadRun::TakeFrames(TBot& bot, uint8_t* data, size_t size, int64_t now) {
    using TKind = ws::TFrameEvent::TKind;
    size_t at = 0;
    while (bot.fd >= 0) {
        size_t used = 0;
        ws::TFrameEvent event = bot.decoder->Next(data + at, size - at, used);
        at += used;
        if (event.kind == TKind::NeedMore)
            return true;
        if (event.kind == TKind::Data && !TakePackets(bot, event.data, event.size, now))
            return false;
        if (event.kind == TKind::Ping) {
            std::string pong;
            const uint8_t mask[4] = {0x11, 0x22, 0x33, 0x44};
            ws::AppendFrame(pong, ws::TOpcode::Pong,
                            std::string_view(reinterpret_cast<const char*>(event.data), event.size),
                            true, mask);
            SendBytes(bot, reinterpret_cast<const uint8_t*>(pong.data()), pong.size());
        }
        if (event.kind == TKind::Close || event.kind == TKind::Error) {
            Drop(bot, bot.state == TBot::TState::SignedIn ? counters.closed : counters.broken);
            return false;
        }
    }
    return false;
}

void TLoadRun::HandleEvent(TBot& bot, uint32_t events, int64_t now) {
    if (bot.fd < 0)
        return;
    if (bot.state == TBot::TState::Connecting) {
        if (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))
            FinishConnect(bot, now);
        return;
    }
    if (bot.state == TBot::TState::Handshaking) {
        ContinueHandshake(bot, now);
        return;
    }
    if (events & EPOLLOUT)
        FlushPending(bot);
    if (events & (EPOLLIN | EPOLLERR | EPOLLHUP))
        ReadFrom(bot, now);
}

void TLoadRun::SendDueLines(int64_t now) {
    if (options.rate <= 0 || chatters.empty())
        return;
    double totalRate = options.rate * double(chatters.size());
    uint64_t due = uint64_t(double(now - chatStartNs) / double(NS_PER_SECOND) * totalRate);
    uint64_t attempted = counters.linesSent + counters.linesSkipped;
    size_t budget = MAX_LINES_PER_TURN;
    TPacket packet;
    while (attempted < due && budget-- > 0) {
        TBot& bot = *chatters[chatCursor];
        chatCursor = (chatCursor + 1) % chatters.size();
        ++attempted;
        if (bot.fd < 0 || !bot.unsent.empty()) {
            ++counters.linesSkipped;
            continue;
        }
        ClearPacket(packet);
        std::string text =
            StampedChatText(uint64_t(NowNs()), uint32_t(bot.index), size_t(options.textLength));
        int length = BuildChatText(packet, MakeChatAddress(bot.id, ChatId(0)), text);
        EncodePacket(packet, length, REQ_CHAT_TEXT, NextKeyOffset());
        if (!SendPacketBytes(bot, packet.bytes, size_t(length))) {
            Drop(bot, counters.closed);
            ++counters.linesSkipped;
            continue;
        }
        ++counters.linesSent;
        counters.expectedDeliveries += sitePopulation[size_t(bot.index % options.sites)] - 1;
    }
    // Lines that did not fit into this turn are given up, not sent in a burst later.
    if (attempted < due)
        counters.linesSkipped += due - attempted;
}

void TLoadRun::SendDueIgnores() {
    size_t budget = MAX_LINES_PER_TURN;
    TPacket packet;
    for (auto& owned : bots) {
        TBot& bot = *owned;
        // A bot whose socket holds back bytes waits: they must go first.
        while (bot.state == TBot::TState::SignedIn && bot.unsent.empty() &&
               bot.ignoresSent < options.ignores && budget > 0) {
            ClearPacket(packet);
            const auto target = UserId(options.ignoreFirstId + bot.ignoresSent);
            int length = BuildMarkChange(packet, target, MARK_SET);
            EncodePacket(packet, length, REQ_IGNORE_CHANGE, NextKeyOffset());
            ++bot.ignoresSent;
            --budget;
            if (!SendPacketBytes(bot, packet.bytes, size_t(length)))
                Drop(bot, counters.closed);
        }
    }
}

void TLoadRun::HoldIgnores() {
    if (options.ignores == 0)
        return;
    constexpr int64_t MAX_WAIT_NS = 120 * NS_PER_SECOND;
    const uint64_t wanted = counters.signedIn * uint64_t(options.ignores);
    Loop(
        NowNs() + MAX_WAIT_NS, [&] { return counters.ignoresHeld >= wanted; }, TWork::Ignores);
}

void TLoadRun::Loop(int64_t until, const std::function<bool()>& done, TWork work) {
    epoll_event events[MAX_EVENTS];
    for (;;) {
        int64_t now = NowNs();
        if (now >= until || done())
            return;
        StartConnections(now);
        if (work == TWork::Chat)
            SendDueLines(now);
        if (work == TWork::Ignores)
            SendDueIgnores();
        int64_t waitMs =
            std::min<int64_t>((until - now) / 1000000 + 1, work == TWork::None ? 10 : 1);
        int n = ::epoll_wait(epollFd, events, MAX_EVENTS, int(waitMs));
        now = NowNs();
        for (int i = 0; i < n; ++i)
            HandleEvent(*static_cast<TBot*>(events[i].data.ptr), events[i].events, now);
    }
}

void TLoadRun::BeginChat() {
    sitePopulation.assign(size_t(options.sites), 0);
    for (auto& bot : bots) {
        if (bot->state != TBot::TState::SignedIn)
            continue;
        chatters.push_back(bot.get());
        ++sitePopulation[size_t(bot->index % options.sites)];
    }
    chatStartNs = NowNs();
    measuringChat = true;
}

} // namespace navlet::load
