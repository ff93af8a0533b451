#include "tests/support/loopback_socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace navlet::testing {

TLoopbackSocket::TLoopbackSocket(TSocketLoop& l) : loop(l) {
    loop.sockets.push_back(this);
}

TLoopbackSocket::~TLoopbackSocket() {
    CloseHandle();
    auto& all = loop.sockets;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void TLoopbackSocket::Open() {
    if (Active())
        return;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(Port());
    if (getaddrinfo(Host().c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        Fail(TErrorEvent::eeConnect, EHOSTUNREACH);
        return;
    }
    fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        freeaddrinfo(found);
        Fail(TErrorEvent::eeConnect, errno);
        return;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connected = false;
    peerClosed = false;
    const int r = connect(fd, found->ai_addr, found->ai_addrlen);
    const int err = errno;
    freeaddrinfo(found);
    if (OnConnecting)
        OnConnecting(*this);
    if (r != 0 && err != EINPROGRESS && fd >= 0)
        Fail(TErrorEvent::eeConnect, err);
}

void TLoopbackSocket::CloseHandle() {
    if (fd < 0)
        return;
    ::close(fd);
    fd = -1;
    connected = false;
}

void TLoopbackSocket::Close() {
    if (!Active())
        return;
    CloseHandle();
    if (OnDisconnect)
        OnDisconnect(*this);
}

void TLoopbackSocket::Fail(TErrorEvent event, int errorCode) {
    if (OnError)
        OnError(*this, event, errorCode);
    if (errorCode != 0)
        Close();
}

int TLoopbackSocket::Send(const uint8_t* data, int size) {
    if (!Connected() || size <= 0)
        return 0;
    const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
    if (n >= 0)
        return int(n);
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

int TLoopbackSocket::Receive(uint8_t* data, int size) {
    if (!Connected() || size <= 0)
        return 0;
    const ssize_t n = ::recv(fd, data, size_t(size), 0);
    if (n > 0)
        return int(n);
    if (n == 0)
        peerClosed = true;
    return 0;
}

short TLoopbackSocket::PollEvents() const {
    return connected ? POLLIN : POLLOUT;
}

void TLoopbackSocket::Handle(short revents) {
    if (!connected) {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            Fail(TErrorEvent::eeConnect, err);
            return;
        }
        if (!(revents & POLLOUT))
            return;
        connected = true;
        if (OnConnect)
            OnConnect(*this);
        return;
    }
    if (revents & POLLIN) {
        if (OnRead)
            OnRead(*this);
        // The handler read what it wanted; an end of stream seen then, or a
        // hang-up with nothing left, ends the connection.
        if (Active() && peerClosed)
            Close();
        return;
    }
    if (revents & (POLLHUP | POLLERR))
        Close();
}

void TSocketLoop::RunOnce(int waitMs) {
    std::vector<pollfd> fds;
    std::vector<TLoopbackSocket*> owners;
    for (TLoopbackSocket* s : sockets) {
        if (!s->Active())
            continue;
        fds.push_back(pollfd{s->fd, s->PollEvents(), 0});
        owners.push_back(s);
    }
    if (fds.empty()) {
        // Nothing to wait for: pause as poll would, so a waiting test does not spin.
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    if (poll(fds.data(), fds.size(), waitMs) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i) {
        // A handler may close or destroy other sockets: only those still
        // registered and holding the same handle are told.
        TLoopbackSocket* s = owners[i];
        if (fds[i].revents == 0 || std::find(sockets.begin(), sockets.end(), s) == sockets.end() ||
            s->fd != fds[i].fd)
            continue;
        s->Handle(fds[i].revents);
    }
}

bool TSocketLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        RunOnce(/*waitMs=*/10);
    }
    return true;
}

} // namespace navlet::testing
