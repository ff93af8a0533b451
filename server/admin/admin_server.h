// The loopback-only admin endpoint: one command per line, one answer each
// (admin_protocol.md). Connections from any other address are refused.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <string>

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

    // Refuses an endpoint that is not a loopback address.
    bool Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error);
    uint16_t Port() const;
    void Shutdown();

  private:
    TService& service;
    std::function<size_t()> connections;
    std::function<size_t()> webSocketSessions;
    TTcpAcceptor acceptor;
};

} // namespace navlet::server
