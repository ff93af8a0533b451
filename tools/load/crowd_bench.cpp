// navlet-crowd-bench: how long a newcomer takes to be welcomed on a crowded
// site, and what the server holds meanwhile. The server runs in this
// process on loopback; the crowd signs in as quiet in-process sessions on
// its loop (20,000 bots over sockets would each have to read the whole
// crowd's arrivals), and the newcomer is a real connection.
//
//   navlet-crowd-bench [--users N] [--newcomers K]   (N <= 20000, K <= 100)
//
// Prints one RESULT line: users, the newcomers' mean and worst welcome time
// (login sent to banner), records each got, the process's memory before
// and its peak.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <thread>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"
#include "server/server.h"

namespace {

using namespace navlet;
using Clock = std::chrono::steady_clock;

constexpr int MAX_USERS = 20000;
constexpr int MAX_NEWCOMERS = 100;
constexpr int READ_TIMEOUT_S = 30;

struct TQuietSink final : server::TSessionSink {
    void Deliver(const server::TWireRef&) override {}
    void EndSession(std::string_view) override {}
};

struct TCrowdMember {
    TQuietSink sink;
    server::TClient client{sink};
};

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

std::string Nick(const char* prefix, int i) {
    return prefix + std::to_string(100000 + i).substr(1);
}

template <class Work> void OnLoop(server::TServer& srv, Work work) {
    std::promise<void> done;
    asio::post(srv.Io(), [&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    timeval timeout{READ_TIMEOUT_S, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

// Signs in and reads until the banner closes the welcome. Returns the
// presence records of others, or -1 when the server closed or went quiet.
int Welcome(uint16_t port, const std::string& nick, double& ms) {
    int fd = Connect(port);
    if (fd < 0)
        return -1;
    TPacket p;
    ClearPacket(p);
    int length = BuildLogin(p, nick, "pw", "1.4.0.0", "crowd.example", 0x80001FFF, 0);
    EncodePacket(p, length, REQ_LOGIN, NextKeyOffset());
    auto start = Clock::now();
    int records = -1; // the own record comes first
    bool banner = false;
    if (send(fd, p.bytes, size_t(length), MSG_NOSIGNAL) == length) {
        TPacketAssembler assembler;
        uint8_t buffer[64 << 10];
        while (!banner) {
            ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            for (size_t at = 0; at < size_t(n);) {
                size_t used = 0;
                TPacket packet;
                TAssembleResult r = assembler.Next(buffer + at, size_t(n) - at, used, packet);
                at += used;
                if (r != TAssembleResult::Packet)
                    break;
                records += packet.Type() == MSG_PRESENCE;
                banner = banner || packet.Type() == MSG_BANNER;
            }
        }
    }
    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    close(fd);
    return banner ? records : -1;
}

bool Run(int users, int newcomers) {
    auto dir = std::filesystem::temp_directory_path() /
               ("navlet-crowd-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string error;
    {
        auto store = server::TStore::Open((dir / "navlet.db").string(), error);
        // The cheapest hash: the bench is about the welcome, not Argon2.
        char hash[crypto_pwhash_STRBYTES];
        if (!store || sodium_init() < 0 ||
            crypto_pwhash_str(hash, "pw", 2, crypto_pwhash_OPSLIMIT_MIN,
                              crypto_pwhash_MEMLIMIT_MIN) != 0) {
            std::cerr << "crowd-bench: cannot prepare the accounts " << error << "\n";
            return false;
        }
        for (int i = 0; i < users; ++i)
            store->AddAccountHashed(Nick("crowd", i), hash, 'x', 3);
        for (int i = 0; i < newcomers; ++i)
            store->AddAccountHashed(Nick("new", i), hash, 'x', 3);
    }
    server::TServerConfig config;
    config.listen = "127.0.0.1:0";
    config.admin = "127.0.0.1:0";
    config.web = "";
    config.dataDir = dir.string();
    server::TServer srv(config);
    if (!srv.Start(error)) {
        std::cerr << "crowd-bench: " << error << "\n";
        return false;
    }
    std::thread loop([&] { srv.Run(); });
    std::vector<std::unique_ptr<TCrowdMember>> crowd;
    OnLoop(srv, [&] {
        for (int i = 0; i < users; ++i) {
            auto& member = *crowd.emplace_back(std::make_unique<TCrowdMember>());
            member.client.address = "127.0.1." + std::to_string(i % 200);
            TLoginRequest login{Nick("crowd", i), "pw", "1.4.0.0", "crowd.example", 0x80001FFF, 0};
            srv.Service().Login(member.client, login);
        }
    });
    size_t signedIn = 0;
    for (int wait = 0; wait < 1200 && signedIn < size_t(users); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        OnLoop(srv, [&] { signedIn = srv.Service().SignedInCount(); });
    }
    long rssBefore = StatusKb("VmRSS:");
    double total = 0, worst = 0;
    int fewest = users, failed = 0;
    for (int i = 0; i < newcomers; ++i) {
        double ms = 0;
        int records = Welcome(srv.SessionPort(), Nick("new", i), ms);
        failed += records < 0;
        fewest = std::min(fewest, records);
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf("RESULT crowd-join users=%zu newcomers=%d failed=%d fewest_records=%d "
                "mean_ms=%.1f worst_ms=%.1f rss_before_mb=%.1f peak_mb=%.1f\n",
                signedIn, newcomers, failed, fewest, total / newcomers, worst, rssBefore / 1024.0,
                StatusKb("VmHWM:") / 1024.0);
    OnLoop(srv, [&] {
        for (auto& member : crowd)
            srv.Service().Disconnect(member->client);
    });
    srv.Stop();
    loop.join();
    std::filesystem::remove_all(dir);
    return failed == 0 && signedIn == size_t(users);
}

} // namespace

int main(int argc, char** argv) {
    int users = MAX_USERS, newcomers = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        int value = std::atoi(argv[i + 1]);
        if (option == "--users")
            users = std::clamp(value, 1, MAX_USERS);
        else if (option == "--newcomers")
            newcomers = std::clamp(value, 1, MAX_NEWCOMERS);
    }
    return Run(users, newcomers) ? 0 : 1;
}
