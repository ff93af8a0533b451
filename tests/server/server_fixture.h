// A navlet-server on ephemeral loopback ports with a temporary data folder,
// its loop on a thread of its own, restartable on the same data.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "server/server.h"
#include "tests/server/test_client.h"

namespace navlet::test {

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
    }

    void TearDown() override {
        StopServer();
        std::error_code ec;
        std::filesystem::remove_all(dataDir, ec);
    }

    void AddAccount(const std::string& nick, const std::string& password, char gender = 'x',
                    int language = 3) {
        std::string error;
        auto store = server::TStore::Open((dataDir / "navlet.db").string(), error);
        ASSERT_TRUE(store) << error;
        ASSERT_EQ(store->AddAccount(nick, password, gender, language),
                  server::TAddAccountResult::Added);
    }

    void StartServer() {
        server = std::make_unique<server::TServer>(config);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        loop = std::thread([this] { server->Run(); });
    }

    void StopServer() {
        if (!server)
            return;
        server->Stop();
        loop.join();
        server.reset();
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

    uint16_t Port() const { return server->SessionPort(); }
    std::string Admin(const std::string& line) { return AdminCommand(server->AdminPort(), line); }

    std::filesystem::path dataDir;
    server::TServerConfig config;
    std::unique_ptr<server::TServer> server;
    std::thread loop;
    static inline int counter = 0;
};

} // namespace navlet::test
