// Bars on the test kit with real loopback sockets, and navlet-server on an
// ephemeral loopback port with a temporary data folder, its loop on a thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

#include "client/core/navlet.h"
#include "server/server.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/test_kit.h"

namespace navlet::testing {

// One browser window: its own platform fakes, a real socket, a host browser.
struct TBrowserWindow {
    TBrowserWindow(TSocketLoop& loop, uint16_t port) : sockets(loop) {
        tk.environment.values["NAVLET_SERVER"] = "127.0.0.1:" + std::to_string(port);
        tk.socketsOverride = &sockets;
    }
    void Open(const std::string& nick, const std::string& pwd, const std::string& url) {
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "nck", nick);
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "pwd",
                        TNavlet::ScramblePassword(pwd, -1));
        host.location = url;
        bar = std::make_unique<TNavlet>(tk.Kit());
        bar->AttachHost(host);
        bar->ShowDW(true);
    }
    void Visit(const std::string& url) {
        host.location = url;
        bar->BrowserDocumentComplete();
        tk.time.Advance(1000);
    }
    bool Lists(UserId id) const {
        for (const TListItem& item : bar->lvUsers.Items())
            if (item.data == id)
                return true;
        return false;
    }

    TTestKit tk;
    TLoopbackSocketFactory sockets;
    TRecordingHostControl host;
    std::unique_ptr<TNavlet> bar;
};

class SessionEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        loginCount = 0;
        dataDir =
            std::filesystem::temp_directory_path() / ("navlet-e2e-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dataDir);
        std::filesystem::create_directories(dataDir);
        AddAccount("alice", "apple1");
        AddAccount("bob", "banana2");

        server::TServerConfig config;
        config.listen = "127.0.0.1:0";
        config.admin = "127.0.0.1:0";
        config.web = "";
        config.dataDir = dataDir.string();
        config.updatesDir = updatesDir;
        // Long enough for the ticker, driven by the test's clock, to show a
        // reason notice; short enough for a test.
        config.limits.reasonHoldMs = 1000;
        server = std::make_unique<server::TServer>(config);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        serverLoop = std::thread([this] { server->Run(); });
    }

    void TearDown() override {
        alice.reset();
        bob.reset();
        if (server) {
            server->Stop();
            serverLoop.join();
        }
        std::error_code ec;
        std::filesystem::remove_all(dataDir, ec);
    }

    // Through the server's own account tool, as an operator adds accounts.
    void AddAccount(const std::string& nick, const std::string& pwd) {
        const std::string command = std::string("'") + NAVLET_SERVER_PROGRAM + "' --data '" +
                                    dataDir.string() + "' account add " + nick + " " + pwd +
                                    " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    // alice and bob, signed in on one site, each listing the other.
    void SignInBoth() {
        alice = Window();
        bob = Window();
        alice->Open("alice", "apple1", "http://www.example.com/news/");
        ASSERT_TRUE(loop.RunUntil([&] { return alice->bar->loggedIn; }));
        bob->Open("bob", "banana2", "https://www.example.com/sport.html");
        ASSERT_TRUE(loop.RunUntil([&] { return bob->bar->loggedIn; }));
        ASSERT_TRUE(loop.RunUntil(
            [&] { return alice->Lists(bob->bar->myUserId) && bob->Lists(alice->bar->myUserId); }));
    }

    std::unique_ptr<TBrowserWindow> Window() {
        return std::make_unique<TBrowserWindow>(loop, server->SessionPort());
    }

    std::filesystem::path dataDir;
    std::string updatesDir; // the modules the server offers; empty: none
    std::unique_ptr<server::TServer> server;
    std::thread serverLoop;
    TSocketLoop loop;
    std::unique_ptr<TBrowserWindow> alice;
    std::unique_ptr<TBrowserWindow> bob;
};

} // namespace navlet::testing
