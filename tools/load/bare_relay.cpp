// navlet-bare-relay: the least a server must do to carry navlet-load's public
// chat, as a baseline for navlet-server's fan-out: one epoll loop, a login
// answered with the own record, each chat line encoded once and appended to
// every other session of the site, every session's output written once per
// loop turn. No accounts, limits or checks beyond the packet codec.
//
//   navlet-bare-relay --listen 127.0.0.1:PORT [--seconds N]   (N <= 3600)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"

namespace {

using namespace navlet;

constexpr size_t MAX_OUTPUT = 256u << 10; // as the server's slow-reader bound
constexpr int MAX_SECONDS = 3600;

struct TPeer {
    int fd = -1;
    UserId id = 0;
    std::string site;
    TPacketAssembler assembler;
    std::string output;
    bool dirty = false;
    bool waitingWritable = false;
};

class TRelay {
  public:
    bool Listen(const std::string& endpoint);
    void Run(int seconds);

  private:
    void Accept();
    void Read(TPeer& peer);
    void Handle(TPeer& peer, const TPacket& packet);
    void Queue(TPeer& peer, const uint8_t* bytes, size_t size);
    void Flush(TPeer& peer);
    void Drop(int fd);

    int listener = -1;
    int poller = -1;
    UserId nextId = 1;
    std::unordered_map<int, std::unique_ptr<TPeer>> peers;
    std::unordered_map<std::string, std::vector<TPeer*>> sites;
    std::vector<int> dirty;
    std::vector<int> dropped;
};

bool TRelay::Listen(const std::string& endpoint) {
    size_t colon = endpoint.rfind(':');
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(std::atoi(endpoint.c_str() + colon + 1)));
    if (colon == std::string::npos ||
        inet_pton(AF_INET, endpoint.substr(0, colon).c_str(), &addr.sin_addr) != 1)
        return false;
    listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 4096) != 0)
        return false;
    poller = epoll_create1(0);
    epoll_event event{EPOLLIN, {.fd = listener}};
    return epoll_ctl(poller, EPOLL_CTL_ADD, listener, &event) == 0;
}

void TRelay::Run(int seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<epoll_event> events(1024);
    while (std::chrono::steady_clock::now() < end) {
        int n = epoll_wait(poller, events.data(), int(events.size()), 200);
        for (int i = 0; i < n; ++i) {
            int fd = events[i].data.fd;
            if (fd == listener) {
                Accept();
                continue;
            }
            auto it = peers.find(fd);
            if (it == peers.end())
                continue;
            if (events[i].events & EPOLLOUT)
                Flush(*it->second);
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
                Read(*it->second);
        }
        for (int fd : dirty)
            if (auto it = peers.find(fd); it != peers.end())
                Flush(*it->second);
        dirty.clear();
        for (int fd : dropped)
            Drop(fd);
        dropped.clear();
    }
}

void TRelay::Accept() {
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
        if (fd < 0)
            return;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto peer = std::make_unique<TPeer>();
        peer->fd = fd;
        epoll_event event{EPOLLIN, {.fd = fd}};
        epoll_ctl(poller, EPOLL_CTL_ADD, fd, &event);
        peers[fd] = std::move(peer);
    }
}

void TRelay::Read(TPeer& peer) {
    uint8_t buffer[16 << 10];
    ssize_t n = recv(peer.fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            dropped.push_back(peer.fd);
        return;
    }
    for (size_t at = 0; at < size_t(n);) {
        size_t used = 0;
        TPacket packet;
        TAssembleResult r = peer.assembler.Next(buffer + at, size_t(n) - at, used, packet);
        at += used;
        if (r == TAssembleResult::Broken) {
            dropped.push_back(peer.fd);
            return;
        }
        if (r != TAssembleResult::Packet)
            break;
        Handle(peer, packet);
    }
}

void TRelay::Handle(TPeer& peer, const TPacket& packet) {
    TPacket out;
    ClearPacket(out);
    if (packet.Type() == REQ_LOGIN && peer.id == 0) {
        TLoginRequest login = ReadLogin(packet);
        peer.id = nextId++;
        peer.site = login.site.substr(0, login.site.find('/'));
        sites[peer.site].push_back(&peer);
        TPresenceMsg self;
        self.user = peer.id;
        self.chatKey = 1;
        self.nick = login.nick;
        int length = WritePresence(out, self);
        EncodePacket(out, length, MSG_PRESENCE, NextKeyOffset());
        Queue(peer, out.bytes, size_t(length));
        return;
    }
    if (packet.Type() != REQ_CHAT_TEXT || peer.id == 0)
        return;
    TChatLineMsg line;
    line.address = MakeChatAddress(peer.id, 0);
    line.text = ReadChatText(packet).text;
    int length = WriteChatLine(out, line);
    EncodePacket(out, length, MSG_CHAT_LINE, NextKeyOffset());
    for (TPeer* other : sites[peer.site])
        if (other != &peer)
            Queue(*other, out.bytes, size_t(length));
}

void TRelay::Queue(TPeer& peer, const uint8_t* bytes, size_t size) {
    if (peer.output.size() + size > MAX_OUTPUT) {
        dropped.push_back(peer.fd);
        return;
    }
    peer.output.append(reinterpret_cast<const char*>(bytes), size);
    if (!peer.dirty) {
        peer.dirty = true;
        dirty.push_back(peer.fd);
    }
}

void TRelay::Flush(TPeer& peer) {
    peer.dirty = false;
    if (peer.output.empty())
        return;
    ssize_t n = send(peer.fd, peer.output.data(), peer.output.size(), MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        dropped.push_back(peer.fd);
        return;
    }
    peer.output.erase(0, n > 0 ? size_t(n) : 0);
    bool wait = !peer.output.empty();
    if (wait == peer.waitingWritable)
        return;
    peer.waitingWritable = wait;
    epoll_event event{wait ? uint32_t(EPOLLIN | EPOLLOUT) : uint32_t(EPOLLIN), {.fd = peer.fd}};
    epoll_ctl(poller, EPOLL_CTL_MOD, peer.fd, &event);
}

void TRelay::Drop(int fd) {
    auto it = peers.find(fd);
    if (it == peers.end())
        return;
    auto& members = sites[it->second->site];
    std::erase(members, it->second.get());
    close(fd);
    peers.erase(it);
}

} // namespace

int main(int argc, char** argv) {
    std::string endpoint;
    int seconds = 600;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--listen")
            endpoint = argv[i + 1];
        else if (option == "--seconds")
            seconds = std::min(std::max(std::atoi(argv[i + 1]), 1), MAX_SECONDS);
    }
    TRelay relay;
    if (endpoint.empty() || !relay.Listen(endpoint)) {
        std::fprintf(stderr, "usage: navlet-bare-relay --listen ADDR:PORT [--seconds N]\n");
        return 2;
    }
    relay.Run(seconds);
    return 0;
}
