// A small HTTP/1.1 server for the service's web site, on standalone Asio.
//
// One thread reads and writes every connection without blocking, so a client
// that sends slowly holds a socket and a few kilobytes, never a thread. Every
// request is bounded: its head in bytes and fields, its body, and the time the
// whole request may take to arrive; connections are bounded per address and in
// total, and at the cap the connection silent longest gives way to a newcomer
// from an address below its fair share. Whole requests go to a small pool of workers (handlers may
// block); routes that hash passwords have a bounded pool of their own, so that they never take the
// pages' workers. Each pool's queue is shared fairly between addresses; when an address finds no
// fair place the answer is 503 at once.
#pragma once

#include <array>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "server/net/tcp_acceptor.h"
#include "server/web/request/request_head.h"
#include "server/web/work_lane.h"

namespace navlet::web {

struct THttpLimits {
    THeadLimits head;
    // A whole request (head and body) must arrive within this time of its
    // first byte (of the connection, for the first request).
    std::chrono::milliseconds requestTime{10000};
    // A kept-alive connection may wait this long for its next request.
    std::chrono::milliseconds idleTime{2000};
    // An answer must be taken by the client within this time.
    std::chrono::milliseconds writeTime{10000};
    size_t maxPerAddress = 10;
    size_t maxConnections = 512;
    // Proxies (a TLS terminator) whose X-Forwarded-For names the client: a
    // request through them counts as its client's, and they themselves are
    // bounded only by the total. Nobody else's X-Forwarded-For is believed.
    std::vector<asio::ip::address> trustedProxies;
    size_t workers = 4;
    size_t maxQueued = 64;  // whole requests waiting for a worker
    size_t hashWorkers = 2; // for the routes marked THttpWork::Hashing
    size_t hashQueued = 32;
};

// Which pool a route's handler runs on.
enum class THttpWork { Page, Hashing };

struct THttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // extra fields
};

// Runs on a worker thread; may block. An exception answers 500.
using THttpHandler = std::function<void(const THttpRequest&, THttpResponse&)>;
// The page for a refusal or an unknown address, by status; runs on any thread.
using TErrorPage = std::function<std::string(int status)>;

// A path whose requests leave HTTP (a WebSocket): their heads are read within
// the same bounds as every other request, then `check` (on the I/O thread; it
// must not block) answers 0 to hand the connection over or the status to
// refuse it with. `take` then owns the socket, released from the site's loop,
// with the request and the bytes that came after its head; the site forgets
// the connection (it no longer counts against the site's limits).
struct THttpUpgrade {
    std::function<int(const THttpRequest&)> check;
    std::function<void(asio::ip::tcp::socket::native_handle_type socket, asio::ip::tcp protocol,
                       THttpRequest request, std::string early)>
        take;
};

class THttpConnection;

class THttpServer {
  public:
    explicit THttpServer(THttpLimits limits = {});
    ~THttpServer(); // stops
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // Before Start only. A GET route also answers HEAD.
    void Route(const std::string& method, const std::string& path, THttpHandler handler,
               THttpWork work = THttpWork::Page);
    void SetErrorPage(TErrorPage page) { errorPage = std::move(page); }
    // Before Start only: requests for `path`, whatever their method, are upgrades.
    void RouteUpgrade(const std::string& path, THttpUpgrade upgrade);

    // Binds `host`:`port` (0 picks a free port) and serves on threads of its
    // own. False, with `error` set, when it cannot bind.
    bool Start(const std::string& host, int port, std::string& error);
    int Port() const { return port; }
    // A reload's new bound per address and trusted proxies, taken on the
    // server's own thread; connections already open keep how they were
    // counted. Thread-safe.
    void SetAddressLimits(size_t maxPerAddress, std::vector<asio::ip::address> trustedProxies);
    // Closes the listener and every connection, drops requests still queued,
    // waits for running handlers. Safe to call twice.
    void Stop();

  private:
    friend class THttpConnection;

    void Admit(asio::ip::tcp::socket socket, const asio::ip::address& peer);
    void Release(THttpConnection* connection);
    // At the cap: closes a silent connection so that `newcomer` may come in;
    // false when its address has its fair share already or none is silent.
    bool MakeRoom(const asio::ip::address& newcomer, const std::string& key);
    // Runs the request's handler on a worker of its pool, or answers 503
    // when the pool has no fair place for it.
    void Dispatch(std::shared_ptr<THttpConnection> connection);
    THttpWork WorkOf(const THttpRequest& request) const;
    THttpResponse Answer(const THttpRequest& request) const;
    bool IsTrustedProxy(const asio::ip::address& address) const;
    // The client's address: the peer's, or through trusted proxies the
    // nearest address in X-Forwarded-For that is not one of them.
    std::string ClientAddress(const asio::ip::address& peer, const THttpRequest& request) const;
    THttpResponse ErrorResponse(int status) const;

    THttpLimits limits;
    struct TRoute {
        THttpHandler handler;
        THttpWork work = THttpWork::Page;
    };
    std::map<std::pair<std::string, std::string>, TRoute> routes;
    std::map<std::string, THttpUpgrade> upgrades;
    TErrorPage errorPage;

    asio::io_context io;
    server::TTcpAcceptor acceptor{io};
    std::unique_ptr<TWorkLane> pages;
    std::unique_ptr<TWorkLane> hashing;
    std::thread ioThread;
    int port = 0;

    // Touched on the I/O thread only.
    // Every connection reads through this one buffer when its socket is
    // readable: one that waits holds none, and a few thousand bytes each
    // would spread a burst's connections over many pages, where the few
    // allocations that outlive them (asio's pooled socket states) keep
    // those pages resident.
    std::array<char, 4096> readChunk{};
    server::TAddressCounts perAddress;
    std::set<THttpConnection*> open;
};

} // namespace navlet::web
