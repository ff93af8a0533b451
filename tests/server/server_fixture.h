// A navlet-server on ephemeral loopback ports with a temporary data folder,
// its loop on a thread of its own, restartable on the same data.
//
// With NAVLET_BLACKBOX_TRANSPORT=ws every client of the tests reaches the
// server over WebSocket on the web site's port: Port() hands that port out.
//
// With NAVLET_BLACKBOX_NODES=2 (and the services of NAVLET_CLUSTER_ENV) the
// same tests run against two nodes sharing Redis and PostgreSQL: Port()
// hands out the first node's port and the second node's in turn, so the
// users of a test spread over both; the second node's users come over
// WebSocket at its web site, so that both transports meet across the
// cluster. Admin() and `server` are the first node.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "server/server.h"
#include "tests/server/cluster_env.h"
#include "tests/server/test_client.h"

namespace navlet::test {

inline bool BlackBoxOverWebSocket() {
    const char* transport = std::getenv("NAVLET_BLACKBOX_TRANSPORT");
    return transport && std::string(transport) == "ws";
}

inline bool BlackBoxOnTwoNodes() {
    const char* nodes = std::getenv("NAVLET_BLACKBOX_NODES");
    return nodes && std::string(nodes) == "2";
}

class TServerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dataDir =
            std::filesystem::temp_directory_path() /
            ("navlet-server-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(dataDir);
        std::filesystem::create_directories(dataDir);
        config.listen = "127.0.0.1:0";
        config.admin = "127.0.0.1:0";
        config.web = "";
        config.dataDir = dataDir.string();
        config.updatesDir = (dataDir / "updates").string();
        config.bannersDir = (dataDir / "banners").string();
        config.limits.reasonHoldMs = 0; // the reason notice and the end come together
        if (BlackBoxOverWebSocket())
            config.web = "127.0.0.1:0";
        if (BlackBoxOnTwoNodes())
            UseCluster();
    }

    void TearDown() override {
        StopServer();
        std::error_code ec;
        std::filesystem::remove_all(dataDir, ec);
    }

    void AddAccount(const std::string& nick, const std::string& password, char gender = 'x',
                    int language = 3) {
        std::string error;
        auto store = server::TStore::Open(
            cluster ? cluster->postgres : (dataDir / "navlet.db").string(), error);
        ASSERT_TRUE(store) << error;
        ASSERT_EQ(store->AddAccount(nick, password, gender, language),
                  server::TAddAccountResult::Added);
    }

    void StartServer() {
        server = std::make_unique<server::TServer>(config);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        loop = std::thread([this] { server->Run(); });
        if (cluster)
            StartSecondNode();
    }

    void StopServer() {
        for (auto* node : {&server, &second}) {
            if (!*node)
                continue;
            (*node)->Stop();
            (node == &server ? loop : secondLoop).join();
            node->reset();
        }
    }

    // Runs `f` on the server's loop and returns what it returns.
    template <class F> auto OnLoop(F f) -> decltype(f()) {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto done = task.get_future();
        asio::post(server->Io(), [&task] { task(); });
        return done.get();
    }

    size_t ConnectionCount() {
        return OnLoop([this] { return server->Sessions().ConnectionCount(); });
    }

    // Waits, two seconds at most, until the server has accepted `count`
    // connections in all.
    bool WaitForConnections(size_t count) {
        for (int i = 0; i < 200 && ConnectionCount() != count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return ConnectionCount() == count;
    }

    uint16_t Port() {
        auto port = [](server::TServer& node) {
            return BlackBoxOverWebSocket() ? node.WebPort() : node.SessionPort();
        };
        if (!second)
            return port(*server);
        if (turn++ % 2 == 0)
            return port(*server);
        return second->WebPort();
    }
    std::string Admin(const std::string& line) { return AdminCommand(server->AdminPort(), line); }

    // The admin's answer once it is `expected`, two seconds at most: on two
    // nodes the other node's sessions reach this one's counts through Redis.
    std::string AdminOnceSettled(const std::string& line, const std::string& expected) {
        std::string answer = Admin(line);
        for (int i = 0; i < 200 && answer != expected; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            answer = Admin(line);
        }
        return answer;
    }

    std::filesystem::path dataDir;
    server::TServerConfig config;
    std::unique_ptr<server::TServer> server;
    std::thread loop;
    static inline int counter = 0;

  private:
    void UseCluster() {
        cluster = ClusterServices();
        ASSERT_TRUE(cluster) << "NAVLET_CLUSTER_ENV names no running services";
        ASSERT_TRUE(cluster->EmptyPostgres());
        ASSERT_TRUE(FlushRedis(cluster->redis));
        config.database = cluster->postgres;
        config.cluster.redis = cluster->redis;
        config.cluster.heartbeat = std::chrono::milliseconds(200);
        config.cluster.ttl = std::chrono::milliseconds(1000);
    }

    // The second node, and a wait until both count each other alive.
    void StartSecondNode() {
        server::TServerConfig other = config;
        other.dataDir = (dataDir / "second").string();
        other.web = "127.0.0.1:0";
        second = std::make_unique<server::TServer>(other);
        std::string error;
        ASSERT_TRUE(second->Start(error)) << error;
        TTestClient::ReachOverWebSocket(second->WebPort());
        secondLoop = std::thread([this] { second->Run(); });
        for (int i = 0; i < 50; ++i) {
            bool formed = true;
            for (auto* node : {&server, &second})
                formed =
                    formed && AdminCommand((*node)->AdminPort(), "STATS").find("* nodes 2\n") !=
                                  std::string::npos;
            if (formed)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        FAIL() << "the two nodes did not see each other";
    }

    std::optional<TClusterServices> cluster;
    std::unique_ptr<server::TServer> second;
    std::thread secondLoop;
    unsigned turn = 0;
};

} // namespace navlet::test
