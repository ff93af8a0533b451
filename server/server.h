// navlet-server as one object: the store, the service, the session listener,
// the admin endpoint and (when built) the web site, on one event loop. Tests
// run it on ephemeral loopback ports with a temporary data folder.
#pragma once

#include <asio.hpp>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/admin/admin_server.h"
#include "server/cluster/cluster_node.h"
#include "server/core/service.h"
#include "server/net/limits.h"
#include "server/net/password_pool.h"
#include "server/net/session_server.h"
#include "server/service_web_backend.h"
#include "server/web/web_site.h"
#include "server/websocket/ws_handshake.h"

namespace navlet::server {

struct TServerConfig {
    std::string listen = "127.0.0.1:80";
    std::string web = "127.0.0.1:8080"; // empty: no web site
    std::string admin = "127.0.0.1:8081";
    // Address ranges besides loopback that may reach the admin endpoint; an
    // --admin that is not loopback needs at least one (a monitoring network).
    std::vector<std::string> adminAllow;
    std::string dataDir;    // holds navlet.db
    std::string database;   // empty: DATA/navlet.db; else a file or postgresql://...
    TClusterConfig cluster; // redis empty: one node alone
    std::string updatesDir; // empty: no updates offered
    std::string bannersDir; // empty: only the default banner
    TSessionLimits limits;
    web::TWebSiteLimits webLimits;
    // Web origins that may open a session over WebSocket (see
    // ws::TOriginPolicy); empty: browser extensions only. The site's own
    // origin is always allowed.
    std::vector<std::string> wsOrigins;
    TPasswordPoolLimits passwords;
    TServiceConfig service;
    // How often the banner and update folders are looked at for changes.
    int64_t rescanMs = 2000;
    TVersionReader versionReader = ReadModuleVersion;
    // The time the service, the sessions and the cluster node read; null:
    // the system's. Tests
    // pass a manual clock that outlives the server.
    const TClock* clock = nullptr;
};

// What every signed-in bar is told when the server stops on SIGTERM.
inline constexpr std::string_view REASON_RESTART =
    "The server is restarting: I'll be back in a moment.";

// A database location as logs may show it (without a password).
std::string DatabaseName(const std::string& location);

// Parses "ADDR:PORT" (a numeric IPv4 or [IPv6] address). False when malformed.
bool ParseEndpoint(const std::string& text, asio::ip::tcp::endpoint& out);

class TServer {
  public:
    explicit TServer(TServerConfig config);
    ~TServer();

    // Opens the store and binds every endpoint. False with `error` (naming
    // what failed) when any of them cannot be had.
    bool Start(std::string& error);
    // Runs the loop on the calling thread until Stop, then stops the web site.
    void Run();
    // Safe from any thread and from a signal-handling loop callback; `why`
    // goes in the log.
    void Stop(std::string_view why = "asked to");
    // Stops after telling every signed-in bar `reason` (a ticker notice; the
    // bar then reconnects by itself), within `grace`: new sessions and web
    // requests are refused at once, and the loop stops when the last session
    // has closed or the grace is over. On the loop's thread.
    void Leave(std::string_view reason, std::string_view why, std::chrono::milliseconds grace);
    // The operator asked for a reload (SIGHUP): the banner and update folders
    // are read again now; `configFile` (empty: none) is read by the caller.
    // On the loop's thread.
    void Reload(std::string_view configFile);
    // Takes what a running server can change from `next` (a reload of the
    // configuration): the session and web bounds per address, the sign-up
    // rates, the trusted proxies, the WebSocket origins and the banner
    // interval. Everything else in `next` is ignored. On the loop's thread.
    void ApplyLive(const TServerConfig& next);

    uint16_t SessionPort() const { return sessions ? sessions->Port() : 0; }
    uint16_t AdminPort() const { return admin ? admin->Port() : 0; }
    uint16_t WebPort() const { return webPort; }
    asio::io_context& Io() { return io; }
    TService& Service() { return *service; }
    TSessionServer& Sessions() { return *sessions; }

  private:
    void RunTurns();
    bool StartWeb(std::string& error);
    // Sessions over WebSocket at /session on the web site's port.
    void RouteSessions();
    void StopWeb();
    // Looks at the banner and update folders off the loop, and hands the
    // service a new set when a folder changed.
    void ScheduleRescan();
    void Rescan();
    void FlushLogSummaries();
    void WaitForGoodbyes(std::chrono::steady_clock::time_point until, std::string why);

    TServerConfig config;
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work;
    std::unique_ptr<TStore> store;
    TSystemClock systemClock;
    const TClock& clock; // config.clock or systemClock
    std::unique_ptr<TPasswordPool> verifier;
    std::unique_ptr<TStoreRunner> storeRunner; // before the service, which calls it
    std::unique_ptr<TClusterNode> cluster;     // likewise
    std::unique_ptr<TService> service;
    std::unique_ptr<TSessionServer> sessions;
    std::unique_ptr<TAdminServer> admin;
    std::unique_ptr<TServiceWebBackend> webBackend;
    std::unique_ptr<web::TWebSite> webSite;
    uint16_t webPort = 0;
    asio::steady_timer rescanTimer{io};
    asio::steady_timer logTimer{io};
    asio::steady_timer leaveTimer{io};
    bool leaving = false;
    // The WebSocket origins, read on the web site's thread and replaced by a
    // reload on the loop's.
    struct TLiveOrigins {
        std::mutex mutex;
        ws::TOriginPolicy policy = ws::TOriginPolicy::Default();
    };
    std::shared_ptr<TLiveOrigins> origins;
    std::unique_ptr<asio::thread_pool> scanner; // one thread; reads the folders
    std::string bannerSignature;                // touched on the scanner's thread only
    std::string updateSignature;
};

} // namespace navlet::server
