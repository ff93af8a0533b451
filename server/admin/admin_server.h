// The loopback-only admin endpoint: one command per line, one answer each
// (admin_protocol.md). Connections from any other address are refused.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <string>

#include "server/core/restriction_rules.h"
#include "server/core/service.h"
#include "server/net/tcp_acceptor.h"

namespace navlet::server {

// An operator's connection that sends no whole line for this long is closed.
inline constexpr auto ADMIN_IDLE_DEADLINE = std::chrono::seconds(60);

class TAdminServer {
  public:
    // `connections` reports the live session count for STATS and /metrics,
    // `webSocketSessions` how many of them run over WebSocket.
    TAdminServer(asio::io_context& io, TService& service, std::function<size_t()> connections,
                 std::function<size_t()> webSocketSessions = nullptr);

    // Address ranges (ADDR/BITS) whose peers may connect besides loopback
    // ones; false with `error` for one that does not parse.
    bool Allow(const std::vector<std::string>& ranges, std::string& error);
    // How many password checks wait, for /metrics.
    void SetPasswordQueue(std::function<size_t()> queued) { passwordQueue = std::move(queued); }
    // Refuses an endpoint that is not a loopback address unless ranges are
    // allowed (the monitoring network's).
    bool Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error);
    uint16_t Port() const;
    void Shutdown();

  private:
    TService& service;
    std::function<size_t()> connections;
    std::function<size_t()> webSocketSessions;
    std::function<size_t()> passwordQueue;
    std::vector<TAddressRange> allowed;
    TTcpAcceptor acceptor;
};

// Whether a peer may use the admin endpoint: a loopback address, or one of
// the allowed ranges.
bool AdminPeerAllowed(const asio::ip::address& peer, const std::vector<TAddressRange>& allowed);

} // namespace navlet::server
