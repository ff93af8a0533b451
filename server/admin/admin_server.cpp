#include "server/admin/admin_server.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <unordered_set>

#include "server/admin/admin_command.h"
#include "server/admin/admin_http.h"
#include "server/log/log.h"
#include "server/log/refusals.h"

namespace navlet::server {

namespace {

std::string_view VerbName(TAdminVerb verb) {
    switch (verb) {
    case TAdminVerb::Notice:
        return "NOTICE";
    case TAdminVerb::Reconnect:
        return "RECONNECT";
    case TAdminVerb::Update:
        return "UPDATE";
    case TAdminVerb::ReplyTime:
        return "REPLYTIME";
    case TAdminVerb::Kick:
        return "KICK";
    case TAdminVerb::Users:
        return "USERS";
    case TAdminVerb::Sites:
        return "SITES";
    case TAdminVerb::Stats:
        return "STATS";
    case TAdminVerb::Help:
        return "HELP";
    case TAdminVerb::Quit:
        return "QUIT";
    case TAdminVerb::Ban:
        return "BAN";
    case TAdminVerb::Unban:
        return "UNBAN";
    case TAdminVerb::Disable:
        return "DISABLE";
    case TAdminVerb::Enable:
        return "ENABLE";
    case TAdminVerb::Password:
        return "PASSWORD";
    case TAdminVerb::Delete:
        return "DELETE";
    case TAdminVerb::Mute:
        return "MUTE";
    case TAdminVerb::Unmute:
        return "UNMUTE";
    case TAdminVerb::Reports:
        return "REPORTS";
    case TAdminVerb::Report:
        return "REPORT";
    case TAdminVerb::Close:
        return "CLOSE";
    }
    return "?";
}

std::string TargetText(const TTarget& target) {
    switch (target.kind) {
    case TTarget::User:
        return "user:" + target.name;
    case TTarget::Site:
        return "site:" + target.name;
    default:
        return "all";
    }
}

bool Restricts(TAdminVerb verb) {
    return verb >= TAdminVerb::Ban;
}

bool Reaches(TAdminVerb verb) {
    return verb == TAdminVerb::Notice || verb == TAdminVerb::Reconnect ||
           verb == TAdminVerb::Update || verb == TAdminVerb::ReplyTime || verb == TAdminVerb::Kick;
}

// Who gave which command and what came of it: the answer's last line ("OK
// 3", "ERR no such user"); for a command that reaches bars, how many
// sessions it reached. A notice's text stays out.
void LogCommand(std::string_view admin, uint64_t connection, const TAdminCommand& c,
                std::string_view answer) {
    if (!log::Enabled(log::TLevel::Info))
        return;
    if (!answer.empty() && answer.back() == '\n')
        answer.remove_suffix(1);
    answer = answer.substr(answer.rfind('\n') + 1);
    if (Restricts(c.verb)) {
        // The subject and the operator's reason; never PASSWORD's password,
        // which only the answer's data line carries.
        int64_t sessions = 0;
        if (answer.rfind("OK ", 0) == 0)
            sessions = std::atoll(std::string(answer.substr(3)).c_str());
        const bool address = c.subjectKind == TBanSubject::Address;
        const bool site = c.verb == TAdminVerb::Mute || c.verb == TAdminVerb::Unmute;
        log::Write(log::TLevel::Info, "admin", "operator command",
                   {{"admin", admin},
                    {"connection", connection},
                    {"command", VerbName(c.verb)},
                    {"target", (site      ? "site:"
                                : address ? "addr:"
                                          : "user:") +
                                   c.subject},
                    {"duration_s", c.durationS},
                    {"reason", c.text},
                    {"sessions", sessions},
                    {"answer", answer}});
        return;
    }
    if (!Reaches(c.verb)) {
        log::Write(log::TLevel::Info, "admin", "operator command",
                   {{"admin", admin},
                    {"connection", connection},
                    {"command", VerbName(c.verb)},
                    {"host", c.host},
                    {"report", c.report},
                    {"answer", answer}});
        return;
    }
    int64_t sessions = 0;
    if (answer.rfind("OK ", 0) == 0)
        sessions = std::atoll(std::string(answer.substr(3)).c_str());
    log::Write(log::TLevel::Info, "admin", "operator command",
               {{"admin", admin},
                {"connection", connection},
                {"command", VerbName(c.verb)},
                {"target", TargetText(c.target)},
                {"text_bytes", c.text.size()},
                {"sessions", sessions},
                {"answer", answer}});
}

uint64_t nextConnection = 1; // on the loop's thread

class TAdminConnection : public std::enable_shared_from_this<TAdminConnection> {
  public:
    TAdminConnection(asio::ip::tcp::socket socket, TService& service,
                     std::function<size_t()>& connections,
                     std::function<size_t()>& webSocketSessions,
                     std::function<size_t()>& passwordQueue)
        : socket(std::move(socket)), service(service), connections(connections),
          webSocketSessions(webSocketSessions), passwordQueue(passwordQueue),
          input(MAX_ADMIN_LINE + 1), deadline(this->socket.get_executor()),
          serial(nextConnection++) {
        std::error_code ec;
        asio::ip::tcp::endpoint peer = this->socket.remote_endpoint(ec);
        if (!ec)
            who = peer.address().to_string() + ":" + std::to_string(peer.port());
    }

    void ReadLine() {
        deadline.expires_after(ADMIN_IDLE_DEADLINE);
        deadline.async_wait([weak = weak_from_this()](const std::error_code& ec) {
            auto self = weak.lock();
            if (ec || !self)
                return;
            std::error_code ignored;
            self->socket.close(ignored); // the pending read ends with an error
        });
        asio::async_read_until(socket, input, '\n',
                               [self = shared_from_this()](const std::error_code& ec, size_t n) {
                                   self->deadline.cancel();
                                   if (ec)
                                       return; // closed, or a line past the bound
                                   self->OnLine(n);
                               });
    }

  private:
    void OnLine(size_t n) {
        std::string line(asio::buffers_begin(input.data()), asio::buffers_begin(input.data()) + n);
        input.consume(n);
        if (http || (firstLine && IsHttpRequestLine(line, httpMethod, httpPath))) {
            OnHttpLine(line);
            return;
        }
        firstLine = false;
        TAdminCommand command;
        std::string error;
        bool quit = false;
        if (!ParseAdminLine(line, command, error)) {
            answer = "ERR " + error + "\n";
            log::Warn("admin", "operator command refused",
                      {{"admin", who}, {"connection", serial}, {"error", error}});
        } else if (RunRestriction(service, command,
                                  [self = shared_from_this(), command](std::string a) {
                                      LogCommand(self->who, self->serial, command, a);
                                      self->answer = std::move(a);
                                      self->Reply(/*quit=*/false);
                                  })) {
            return; // the answer waits for the store and the other nodes
        } else if (TClusterLink* cluster = service.Cluster();
                   cluster && cluster->Status().redisUp &&
                   RunAcrossCluster(service, command,
                                    [self = shared_from_this(), command](std::string a) {
                                        LogCommand(self->who, self->serial, command, a);
                                        self->answer = std::move(a);
                                        self->Reply(/*quit=*/false);
                                    })) {
            return; // the answer waits for every node's count
        } else if (RunReportCommand(service, command,
                                    [self = shared_from_this(), command](std::string a) {
                                        LogCommand(self->who, self->serial, command, a);
                                        self->answer = std::move(a);
                                        self->Reply(/*quit=*/false);
                                    })) {
            return; // the store answers away from the loop
        } else if (TClusterLink* cluster = service.Cluster();
                   command.verb == TAdminVerb::Users && cluster && cluster->Status().redisUp) {
            // The whole cluster's sessions, as Redis lists them.
            cluster->ListUsers(
                [self = shared_from_this(), command](std::vector<cluster::TSessionRecord> users) {
                    self->answer = ClusterUsersAnswer(users, command.host);
                    LogCommand(self->who, self->serial, command, self->answer);
                    self->Reply(/*quit=*/false);
                });
            return;
        } else {
            answer = RunAdminCommand(service, connections(), command);
            LogCommand(who, serial, command, answer);
            quit = command.verb == TAdminVerb::Quit;
        }
        Reply(quit);
    }

    // The request's header lines are read and passed over; the blank line
    // ends them, and the answer closes the connection.
    void OnHttpLine(const std::string& line) {
        constexpr int MAX_HEADER_LINES = 100;
        bool first = !http;
        http = true;
        firstLine = false;
        if (first || (line != "\r\n" && line != "\n" && ++headerLines < MAX_HEADER_LINES)) {
            ReadLine();
            return;
        }
        answer = AdminHttpResponse(httpMethod, httpPath, Health());
        Reply(/*quit=*/true);
    }

    TAdminHealth Health() const {
        TAdminHealth health;
        health.storeUp = TStore::Reachable();
        if (const TClusterLink* cluster = service.Cluster()) {
            health.clusterNode = true;
            health.redisUp = cluster->Status().redisUp;
        }
        size_t open = connections ? connections() : 0;
        health.gauges.wsSessions = webSocketSessions ? webSocketSessions() : 0;
        health.gauges.tcpSessions = open - std::min(open, health.gauges.wsSessions);
        std::unordered_set<UserId> users;
        for (const TClient* client : service.OnlineUsers({}))
            users.insert(client->Id());
        health.gauges.signedInUsers = users.size();
        health.gauges.signedInSessions = service.SignedInCount();
        health.gauges.sites = service.SiteCount();
        health.gauges.passwordChecksQueued = passwordQueue ? passwordQueue() : 0;
        return health;
    }

    void Reply(bool quit) {
        asio::async_write(socket, asio::buffer(answer),
                          [self = shared_from_this(), quit](const std::error_code& ec, size_t) {
                              if (ec || quit) {
                                  std::error_code ignored;
                                  self->socket.close(ignored);
                                  return;
                              }
                              self->ReadLine();
                          });
    }

    asio::ip::tcp::socket socket;
    TService& service;
    std::function<size_t()>& connections;
    std::function<size_t()>& webSocketSessions;
    std::function<size_t()>& passwordQueue;
    asio::streambuf input;
    std::string answer;
    asio::steady_timer deadline;
    uint64_t serial;
    std::string who = "?"; // ADDR:PORT of the operator's connection
    bool firstLine = true;
    bool http = false; // the first line was an HTTP request's
    int headerLines = 0;
    std::string httpMethod, httpPath;
};

constexpr int ADMIN_BACKLOG = 16;

} // namespace

TAdminServer::TAdminServer(asio::io_context& io, TService& service,
                           std::function<size_t()> connections,
                           std::function<size_t()> webSocketSessions)
    : service(service), connections(std::move(connections)),
      webSocketSessions(std::move(webSocketSessions)), acceptor(io) {}

bool AdminPeerAllowed(const asio::ip::address& peer, const std::vector<TAddressRange>& allowed) {
    if (peer.is_loopback() ||
        (peer.is_v6() && peer.to_v6().is_v4_mapped() &&
         asio::ip::make_address_v4(asio::ip::v4_mapped, peer.to_v6()).is_loopback()))
        return true;
    std::array<uint8_t, 16> bytes;
    if (allowed.empty() || !ParseAddress(peer.to_string(), bytes))
        return false;
    return std::any_of(allowed.begin(), allowed.end(),
                       [&](const TAddressRange& range) { return range.Contains(bytes); });
}

bool TAdminServer::Allow(const std::vector<std::string>& ranges, std::string& error) {
    allowed.clear();
    for (const std::string& text : ranges) {
        TAddressRange range;
        if (!ParseAddressRange(text, range)) {
            error = "bad --admin-allow range: " + text;
            return false;
        }
        allowed.push_back(range);
    }
    return true;
}

bool TAdminServer::Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error) {
    if (!endpoint.address().is_loopback() && allowed.empty()) {
        error = "the admin endpoint listens on a loopback address unless --admin-allow names "
                "the ranges that may reach it";
        return false;
    }
    std::error_code ec;
    auto accepted = [this](asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer) {
        if (AdminPeerAllowed(peer.address(), allowed)) {
            std::make_shared<TAdminConnection>(std::move(socket), service, connections,
                                               webSocketSessions, passwordQueue)
                ->ReadLine();
            return;
        }
        if (log::NoteRefusal(log::TLevel::Warn, "admin", "admin connections refused",
                             peer.address().to_string()))
            log::Warn("admin", "connection refused",
                      {{"address", peer.address().to_string()}, {"bound", "admin-allow"}});
    };
    if (!acceptor.Listen(endpoint, ADMIN_BACKLOG, std::move(accepted), ec)) {
        error = ec.message();
        return false;
    }
    return true;
}

uint16_t TAdminServer::Port() const {
    return acceptor.Port();
}

void TAdminServer::Shutdown() {
    acceptor.Close();
}

} // namespace navlet::server
