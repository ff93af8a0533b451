// The session listener and the set of live sessions on one event loop: accept
// with per-address bounds, a flush of every session that has output at the
// end of each loop turn, and a one-second sweep for sign-in deadlines and
// banner rotation.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/core/service.h"
#include "server/net/limits.h"
#include "server/net/tcp_acceptor.h"

namespace navlet::server {

class TSession;
struct TWsLink;

class TSessionServer {
  public:
    // Deadlines and rates are measured on `clock`, which outlives the server.
    TSessionServer(asio::io_context& io, TService& service, TSessionLimits limits,
                   const TClock& clock);
    ~TSessionServer();

    // Binds and listens (backlog 4096). False with `error` set when it cannot.
    bool Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error);
    uint16_t Port() const;
    // Closes the listener and every session.
    void Shutdown();
    // Takes no more sessions and says goodbye to each (TSession::Farewell);
    // the sessions close as their last bytes go out. ConnectionCount tells
    // how many are left.
    void Farewell(std::string_view reason);

    // A connection upgraded to a WebSocket on the web site's port becomes a
    // session like an accepted one, within the same bounds (counted with the
    // TCP sessions of `address`). It is answered with `response` (the 101)
    // and reads `early` (what followed the upgrade's head) first; refused,
    // it gets a 503. On the loop's thread.
    void AdoptWebSocket(asio::ip::tcp::socket socket, const std::string& address,
                        std::string response, std::string early);

    size_t ConnectionCount() const { return sessions.size(); }
    // Of those, the sessions over WebSocket (counted when asked).
    size_t WebSocketCount() const;
    // Ticks the service and closes the sessions past a deadline now, and
    // again a second later, as it does every second. On the loop's thread.
    void Sweep();

    // For sessions.
    asio::io_context& Io() { return io; }
    TService& Service() { return service; }
    const TSessionLimits& Limits() const { return limits; }
    // Proxies whose connections may begin with a PROXY header naming the
    // client, which then counts as the connection's address.
    void SetTrustedProxies(std::vector<asio::ip::address> proxies) {
        trustedProxies = std::move(proxies);
    }
    // A reload's new bounds per address; connections already open stay.
    void SetAddressLimits(size_t maxPerAddress, size_t maxSigningInPerAddress) {
        limits.maxPerAddress = maxPerAddress;
        limits.maxSigningInPerAddress = maxSigningInPerAddress;
    }
    int64_t NowMs() const { return clock.NowMs(); }
    std::array<uint8_t, 65536>& ReadBuffer() { return readBuffer; }
    // The session writes at the end of the loop's turn.
    void QueueFlush(std::shared_ptr<TSession> session);
    // The loop's turn is over: every session with output writes once,
    // however many messages reached it during the turn. The loop's owner
    // calls this after each batch of ready events (TServer::RunTurns).
    void EndTurn();
    // Whether a session waits for the end of the turn to write.
    bool HasQueuedOutput() const { return !flushQueue.empty(); }
    // Whether the turn has queued enough to write it now: on a crowded site
    // each line read adds a delivery per user, so a turn counted only in
    // events would hold thousands of lines per receiver before the first
    // write, which is latency for all and a queue past the slow-reader bound.
    bool TurnFull() const { return queuedThisTurn >= TURN_OUTPUT; }
    void NoteQueued(size_t bytes) { queuedThisTurn += bytes; }
    static constexpr size_t TURN_OUTPUT = 16u << 20;
    // Flushes the session when the presence wait is over.
    void QueuePresenceFlush(std::shared_ptr<TSession> session);
    // Output buffers pass between sessions: a session keeps a small one
    // between turns and gives a larger one back once it is written out;
    // one with something to queue and no buffer takes a spare. So a turn
    // that brings a session more than usual costs it no allocation either.
    // `into` holds no memory; `from` is left holding none.
    void TakeOutputBuffer(std::string& into);
    void GiveOutputBuffer(std::string& from);
    // What a session keeps between turns: an ordinary turn's fan-out.
    static constexpr size_t KEPT_OUTPUT = 512;
    // Takes a closed session out of the set and of its address's counts.
    void Remove(TSession& session);
    void SignedIn(TSession& session);
    // A closed WebSocket waiting for the peer's close frame, held until it ends.
    void Lingering(std::shared_ptr<TSession> session);
    void DoneLingering(TSession& session);

  private:
    void OnAccepted(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer);
    void BeginTcp(asio::ip::tcp::socket socket, const std::string& address, std::string early);
    // False when the bounds refuse another connection from `address`.
    bool Barred(const std::string& address);
    bool Admit(const std::string& address);
    bool IsTrustedProxy(const asio::ip::address& address) const;
    struct TProxyWait;
    void ReadProxyHeader(std::shared_ptr<TProxyWait> wait);
    void EndProxyWait(const std::shared_ptr<TProxyWait>& wait, std::string_view refused);
    void Begin(asio::ip::tcp::socket socket, const std::string& address,
               std::unique_ptr<TWsLink> ws, std::string greeting, std::string early);

    asio::io_context& io;
    TService& service;
    TSessionLimits limits;
    const TClock& clock;
    TTcpAcceptor acceptor;
    asio::steady_timer sweepTimer;
    asio::steady_timer presenceTimer;
    std::vector<std::shared_ptr<TSession>> presenceQueue;
    bool presenceTimerSet = false;
    // Each session knows its place here (TSession::Slot): a list costs a
    // third of what a hash map's nodes would.
    std::vector<std::shared_ptr<TSession>> sessions;
    TAddressCounts perAddress;
    TAddressCounts signingInPerAddress;
    std::unordered_map<TSession*, std::shared_ptr<TSession>> lingering;
    std::vector<asio::ip::address> trustedProxies;
    std::unordered_map<TProxyWait*, std::shared_ptr<TProxyWait>> proxyWaits;
    std::vector<std::shared_ptr<TSession>> flushQueue;
    std::vector<std::shared_ptr<TSession>> flushing; // kept between turns
    std::vector<std::string> spareOutput;
    // Spares taken in this turn, and the most in one turn since the last
    // sweep: the sweep keeps no more spares than that.
    size_t outputTakenThisTurn = 0;
    size_t outputTakenPeak = 0;
    size_t flushPeak = 0;      // the most sessions flushed in one turn since the sweep
    size_t queuedThisTurn = 0; // bytes, all sessions together
    bool shuttingDown = false;
    bool farewell = false; // saying goodbye: no new sessions
    std::array<uint8_t, 65536> readBuffer;
};

} // namespace navlet::server
