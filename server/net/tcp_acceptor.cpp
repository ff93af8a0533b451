#include "server/net/tcp_acceptor.h"

#include "server/log/log.h"

namespace navlet::server {

size_t TAddressCounts::Of(const std::string& address) const {
    auto it = counts.find(address);
    return it == counts.end() ? 0 : it->second;
}

void TAddressCounts::Release(const std::string& address) {
    auto it = counts.find(address);
    if (it != counts.end() && --it->second == 0)
        counts.erase(it);
}

TTcpAcceptor::TTcpAcceptor(asio::io_context& io) : acceptor(io), retry(io) {}

bool TTcpAcceptor::Listen(const asio::ip::tcp::endpoint& endpoint, int backlog,
                          TOnAccepted accepted, std::error_code& ec) {
    ec.clear();
    acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(backlog, ec);
    if (ec) {
        std::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    onAccepted = std::move(accepted);
    Accept();
    return true;
}

uint16_t TTcpAcceptor::Port() const {
    std::error_code ec;
    auto endpoint = acceptor.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void TTcpAcceptor::Close() {
    std::error_code ignored;
    acceptor.close(ignored);
    retry.cancel();
}

void TTcpAcceptor::Accept() {
    acceptor.async_accept([this](const std::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (ec) {
            // Out of descriptors, most likely: told once when it begins and
            // once when it ends, not at every retry.
            if (failures++ == 0)
                log::Warn("net", "accepting failed: retrying",
                          {{"port", Port()}, {"error", ec.message()}});
            retry.expires_after(RETRY_AFTER);
            retry.async_wait([this](const std::error_code& waited) {
                if (!waited && acceptor.is_open())
                    Accept();
            });
            return;
        }
        if (failures > 0) {
            log::Info("net", "accepting again", {{"port", Port()}, {"failed_accepts", failures}});
            failures = 0;
        }
        std::error_code e;
        asio::ip::tcp::endpoint peer = socket.remote_endpoint(e);
        if (!e)
            onAccepted(std::move(socket), peer);
        Accept();
    });
}

} // namespace navlet::server
