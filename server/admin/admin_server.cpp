#include "server/admin/admin_server.h"

#include <memory>

#include "server/admin/admin_command.h"

namespace navlet::server {

namespace {

class TAdminConnection : public std::enable_shared_from_this<TAdminConnection> {
  public:
    TAdminConnection(asio::ip::tcp::socket socket, TService& service,
                     std::function<size_t()>& connections)
        : socket(std::move(socket)), service(service), connections(connections),
          input(MAX_ADMIN_LINE + 1), deadline(this->socket.get_executor()) {}

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
        TAdminCommand command;
        std::string error;
        bool quit = false;
        if (!ParseAdminLine(line, command, error)) {
            answer = "ERR " + error + "\n";
        } else if (TClusterLink* cluster = service.Cluster();
                   cluster && cluster->Status().redisUp &&
                   RunAcrossCluster(service, command, [self = shared_from_this()](std::string a) {
                       self->answer = std::move(a);
                       self->Reply(/*quit=*/false);
                   })) {
            return; // the answer waits for every node's count
        } else if (TClusterLink* cluster = service.Cluster();
                   command.verb == TAdminVerb::Users && cluster && cluster->Status().redisUp) {
            // The whole cluster's sessions, as Redis lists them.
            cluster->ListUsers([self = shared_from_this(),
                                host = command.host](std::vector<cluster::TSessionRecord> users) {
                self->answer = ClusterUsersAnswer(users, host);
                self->Reply(/*quit=*/false);
            });
            return;
        } else {
            answer = RunAdminCommand(service, connections(), command);
            quit = command.verb == TAdminVerb::Quit;
        }
        Reply(quit);
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
    asio::streambuf input;
    std::string answer;
    asio::steady_timer deadline;
};

constexpr int ADMIN_BACKLOG = 16;

} // namespace

TAdminServer::TAdminServer(asio::io_context& io, TService& service,
                           std::function<size_t()> connections)
    : service(service), connections(std::move(connections)), acceptor(io) {}

bool TAdminServer::Listen(const asio::ip::tcp::endpoint& endpoint, std::string& error) {
    if (!endpoint.address().is_loopback()) {
        error = "the admin endpoint listens on a loopback address only";
        return false;
    }
    std::error_code ec;
    auto accepted = [this](asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer) {
        if (peer.address().is_loopback())
            std::make_shared<TAdminConnection>(std::move(socket), service, connections)->ReadLine();
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
