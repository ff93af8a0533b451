#include "server/web/http_server.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <future>

#include "server/log/counters.h"
#include "server/log/refusals.h"

namespace navlet::web {
namespace {

// After refusing a request, what the client still sends is read and dropped
// for a moment, so that the refusal is not lost to a reset; never more.
constexpr size_t MAX_DRAINED = 64 * 1024;
constexpr auto DRAIN_TIME = std::chrono::milliseconds(500);

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

// Every answer goes out through here: it is counted here, once.
std::string Serialise(const THttpResponse& response, bool keepAlive, bool withBody) {
    server::counters::WebRequest(response.status);
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                      Reason(response.status) + "\r\nContent-Type: " + response.contentType +
                      "\r\nContent-Length: " + std::to_string(response.body.size()) +
                      "\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n";
    for (const auto& [name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (withBody)
        out += response.body;
    return out;
}

} // namespace

// One client connection. Everything but the handler runs on the I/O thread;
// while a request is with a worker, nothing reads or writes the socket.
class THttpConnection : public std::enable_shared_from_this<THttpConnection> {
  public:
    using TClock = std::chrono::steady_clock;

    THttpConnection(THttpServer& server, asio::ip::tcp::socket socket, asio::ip::address address)
        : server(server), socket(std::move(socket)), timer(server.io), address(address),
          key(address.to_string()), heardAt(TClock::now()) {}

    // Whether the connection holds no part of a request and no answer: it
    // may be closed at no loss when room is needed. Since when it is so.
    bool Silent() const { return !working && (draining || (!haveHead && buffer.empty())); }
    TClock::time_point HeardAt() const { return heardAt; }
    const asio::ip::address& Address() const { return address; }
    // The address as the site counts it.
    const std::string& Key() const { return key; }

    void Begin() {
        std::error_code ec;
        socket.non_blocking(true, ec); // reads take what is there when it is readable
        ArmTimer(server.limits.requestTime);
        Read();
    }

    // Ends the connection at once; safe to call more than once.
    void Close() {
        if (closed)
            return;
        closed = true;
        std::error_code ignored;
        StopTimer();
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
        server.Release(this);
    }

    // Sends the answer to the request handed to a worker (or refused there).
    void Respond(const THttpResponse& response) {
        if (closed)
            return;
        bool keepAlive = request.keepAlive;
        Write(Serialise(response, keepAlive, request.method != "HEAD"), keepAlive);
    }

    const THttpRequest& Request() const { return request; }

  private:
    // A wait that had already expired when it was replaced may still call
    // back with success; the generation tells it apart from the current one.
    void ArmTimer(std::chrono::milliseconds limit) {
        timer.expires_after(limit);
        timer.async_wait(
            [self = shared_from_this(), generation = ++timerGeneration](std::error_code ec) {
                if (!ec && generation == self->timerGeneration)
                    self->Close();
            });
    }

    void StopTimer() {
        ++timerGeneration;
        timer.cancel();
    }

    void Read() {
        socket.async_wait(asio::socket_base::wait_read,
                          [self = shared_from_this()](std::error_code ec) {
                              if (ec || self->closed) {
                                  self->Close();
                                  return;
                              }
                              self->Readable();
                          });
    }

    void Readable() {
        auto& chunk = server.readChunk;
        std::error_code ec;
        size_t n = socket.read_some(asio::buffer(chunk), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            Read();
            return;
        }
        if (ec || n == 0) {
            Close();
            return;
        }
        Received(chunk.data(), n);
    }

    void Received(const char* data, size_t n) {
        heardAt = TClock::now();
        if (draining) {
            drained += n;
            if (drained > MAX_DRAINED)
                Close();
            else
                Read();
            return;
        }
        if (idle) {
            idle = false;
            ArmTimer(server.limits.requestTime);
        }
        buffer.append(data, n);
        Advance();
    }

    // Takes whatever whole request the buffer holds, or reads on.
    void Advance() {
        if (!haveHead) {
            // Blank lines before a request line are allowed and skipped.
            size_t start = buffer.find_first_not_of("\r\n");
            buffer.erase(0, start == std::string::npos ? buffer.size() : start);
            size_t end = FindHeadEnd(buffer);
            if (end == std::string::npos) {
                if (buffer.size() > server.limits.head.maxHeadBytes)
                    return Refuse(431);
                return Read();
            }
            request = THttpRequest{};
            if (int refused = ParseRequestHead(std::string_view(buffer).substr(0, end),
                                               server.limits.head, request))
                return Refuse(refused);
            request.remoteAddress = server.ClientAddress(address, request);
            buffer.erase(0, end);
            if (auto upgrade = server.upgrades.find(request.path); upgrade != server.upgrades.end())
                return Upgrade(upgrade->second);
            haveHead = true;
        }
        if (buffer.size() < request.contentLength)
            return Read();
        request.body = buffer.substr(0, request.contentLength);
        buffer.erase(0, request.contentLength);
        haveHead = false;
        if (!DecodeRequestFields(server.limits.head, request))
            return Refuse(400);
        StopTimer();
        working = true;
        server.Dispatch(shared_from_this());
    }

    // Hands the connection over when the upgrade's check lets it go.
    void Upgrade(const THttpUpgrade& upgrade) {
        if (int refused = upgrade.check(request))
            return Refuse(refused);
        StopTimer();
        closed = true;
        server.Release(this);
        std::error_code ec;
        asio::ip::tcp protocol = socket.local_endpoint(ec).protocol();
        auto handle = ec ? asio::ip::tcp::socket::native_handle_type(-1) : socket.release(ec);
        if (ec) {
            socket.close(ec);
            return;
        }
        upgrade.take(handle, protocol, std::move(request), std::move(buffer));
    }

    // Answers a request we will not read to its end, then closes.
    void Refuse(int status) {
        working = true;
        request.keepAlive = false;
        Write(Serialise(server.ErrorResponse(status), /*keepAlive=*/false, /*withBody=*/true),
              /*keepAlive=*/false);
    }

    void Write(std::string bytes, bool keepAlive) {
        ArmTimer(server.limits.writeTime);
        outgoing = std::move(bytes);
        asio::async_write(socket, asio::buffer(outgoing),
                          [self = shared_from_this(), keepAlive](std::error_code ec, size_t) {
                              if (ec || self->closed) {
                                  self->Close();
                                  return;
                              }
                              self->Written(keepAlive);
                          });
    }

    void Written(bool keepAlive) {
        outgoing = std::string();
        working = false;
        heardAt = TClock::now(); // silent from the answer on
        StopTimer();
        if (!keepAlive) {
            Drain();
            return;
        }
        if (buffer.empty()) {
            idle = true;
            ArmTimer(server.limits.idleTime);
            Read();
            return;
        }
        ArmTimer(server.limits.requestTime);
        Advance();
    }

    // Half-closes and reads what is still coming for a moment, then closes.
    void Drain() {
        std::error_code ignored;
        socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        draining = true;
        buffer = std::string();
        ArmTimer(std::chrono::duration_cast<std::chrono::milliseconds>(DRAIN_TIME));
        Read();
    }

    THttpServer& server;
    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    asio::ip::address address;
    std::string key;
    std::string buffer;   // received, not yet taken: at most one head and one body ahead
    std::string outgoing; // the answer being written
    THttpRequest request;
    size_t drained = 0;
    uint64_t timerGeneration = 0;
    TClock::time_point heardAt; // the last byte received, or the last answer
    bool working = false;       // a request with a worker, or an answer going out
    bool haveHead = false;
    bool idle = false;
    bool draining = false;
    bool closed = false;
};

THttpServer::THttpServer(THttpLimits limits) : limits(limits) {}

THttpServer::~THttpServer() {
    Stop();
}

void THttpServer::Route(const std::string& method, const std::string& path, THttpHandler handler,
                        THttpWork work) {
    routes[{method, path}] = TRoute{std::move(handler), work};
}

void THttpServer::RouteUpgrade(const std::string& path, THttpUpgrade upgrade) {
    upgrades[path] = std::move(upgrade);
}

bool THttpServer::Start(const std::string& host, int wanted, std::string& error) {
    if (ioThread.joinable()) {
        error = "the web site is already running";
        return false;
    }
    std::error_code ec;
    asio::ip::address address = asio::ip::make_address(host, ec);
    asio::ip::tcp::endpoint at(address, uint16_t(wanted));
    if (!ec && (wanted < 0 || wanted > 65535))
        ec = asio::error::invalid_argument;
    auto accepted = [this](asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer) {
        Admit(std::move(socket), peer.address());
    };
    if (!ec)
        acceptor.Listen(at, asio::socket_base::max_listen_connections, std::move(accepted), ec);
    if (ec) {
        error = "cannot listen on " + host + ":" + std::to_string(wanted) + ": " + ec.message();
        return false;
    }
    port = acceptor.Port();
    // Nothing runs the loop yet: the first accepted socket waits for the lanes.
    pages = std::make_unique<TWorkLane>(limits.workers, limits.maxQueued);
    hashing = std::make_unique<TWorkLane>(limits.hashWorkers, limits.hashQueued);
    ioThread = std::thread([this] { io.run(); });
    return true;
}

void THttpServer::Stop() {
    if (!ioThread.joinable())
        return;
    std::promise<void> closedAll;
    asio::post(io, [this, &closedAll] {
        acceptor.Close();
        // Close() removes the connection from `open`, so walk a copy.
        std::set<THttpConnection*> all = open;
        for (THttpConnection* connection : all) {
            connection->Close();
        }
        closedAll.set_value();
    });
    closedAll.get_future().wait();
    pages->Stop(); // requests not yet begun are dropped
    hashing->Stop();
    io.stop();
    ioThread.join();
    io.restart();
}

void THttpServer::Admit(asio::ip::tcp::socket socket, const asio::ip::address& peer) {
    std::string key = peer.to_string();
    bool bounded = !IsTrustedProxy(peer);
    bool full = open.size() >= limits.maxConnections;
    if ((bounded && perAddress.Of(key) >= limits.maxPerAddress) || (full && !MakeRoom(peer, key))) {
        if (server::log::NoteRefusal(server::log::TLevel::Warn, "web",
                                     "web connections refused past a bound", key))
            server::log::Warn("web", "connection refused",
                              {{"address", key}, {"bound", full ? "connections" : "per-address"}});
        // A short refusal if the socket takes it at once; then gone.
        std::string busy = Serialise(ErrorResponse(503), /*keepAlive=*/false, /*withBody=*/true);
        std::error_code ec;
        socket.non_blocking(true, ec);
        socket.write_some(asio::buffer(busy), ec);
        socket.close(ec);
        return;
    }
    std::error_code ec;
    socket.set_option(asio::ip::tcp::no_delay(true), ec);
    perAddress.Take(key);
    auto connection = std::make_shared<THttpConnection>(*this, std::move(socket), peer);
    open.insert(connection.get());
    connection->Begin();
}

// At the cap, every address may hold a fair share of the connections: a
// newcomer below its share takes the place of the connection that has been
// silent longest, from an address above its share if there is one.
bool THttpServer::MakeRoom(const asio::ip::address& newcomer, const std::string& key) {
    // The newcomer's address counts among the addresses even before it holds one.
    size_t held = perAddress.Of(key);
    size_t addresses = perAddress.Addresses() + (held == 0 ? 1 : 0);
    size_t share = std::max<size_t>(1, limits.maxConnections / std::max<size_t>(1, addresses));
    // A trusted proxy carries many clients: it has no share of its own.
    if (!IsTrustedProxy(newcomer) && held >= share)
        return false;
    THttpConnection* quietest = nullptr;
    bool quietestOver = false;
    for (THttpConnection* connection : open) {
        if (!connection->Silent())
            continue;
        bool over =
            !IsTrustedProxy(connection->Address()) && perAddress.Of(connection->Key()) > share;
        if (!quietest || (over && !quietestOver) ||
            (over == quietestOver && connection->HeardAt() < quietest->HeardAt())) {
            quietest = connection;
            quietestOver = over;
        }
    }
    if (!quietest)
        return false;
    quietest->Close();
    return true;
}

void THttpServer::Release(THttpConnection* connection) {
    open.erase(connection);
    perAddress.Release(connection->Key());
}

THttpWork THttpServer::WorkOf(const THttpRequest& request) const {
    auto route = routes.find({request.method == "HEAD" ? "GET" : request.method, request.path});
    return route == routes.end() ? THttpWork::Page : route->second.work;
}

void THttpServer::Dispatch(std::shared_ptr<THttpConnection> connection) {
    TWorkLane& lane = WorkOf(connection->Request()) == THttpWork::Hashing ? *hashing : *pages;
    std::weak_ptr<THttpConnection> waiting = connection;
    auto run = [this, connection] {
        THttpResponse response = Answer(connection->Request());
        asio::post(io,
                   [connection, response = std::move(response)] { connection->Respond(response); });
    };
    // A request that gives its place to another address's is refused here,
    // on the I/O thread.
    auto refuse = [this, waiting] {
        if (auto displaced = waiting.lock())
            displaced->Respond(ErrorResponse(503));
    };
    if (!lane.Push(connection->Request().remoteAddress, std::move(run), std::move(refuse)))
        connection->Respond(ErrorResponse(503));
}

THttpResponse THttpServer::Answer(const THttpRequest& request) const {
    std::string method = request.method == "HEAD" ? "GET" : request.method;
    auto route = routes.find({method, request.path});
    if (route == routes.end()) {
        for (const auto& [key, unused] : routes) {
            if (key.second == request.path)
                return ErrorResponse(405);
        }
        return ErrorResponse(404);
    }
    THttpResponse response;
    try {
        route->second.handler(request, response);
    } catch (const std::exception& e) {
        server::log::Error(
            "web", "page failed",
            {{"method", request.method}, {"path", request.path}, {"error", e.what()}});
        return ErrorResponse(500);
    } catch (...) {
        server::log::Error("web", "page failed",
                           {{"method", request.method}, {"path", request.path}});
        return ErrorResponse(500);
    }
    return response;
}

void THttpServer::SetAddressLimits(size_t maxPerAddress,
                                   std::vector<asio::ip::address> trustedProxies) {
    asio::post(io, [this, maxPerAddress, proxies = std::move(trustedProxies)]() mutable {
        limits.maxPerAddress = maxPerAddress;
        limits.trustedProxies = std::move(proxies);
    });
}

bool THttpServer::IsTrustedProxy(const asio::ip::address& address) const {
    for (const asio::ip::address& proxy : limits.trustedProxies) {
        if (proxy == address)
            return true;
    }
    return false;
}

std::string THttpServer::ClientAddress(const asio::ip::address& peer,
                                       const THttpRequest& request) const {
    std::string_view forwarded = request.Header("x-forwarded-for");
    if (forwarded.empty() || !IsTrustedProxy(peer))
        return peer.to_string();
    // Each proxy appends the address it saw: read from the right, past the
    // proxies we trust; an entry that is no address ends the walk.
    std::string client = peer.to_string();
    while (!forwarded.empty()) {
        size_t comma = forwarded.rfind(',');
        std::string_view entry = forwarded.substr(comma == std::string_view::npos ? 0 : comma + 1);
        forwarded = forwarded.substr(0, comma == std::string_view::npos ? 0 : comma);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        std::error_code ec;
        asio::ip::address address = asio::ip::make_address(std::string(entry), ec);
        if (ec)
            break;
        client = address.to_string();
        if (!IsTrustedProxy(address))
            break;
    }
    return client;
}

THttpResponse THttpServer::ErrorResponse(int status) const {
    THttpResponse response;
    response.status = status;
    if (errorPage)
        response.body = errorPage(status);
    return response;
}

} // namespace navlet::web
