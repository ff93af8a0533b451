#include "server/net/session_server.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "server/log/refusals.h"
#include "server/net/proxy_header.h"
#include "server/net/session.h"
#include "server/net/ws_link.h"

namespace navlet::server {

namespace {

constexpr int LISTEN_BACKLOG = 4096;
// A proxy writes its header at once; a connection still silent after this
// is refused.
constexpr int64_t PROXY_HEADER_DEADLINE_MS = 10000;
constexpr auto SWEEP_INTERVAL = std::chrono::seconds(1);
// Free heap past this goes back to the system at the next sweep: a sign-in
// storm's leftovers would otherwise stay resident beside the idle sessions.
constexpr size_t TRIM_FREE_BYTES = 256u << 10;
// A spare is at most a busy turn's fan-out; what a burst such as a welcome
// made larger goes back to the heap.
constexpr size_t MAX_SPARE_OUTPUT = 16u << 10;

} // namespace

TSessionServer::TSessionServer(asio::io_context& io, TService& service, TSessionLimits limits,
                               const TClock& clock)
    : io(io), service(service), limits(limits), clock(clock), acceptor(io), sweepTimer(io),
      presenceTimer(io) {}

TSessionServer::~TSessionServer() {
    Shutdown();
}

bool TSessionServer::Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error) {
    std::error_code ec;
    if (!acceptor.Listen(
            endpoint, LISTEN_BACKLOG,
            [this](asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer) {
                OnAccepted(std::move(socket), peer);
            },
            ec)) {
        error = ec.message();
        return false;
    }
    Sweep();
    return true;
}

uint16_t TSessionServer::Port() const {
    return acceptor.Port();
}

void TSessionServer::Shutdown() {
    if (shuttingDown)
        return;
    shuttingDown = true;
    acceptor.Close();
    sweepTimer.cancel();
    presenceTimer.cancel();
    presenceQueue.clear();
    std::vector<std::shared_ptr<TSession>> all;
    for (auto& session : sessions) {
        session->Mute();
        all.push_back(session);
    }
    for (auto& session : all)
        session->Close();
    auto proxied = proxyWaits;
    for (auto& [raw, wait] : proxied)
        EndProxyWait(wait, "");
    auto waiting = lingering;
    for (auto& [raw, session] : waiting)
        session->CloseSocket();
    lingering.clear();
    flushQueue.clear();
    std::vector<std::string>().swap(spareOutput);
}

void TSessionServer::Farewell(std::string_view reason) {
    acceptor.Close();
    farewell = true;
    std::vector<std::shared_ptr<TSession>> all = sessions;
    for (auto& session : all)
        session->Farewell(reason);
}

size_t TSessionServer::WebSocketCount() const {
    size_t count = 0;
    for (const auto& session : sessions)
        count += session->OverWebSocket() ? 1 : 0;
    return count;
}

// An address the operator banned is refused before it costs a session; a
// flood of its attempts is summarised in the log.
bool TSessionServer::Barred(const std::string& address) {
    if (!service.Restrictions().AddressBarred(address))
        return false;
    if (log::NoteRefusal(log::TLevel::Info, "session", "connections refused for a ban", address))
        log::Info("session", "connection refused", {{"address", address}, {"bound", "banned"}});
    return true;
}

// A connection from a trusted proxy, until its first bytes say whom it carries.
struct TSessionServer::TProxyWait {
    TProxyWait(asio::ip::tcp::socket socket, std::string proxy, asio::io_context& io)
        : socket(std::move(socket)), proxy(std::move(proxy)), timer(io) {}
    asio::ip::tcp::socket socket;
    std::string proxy;
    asio::steady_timer timer;
    std::string bytes;
    std::array<char, 256> chunk;
};

void TSessionServer::OnAccepted(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer) {
    std::string address = peer.address().to_string();
    if (!shuttingDown && !farewell && IsTrustedProxy(peer.address()) &&
        proxyWaits.size() < limits.maxConnections) {
        auto wait = std::make_shared<TProxyWait>(std::move(socket), std::move(address), io);
        proxyWaits.emplace(wait.get(), wait);
        wait->timer.expires_after(std::chrono::milliseconds(PROXY_HEADER_DEADLINE_MS));
        wait->timer.async_wait([this, wait](const std::error_code& ec) {
            if (!ec)
                EndProxyWait(wait, "no PROXY header in time");
        });
        ReadProxyHeader(wait);
        return;
    }
    BeginTcp(std::move(socket), address, {});
}

// A bar's TCP connection counted as `address`, if the bounds admit it.
void TSessionServer::BeginTcp(asio::ip::tcp::socket socket, const std::string& address,
                              std::string early) {
    if (shuttingDown || farewell || Barred(address) || !Admit(address)) {
        std::error_code ec;
        socket.close(ec);
        return;
    }
    Begin(std::move(socket), address, nullptr, {}, std::move(early));
}

bool TSessionServer::IsTrustedProxy(const asio::ip::address& address) const {
    return std::find(trustedProxies.begin(), trustedProxies.end(), address) != trustedProxies.end();
}

// The session begins once the bytes tell a header (whose client it then
// counts as) from the bar's own first packet (counted as the proxy's, as a
// health check or a bar on the proxy's machine would be).
void TSessionServer::ReadProxyHeader(std::shared_ptr<TProxyWait> wait) {
    wait->socket.async_read_some(
        asio::buffer(wait->chunk), [this, wait](const std::error_code& ec, size_t n) {
            // Aborted: already ended (its deadline, or shutdown), perhaps
            // with the server gone since.
            if (ec == asio::error::operation_aborted)
                return;
            if (ec)
                return EndProxyWait(wait, ""); // the peer went away
            wait->bytes.append(wait->chunk.data(), n);
            proxy::TResult read = proxy::Parse(wait->bytes);
            if (read.verdict == proxy::TVerdict::More)
                return ReadProxyHeader(wait);
            if (read.verdict == proxy::TVerdict::Invalid)
                return EndProxyWait(wait, "a PROXY header out of form");
            std::string address = read.client.empty() ? wait->proxy : read.client;
            std::string early = wait->bytes.substr(read.length);
            asio::ip::tcp::socket socket = std::move(wait->socket);
            EndProxyWait(wait, "");
            BeginTcp(std::move(socket), address, std::move(early));
        });
}

void TSessionServer::EndProxyWait(const std::shared_ptr<TProxyWait>& wait,
                                  std::string_view refused) {
    if (!refused.empty() &&
        log::NoteRefusal(log::TLevel::Warn, "session", "proxied connections refused", wait->proxy))
        log::Warn("session", "proxied connection refused",
                  {{"proxy", wait->proxy}, {"why", refused}});
    wait->timer.cancel();
    std::error_code ignored;
    if (wait->socket.is_open())
        wait->socket.close(ignored);
    proxyWaits.erase(wait.get());
}

void TSessionServer::AdoptWebSocket(asio::ip::tcp::socket socket, const std::string& address,
                                    std::string response, std::string early) {
    std::error_code ec;
    const bool barred = Barred(address);
    if (barred || shuttingDown || farewell || !Admit(address)) {
        static const std::string busy =
            "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        static const std::string forbidden =
            "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        socket.non_blocking(true, ec);
        socket.write_some(asio::buffer(barred ? forbidden : busy), ec);
        socket.close(ec);
        return;
    }
    Begin(std::move(socket), address, std::make_unique<TWsLink>(), std::move(response),
          std::move(early));
}

bool TSessionServer::Admit(const std::string& address) {
    std::string_view bound = sessions.size() >= limits.maxConnections         ? "connections"
                             : perAddress.Of(address) >= limits.maxPerAddress ? "per-address"
                             : signingInPerAddress.Of(address) >= limits.maxSigningInPerAddress
                                 ? "signing-in-per-address"
                                 : "";
    if (!bound.empty()) {
        if (log::NoteRefusal(log::TLevel::Warn, "session", "connections refused past a bound",
                             address))
            log::Warn("session", "connection refused", {{"address", address}, {"bound", bound}});
        return false;
    }
    perAddress.Take(address);
    signingInPerAddress.Take(address);
    return true;
}

void TSessionServer::Begin(asio::ip::tcp::socket socket, const std::string& address,
                           std::unique_ptr<TWsLink> ws, std::string greeting, std::string early) {
    // The socket moves to the loop's own executor type (session.h).
    std::error_code ec;
    auto protocol = socket.local_endpoint(ec).protocol();
    TSessionSocket own(io);
    if (!ec) {
        auto handle = socket.release(ec);
        if (!ec) {
            own.assign(protocol, handle, ec);
            if (ec)
                ::close(handle);
        }
    }
    if (ec) {
        std::error_code ignored;
        socket.close(ignored);
        perAddress.Release(address);
        signingInPerAddress.Release(address);
        return;
    }
    auto session = std::make_shared<TSession>(*this, std::move(own), address, std::move(ws));
    session->SetSlot(sessions.size());
    sessions.push_back(session);
    session->Start(std::move(greeting), std::move(early));
}

void TSessionServer::Lingering(std::shared_ptr<TSession> session) {
    TSession* raw = session.get();
    lingering.emplace(raw, std::move(session));
}

void TSessionServer::DoneLingering(TSession& session) {
    lingering.erase(&session);
}

void TSessionServer::QueueFlush(std::shared_ptr<TSession> session) {
    flushQueue.push_back(std::move(session));
}

void TSessionServer::QueuePresenceFlush(std::shared_ptr<TSession> session) {
    presenceQueue.push_back(std::move(session));
    if (presenceTimerSet)
        return;
    presenceTimerSet = true;
    presenceTimer.expires_after(std::chrono::milliseconds(limits.presenceWaitMs));
    presenceTimer.async_wait([this](const std::error_code& ec) {
        presenceTimerSet = false;
        if (ec || shuttingDown)
            return;
        std::vector<std::shared_ptr<TSession>> batch;
        batch.swap(presenceQueue);
        for (auto& session : batch)
            session->FlushWaitingPresence();
    });
}

void TSessionServer::TakeOutputBuffer(std::string& into) {
    ++outputTakenThisTurn;
    if (spareOutput.empty())
        return;
    into.swap(spareOutput.back());
    spareOutput.pop_back();
}

void TSessionServer::GiveOutputBuffer(std::string& from) {
    std::string buffer;
    buffer.swap(from);
    // A string's own few bytes (no heap) are no buffer to share.
    static const size_t INLINE_CAPACITY = std::string().capacity();
    if (buffer.capacity() <= INLINE_CAPACITY || buffer.capacity() > MAX_SPARE_OUTPUT ||
        shuttingDown)
        return;
    buffer.clear();
    spareOutput.push_back(std::move(buffer));
}

void TSessionServer::EndTurn() {
    // A flush may queue more (a welcome's next part): that waits for the
    // next turn.
    flushing.swap(flushQueue);
    flushPeak = std::max(flushPeak, flushing.size());
    for (auto& session : flushing)
        session->Flush();
    flushing.clear();
    outputTakenPeak = std::max(outputTakenPeak, outputTakenThisTurn);
    outputTakenThisTurn = 0;
    queuedThisTurn = 0;
}

void TSessionServer::SignedIn(TSession& session) {
    signingInPerAddress.Release(session.Address());
}

void TSessionServer::Remove(TSession& session) {
    perAddress.Release(session.Address());
    if (session.CountedSigningIn())
        signingInPerAddress.Release(session.Address());
    // The last one takes its place.
    const size_t slot = session.Slot();
    if (slot >= sessions.size() || sessions[slot].get() != &session)
        return;
    if (slot + 1 != sessions.size()) {
        sessions[slot] = std::move(sessions.back());
        sessions[slot]->SetSlot(slot);
    }
    sessions.pop_back();
}

void TSessionServer::Sweep() {
    if (shuttingDown)
        return;
    service.Tick();
    int64_t now = NowMs();
    std::vector<std::shared_ptr<TSession>> late;
    for (auto& session : sessions) {
        session->EndAfterReason(now);
        session->ReleaseIdleOutput();
        // A login whose password waits for its check is the server's delay,
        // not the peer's: the deadline waits too.
        bool signInLate = !session->SignedIn() && !session->Ending() && !session->CheckingLogin() &&
                          now - session->AcceptedMs() > limits.signInDeadlineMs;
        bool endLate = session->ClosingSinceMs() != 0 &&
                       now - session->ClosingSinceMs() > limits.closingDeadlineMs;
        bool quiet = session->KeepAlive(now);
        if (signInLate || endLate || quiet)
            late.push_back(session);
    }
    for (auto& session : late)
        session->Close();
    // Spares beyond what the busiest turn since the last sweep took go back
    // to the heap: after a second of quiet, none are left.
    if (spareOutput.size() > outputTakenPeak)
        spareOutput.resize(outputTakenPeak);
    if (spareOutput.empty())
        std::vector<std::string>().swap(spareOutput);
    outputTakenPeak = 0;
    // The flush lists keep their room between turns, for a fan-out's next
    // turn; after a second without such turns (a storm's room is one slot
    // for every session) they give it back.
    for (auto* list : {&flushing, &flushQueue}) {
        const size_t keep = std::max(flushPeak, list->size());
        if (list->capacity() <= 2 * keep + 16)
            continue;
        std::vector<std::shared_ptr<TSession>> smaller;
        smaller.reserve(keep);
        std::move(list->begin(), list->end(), std::back_inserter(smaller));
        list->swap(smaller);
    }
    flushPeak = 0;
#ifdef __GLIBC__
    // Bursts (a presence storm, a slow reader's queue) leave freed memory
    // scattered in the heap; hand it back so that idle sessions cost what
    // they hold. Only when there is much of it: the trim walks the heap.
    if (mallinfo2().fordblks > TRIM_FREE_BYTES)
        malloc_trim(0);
#endif
    sweepTimer.expires_after(SWEEP_INTERVAL);
    sweepTimer.async_wait([this](const std::error_code& ec) {
        if (!ec && !shuttingDown)
            Sweep();
    });
}

} // namespace navlet::server
