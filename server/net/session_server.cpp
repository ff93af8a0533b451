#include "server/net/session_server.h"

#include <chrono>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "server/net/session.h"
#include "server/net/ws_link.h"

namespace navlet::server {

namespace {

constexpr int LISTEN_BACKLOG = 4096;
constexpr auto SWEEP_INTERVAL = std::chrono::seconds(1);
constexpr auto ACCEPT_RETRY = std::chrono::milliseconds(100);
constexpr unsigned TRIM_EVERY_SWEEPS = 5;

} // namespace

TSessionServer::TSessionServer(asio::io_context& io, TService& service, TSessionLimits limits,
                               const TClock& clock)
    : io(io), service(service), limits(limits), clock(clock), acceptor(io), acceptRetry(io),
      sweepTimer(io), presenceTimer(io) {}

TSessionServer::~TSessionServer() {
    Shutdown();
}

bool TSessionServer::Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error) {
    std::error_code ec;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(LISTEN_BACKLOG, ec);
    if (ec) {
        error = ec.message();
        std::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    Accept();
    Sweep();
    return true;
}

uint16_t TSessionServer::Port() const {
    std::error_code ec;
    auto endpoint = acceptor.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void TSessionServer::Shutdown() {
    if (shuttingDown)
        return;
    shuttingDown = true;
    std::error_code ec;
    acceptor.close(ec);
    acceptRetry.cancel();
    sweepTimer.cancel();
    presenceTimer.cancel();
    presenceQueue.clear();
    std::vector<std::shared_ptr<TSession>> all;
    for (auto& [raw, session] : sessions) {
        session->Mute();
        all.push_back(session);
    }
    for (auto& session : all)
        session->Close();
    auto waiting = lingering;
    for (auto& [raw, session] : waiting)
        session->CloseSocket();
    lingering.clear();
    flushQueue.clear();
}

void TSessionServer::Accept() {
    acceptor.async_accept([this](const std::error_code& ec, asio::ip::tcp::socket socket) {
        if (shuttingDown || ec == asio::error::operation_aborted)
            return;
        if (ec) {
            // Out of descriptors or a transient failure: back off briefly.
            acceptRetry.expires_after(ACCEPT_RETRY);
            acceptRetry.async_wait([this](const std::error_code& e) {
                if (!e && !shuttingDown)
                    Accept();
            });
            return;
        }
        OnAccepted(std::move(socket));
        Accept();
    });
}

void TSessionServer::OnAccepted(asio::ip::tcp::socket socket) {
    std::error_code ec;
    auto peer = socket.remote_endpoint(ec);
    if (ec)
        return;
    std::string address = peer.address().to_string();
    if (!Admit(address)) {
        socket.close(ec);
        return;
    }
    Begin(std::move(socket), address, nullptr, {}, {});
}

void TSessionServer::AdoptWebSocket(asio::ip::tcp::socket socket, const std::string& address,
                                    std::string response, std::string early) {
    std::error_code ec;
    if (shuttingDown || !Admit(address)) {
        static const std::string busy =
            "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        socket.non_blocking(true, ec);
        socket.write_some(asio::buffer(busy), ec);
        socket.close(ec);
        return;
    }
    Begin(std::move(socket), address, std::make_unique<TWsLink>(), std::move(response),
          std::move(early));
}

bool TSessionServer::Admit(const std::string& address) {
    TAddressCount& count = perAddress[address];
    if (sessions.size() >= limits.maxConnections || count.connections >= limits.maxPerAddress ||
        count.signingIn >= limits.maxSigningInPerAddress) {
        if (count.connections == 0)
            perAddress.erase(address);
        return false;
    }
    ++count.connections;
    ++count.signingIn;
    return true;
}

void TSessionServer::Begin(asio::ip::tcp::socket socket, const std::string& address,
                           std::unique_ptr<TWsLink> ws, std::string greeting, std::string early) {
    auto session = std::make_shared<TSession>(*this, std::move(socket), address, std::move(ws));
    sessions.emplace(session.get(), session);
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

void TSessionServer::EndTurn() {
    // A flush may queue more (a welcome's next part): that waits for the
    // next turn.
    flushing.swap(flushQueue);
    for (auto& session : flushing)
        session->Flush();
    flushing.clear();
}

void TSessionServer::SignedIn(TSession& session) {
    auto it = perAddress.find(session.Address());
    if (it != perAddress.end() && it->second.signingIn > 0)
        --it->second.signingIn;
}

void TSessionServer::Remove(TSession& session) {
    auto it = perAddress.find(session.Address());
    if (it != perAddress.end()) {
        --it->second.connections;
        if (session.CountedSigningIn() && it->second.signingIn > 0)
            --it->second.signingIn;
        if (it->second.connections == 0)
            perAddress.erase(it);
    }
    sessions.erase(&session);
}

void TSessionServer::Sweep() {
    if (shuttingDown)
        return;
    service.Tick();
    int64_t now = NowMs();
    std::vector<std::shared_ptr<TSession>> late;
    for (auto& [raw, session] : sessions) {
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
#ifdef __GLIBC__
    // Bursts (a presence storm, a slow reader's queue) leave freed memory
    // scattered in the heap; hand it back so that idle sessions cost what
    // they hold.
    if (++sweeps % TRIM_EVERY_SWEEPS == 0)
        malloc_trim(0);
#endif
    sweepTimer.expires_after(SWEEP_INTERVAL);
    sweepTimer.async_wait([this](const std::error_code& ec) {
        if (!ec && !shuttingDown)
            Sweep();
    });
}

} // namespace navlet::server
