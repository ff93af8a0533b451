// navlet-load's bots against a small scripted server on loopback: sign-in,
// presence per site and public-line fan-out must be counted exactly.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <sstream>
#include <thread>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"
#include "tools/load/load_run.h"

namespace navlet::load {
namespace {

// Just enough of a session server: a login gets the user's own record, the
// site's others and the newcomer's record to them; a public line goes to the
// other users of the sender's site. A nick starting with "x" is refused.
class TScriptedServer {
  public:
    TScriptedServer() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener, 512);
        socklen_t len = sizeof addr;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        thread = std::thread([this] { Serve(); });
    }
    ~TScriptedServer() {
        stop = true;
        thread.join();
        for (auto& [fd, peer] : peers)
            ::close(fd);
        ::close(listener);
    }
    int port = 0;

  private:
    struct TPeer {
        TPacketAssembler assembler;
        UserId id = 0;
        std::string site, nick;
    };

    void Send(int fd, TPacket& p, int length, uint8_t type) {
        EncodePacket(p, length, type, NextKeyOffset());
        ::send(fd, p.bytes, size_t(length), MSG_NOSIGNAL);
    }
    void SendPresence(int fd, const TPeer& who, uint64_t key) {
        TPacket p;
        ClearPacket(p);
        Send(fd, p, WritePresence(p, {who.id, 0, key, 'm', who.nick}), MSG_PRESENCE);
    }

    void Login(int fd, TPeer& peer, const TPacket& packet) {
        TLoginRequest login = ReadLogin(packet);
        if (login.nick.rfind("x", 0) == 0) {
            TPacket p;
            ClearPacket(p);
            Send(fd, p, WriteEndSession(p), MSG_END_SESSION);
            return;
        }
        peer.id = nextId++;
        peer.site = login.site;
        peer.nick = login.nick;
        SendPresence(fd, peer, /*key=*/0x1234);
        for (auto& [other, them] : peers) {
            if (other == fd || them.id == 0 || them.site != peer.site)
                continue;
            SendPresence(fd, them, 0);
            SendPresence(other, peer, 0);
        }
    }

    void Chat(int fd, const TPeer& peer, const TPacket& packet) {
        TChatTextRequest chat = ReadChatText(packet);
        TPacket p;
        for (auto& [other, them] : peers) {
            if (other == fd || them.id == 0 || them.site != peer.site)
                continue;
            ClearPacket(p);
            int length = WriteChatLine(p, {MakeChatAddress(peer.id, ChatId(0)), 0, chat.text});
            Send(other, p, length, MSG_CHAT_LINE);
        }
    }

    void Read(int fd) {
        uint8_t buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            return;
        size_t offset = 0;
        TPeer& peer = peers[fd];
        while (offset < size_t(n)) {
            size_t consumed = 0;
            TPacket packet;
            auto result =
                peer.assembler.Next(buffer + offset, size_t(n) - offset, consumed, packet);
            offset += consumed;
            if (result == TAssembleResult::Packet && packet.Type() == REQ_LOGIN)
                Login(fd, peer, packet);
            else if (result == TAssembleResult::Packet && packet.Type() == REQ_CHAT_TEXT)
                Chat(fd, peer, packet);
            else if (result != TAssembleResult::Packet)
                break;
        }
    }

    void Serve() {
        while (!stop) {
            std::vector<pollfd> fds{{listener, POLLIN, 0}};
            for (auto& [fd, peer] : peers)
                fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            if (fds[0].revents & POLLIN)
                peers[::accept(listener, nullptr, nullptr)];
            for (size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents & POLLIN)
                    Read(fds[i].fd);
            }
        }
    }

    int listener = -1;
    std::map<int, TPeer> peers;
    UserId nextId = 1;
    std::atomic<bool> stop{false};
    std::thread thread;
};

std::string Field(const std::string& report, const std::string& key) {
    size_t at = report.find(" " + key + "=");
    if (at == std::string::npos)
        return {};
    size_t start = at + key.size() + 2;
    return report.substr(start, report.find(' ', start) - start);
}

TEST(LoadRun, CountsSignInsPresenceAndEveryFannedOutLine) {
    TScriptedServer server;
    TLoadOptions options;
    options.server = "127.0.0.1:" + std::to_string(server.port);
    options.sessions = 12;
    options.sites = 2;
    options.rate = 4;
    options.duration = 1;
    options.loginWindow = 5;
    std::ostringstream report;
    TLoadRun run(options);
    EXPECT_EQ(run.Run(report), 0) << report.str();
    std::string text = report.str();
    EXPECT_EQ(Field(text, "signed_in"), "12") << text;
    EXPECT_EQ(Field(text, "presence"), "60") << text; // two sites of 6: 2 * 6 * 5
    std::string expected = Field(text, "expected");
    EXPECT_NE(expected, "0") << text;
    EXPECT_EQ(Field(text, "delivered"), expected) << text;
    EXPECT_NE(Field(text, "p99_ms"), "");
}

TEST(LoadRun, RefusedSignInsAreReportedAsSuch) {
    TScriptedServer server;
    TLoadOptions options;
    options.server = "127.0.0.1:" + std::to_string(server.port);
    options.prefix = "x";
    options.sessions = 3;
    options.duration = 0;
    options.signInTimeout = 5;
    std::ostringstream report;
    TLoadRun run(options);
    EXPECT_EQ(run.Run(report), 1);
    EXPECT_NE(report.str().find("refused 3"), std::string::npos) << report.str();
}

} // namespace
} // namespace navlet::load
