#include "tools/admin/admin_session.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/admin/admin_line.h"

namespace navlet::admin {
namespace {

bool SendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

bool SplitEndpoint(const std::string& endpoint, std::string& host, std::string& port) {
    size_t colon = endpoint.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == endpoint.size())
        return false;
    host = endpoint.substr(0, colon);
    port = endpoint.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return true;
}

} // namespace

int Converse(int fd, const std::string& line, std::ostream& out, std::ostream& err,
             size_t maxLines) {
    if (!SendAll(fd, line + "\n")) {
        err << "navlet-admin: cannot send the command: " << std::strerror(errno) << "\n";
        return EXIT_UNREACHABLE;
    }
    std::string pending;
    size_t lines = 0;
    char buffer[4096];
    for (;;) {
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            std::string answer = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (!answer.empty() && answer.back() == '\r')
                answer.pop_back();
            out << answer << "\n";
            TAnswerLine kind = ClassifyAnswer(answer);
            if (kind == TAnswerLine::Ok)
                return EXIT_OK;
            if (kind == TAnswerLine::Error)
                return EXIT_REFUSED;
            if (++lines >= maxLines) {
                err << "navlet-admin: the answer is too long\n";
                return EXIT_UNREACHABLE;
            }
        }
        if (pending.size() > MAX_ADMIN_LINE) {
            err << "navlet-admin: the server sent a line longer than 1024 bytes\n";
            return EXIT_UNREACHABLE;
        }
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err << "navlet-admin: the server closed the connection before answering"
                << (n < 0 ? std::string(": ") + std::strerror(errno) : std::string()) << "\n";
            return EXIT_UNREACHABLE;
        }
        pending.append(buffer, size_t(n));
    }
}

int ConnectAdmin(const std::string& endpoint, int timeoutSeconds, std::string& error) {
    std::string host, port;
    if (!SplitEndpoint(endpoint, host, port)) {
        error = "the admin address must be ADDR:PORT, not '" + endpoint + "'";
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        error = "bad admin address '" + endpoint + "': " + ::gai_strerror(rc);
        return -1;
    }
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        ::freeaddrinfo(found);
        return -1;
    }
    timeval tv{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int rc = ::connect(fd, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    if (rc != 0) {
        error = "cannot reach the admin endpoint " + endpoint + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace navlet::admin
