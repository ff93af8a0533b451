// The session listener and the set of live sessions on one event loop: accept
// with per-address bounds, a once-per-turn flush of every session that has
// output, and a one-second sweep for sign-in deadlines and banner rotation.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/core/service.h"
#include "server/net/limits.h"

namespace navlet::server {

class TSession;

class TSessionServer {
  public:
    TSessionServer(asio::io_context& io, TService& service, TSessionLimits limits);
    ~TSessionServer();

    // Binds and listens (backlog 4096). False with `error` set when it cannot.
    bool Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error);
    uint16_t Port() const;
    // Closes the listener and every session.
    void Shutdown();

    size_t ConnectionCount() const { return sessions.size(); }

    // For sessions.
    asio::io_context& Io() { return io; }
    TService& Service() { return service; }
    const TSessionLimits& Limits() const { return limits; }
    int64_t NowMs() const;
    std::array<uint8_t, 65536>& ReadBuffer() { return readBuffer; }
    std::array<uint8_t, 65536>& WriteBuffer() { return writeBuffer; }
    void QueueFlush(std::shared_ptr<TSession> session);
    // Flushes the session when the presence wait is over.
    void QueuePresenceFlush(std::shared_ptr<TSession> session);
    void Forget(TSession& session);
    void SignedIn(TSession& session);

  private:
    struct TAddressCount {
        size_t connections = 0;
        size_t signingIn = 0;
    };

    void Accept();
    void OnAccepted(asio::ip::tcp::socket socket);
    void FlushQueued();
    void Sweep();

    asio::io_context& io;
    TService& service;
    TSessionLimits limits;
    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer acceptRetry;
    asio::steady_timer sweepTimer;
    asio::steady_timer presenceTimer;
    std::vector<std::shared_ptr<TSession>> presenceQueue;
    bool presenceTimerSet = false;
    std::unordered_map<TSession*, std::shared_ptr<TSession>> sessions;
    std::unordered_map<std::string, TAddressCount> perAddress;
    std::vector<std::shared_ptr<TSession>> flushQueue;
    bool flushPosted = false;
    unsigned sweeps = 0;
    bool shuttingDown = false;
    std::array<uint8_t, 65536> readBuffer;
    std::array<uint8_t, 65536> writeBuffer;
};

} // namespace navlet::server
