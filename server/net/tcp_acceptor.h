// One TCP listener for the session port, the admin endpoint and the web
// site: it accepts on the owner's event loop, backs off for a moment when
// accepting fails (out of descriptors: accepting again at once would spin),
// and hands each accepted socket, with its peer, to the owner's callback.
// What an owner admits stays its own policy; the per-address counts it
// bounds by live in TAddressCounts.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>

namespace navlet::server {

// Live connections per address. An address that holds none has no entry.
class TAddressCounts {
  public:
    size_t Of(const std::string& address) const;
    // Distinct addresses holding at least one.
    size_t Addresses() const { return counts.size(); }
    void Take(const std::string& address) { ++counts[address]; }
    // A connection of `address` has ended; nothing when it holds none.
    void Release(const std::string& address);

  private:
    std::unordered_map<std::string, size_t> counts;
};

class TTcpAcceptor {
  public:
    using TOnAccepted = std::function<void(asio::ip::tcp::socket, const asio::ip::tcp::endpoint&)>;
    static constexpr auto RETRY_AFTER = std::chrono::milliseconds(100);

    explicit TTcpAcceptor(asio::io_context& io);
    TTcpAcceptor(const TTcpAcceptor&) = delete;
    TTcpAcceptor& operator=(const TTcpAcceptor&) = delete;

    // Binds (SO_REUSEADDR only: a port another server holds must fail) and
    // listens, then accepts until Close. False with `error` set when it
    // cannot; the acceptor is closed then. `onAccepted` runs on the loop for
    // each socket whose peer is known.
    bool Listen(const asio::ip::tcp::endpoint& endpoint, int backlog, TOnAccepted onAccepted,
                std::error_code& error);
    uint16_t Port() const;
    // Stops accepting and closes the listener; safe to call twice.
    void Close();

  private:
    void Accept();

    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retry;
    TOnAccepted onAccepted;
    size_t failures = 0; // accepts failed in a row
};

} // namespace navlet::server
