// navlet-server as an operator runs it: the binary started with its log on
// stderr, a bar signing in and failing to, a sign-up, a kick through
// navlet-admin, SIGHUP and SIGTERM. The log is read back line by line; what
// must never be in it is looked for in the whole of it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "tests/server/log_lines.h"
#include "tests/server/test_client.h"

namespace {

using namespace navlet;
using namespace navlet::test;
using navlet::server::testing::FindLogLine;
using navlet::server::testing::ParseLogLines;
using navlet::server::testing::TLogFields;

const char* const RESTART = "The server is restarting: I'll be back in a moment.";

// Runs PROGRAM ARGS... and returns its exit code (-1 when it did not exit).
int RunTool(const std::vector<std::string>& args) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The server binary in a process of its own, its stderr in a file.
class TServerProcess {
  public:
    TServerProcess(const std::filesystem::path& dir, std::vector<std::string> extra)
        : logPath(dir / "server.log") {
        std::vector<std::string> args = {NAVLET_SERVER_BINARY, "--data",      dir.string(),
                                         "--listen",           "127.0.0.1:0", "--web",
                                         "127.0.0.1:0",        "--admin",     "127.0.0.1:0"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid = ::fork();
        if (pid == 0) {
            int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(out, 2);
            std::vector<char*> argv;
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~TServerProcess() {
        if (pid > 0 && !exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    std::string Text() const {
        std::ifstream in(logPath);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    std::vector<TLogFields> Lines() const { return ParseLogLines(Text()); }

    // Waits (at most ten seconds) for a line with `message` and `having`.
    std::optional<TLogFields> WaitLine(std::string_view message, const TLogFields& having = {}) {
        for (int i = 0; i < 1000; ++i) {
            if (auto line = FindLogLine(Lines(), message, having))
                return line;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

    uint16_t PortOf(const TLogFields& started, const std::string& key) const {
        auto it = started.find(key);
        if (it == started.end())
            return 0;
        return uint16_t(std::stoi(it->second.substr(it->second.rfind(':') + 1)));
    }

    // The exit code, waiting at most `seconds`; -1 when it did not exit so.
    int WaitExit(int seconds) {
        for (int i = 0; i < seconds * 100; ++i) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    bool Alive() { return ::waitpid(pid, nullptr, WNOHANG) == 0; }
    void Signal(int signal) { ::kill(pid, signal); }

    std::filesystem::path logPath;
    pid_t pid = -1;
    bool exited = false;
};

class ServerOps : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("navlet-ops-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        ASSERT_EQ(RunTool({NAVLET_SERVER_BINARY, "--data", dir.string(), "account", "add", "alice",
                           "Alice-Secret1"}),
                  0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(ServerOps, TheLogTellsEachOperatorEventWithItsFieldsAndNoSecret) {
    TServerProcess server(dir, {});
    auto started = server.WaitLine("started");
    ASSERT_TRUE(started) << server.Text();
    EXPECT_EQ((*started)["level"], "info");
    EXPECT_EQ((*started)["subsystem"], "server");
    EXPECT_FALSE((*started)["version"].empty());
    EXPECT_FALSE((*started)["commit"].empty());
    EXPECT_EQ((*started)["cluster"], "none");
    EXPECT_EQ((*started)["store"], (dir / "navlet.db").string());
    uint16_t sessions = server.PortOf(*started, "sessions");
    uint16_t web = server.PortOf(*started, "web");
    uint16_t admin = server.PortOf(*started, "admin");
    ASSERT_TRUE(sessions && web && admin) << server.Text();

    // A sign-in, from a page whose path and query are nobody's business.
    TTestClient bar;
    ASSERT_TRUE(bar.Connect(sessions));
    ASSERT_TRUE(bar.Login("alice", "Alice-Secret1", "news.example/private/story?token=t0ps3cret"));
    auto accepted = server.WaitLine("sign-in accepted", {{"nick", "alice"}});
    ASSERT_TRUE(accepted) << server.Text();
    EXPECT_EQ((*accepted)["subsystem"], "signin");
    EXPECT_EQ((*accepted)["address"], "127.0.0.1");
    EXPECT_EQ((*accepted)["transport"], "tcp");
    TPacket p;
    ClearPacket(p);
    ASSERT_TRUE(bar.Send(p, BuildChatText(p, MakeChatAddress(bar.Id(), 0), "my-chat-words"),
                         REQ_CHAT_TEXT));

    // A wrong password.
    TTestClient guesser;
    ASSERT_TRUE(guesser.Connect(sessions));
    ASSERT_TRUE(guesser.SendLogin("alice", "Wrong-Guess77", "example.com"));
    auto refused = server.WaitLine("sign-in refused", {{"nick", "alice"}});
    ASSERT_TRUE(refused) << server.Text();
    EXPECT_EQ((*refused)["reason"], "wrong-password");
    EXPECT_EQ((*refused)["address"], "127.0.0.1");
    EXPECT_EQ((*refused)["transport"], "tcp");

    // A sign-up made and one refused.
    httplib::Client site("127.0.0.1", web);
    site.set_read_timeout(10);
    auto made = site.Post("/newuser.asp", httplib::Params{{"nick", "Bob"},
                                                          {"password", "Bob-Secret22"},
                                                          {"gender", "m"},
                                                          {"language", "1"}});
    ASSERT_TRUE(made);
    EXPECT_EQ(made->status, 200);
    auto signedUp = server.WaitLine("sign-up made", {{"nick", "Bob"}});
    ASSERT_TRUE(signedUp) << server.Text();
    EXPECT_EQ((*signedUp)["address"], "127.0.0.1");
    EXPECT_FALSE((*signedUp)["account"].empty());
    auto taken = site.Post("/newuser.asp", httplib::Params{{"nick", "bob"},
                                                           {"password", "Other-Secret3"},
                                                           {"gender", "m"},
                                                           {"language", "1"}});
    ASSERT_TRUE(taken);
    auto signUpRefused = server.WaitLine("sign-up refused", {{"nick", "bob"}});
    ASSERT_TRUE(signUpRefused) << server.Text();
    EXPECT_EQ((*signUpRefused)["reason"], "nick-taken");

    // A kick through navlet-admin: who gave it, what, and how many it reached.
    ASSERT_EQ(RunTool({NAVLET_ADMIN_BINARY, "--admin", "127.0.0.1:" + std::to_string(admin), "kick",
                       "user:alice"}),
              0);
    auto kick = server.WaitLine("operator command", {{"command", "KICK"}});
    ASSERT_TRUE(kick) << server.Text();
    EXPECT_EQ((*kick)["subsystem"], "admin");
    EXPECT_EQ((*kick)["target"], "user:alice");
    EXPECT_EQ((*kick)["sessions"], "1");
    EXPECT_EQ((*kick)["admin"].rfind("127.0.0.1:", 0), 0u) << (*kick)["admin"];
    EXPECT_TRUE(bar.WaitClosed(10000));

    // Health and metrics on the admin port, beside the line protocol.
    httplib::Client adminHttp("127.0.0.1", admin);
    adminHttp.set_read_timeout(10);
    auto healthy = adminHttp.Get("/healthz");
    ASSERT_TRUE(healthy);
    EXPECT_EQ(healthy->status, 200);
    auto ready = adminHttp.Get("/readyz");
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->status, 200) << ready->body;
    auto metrics = adminHttp.Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->status, 200);
    for (const char* sample :
         {"navlet_signins_total{result=\"accepted\"} 1\n",
          "navlet_signins_total{result=\"refused\",reason=\"wrong-password\"} 1\n",
          "navlet_signups_total{result=\"made\"} 1\n",
          "navlet_signups_total{result=\"refused\",reason=\"nick-taken\"} 1\n",
          "navlet_public_lines_total 1\n", "navlet_web_requests_total{status=\"200\"}"})
        EXPECT_NE(metrics->body.find(sample), std::string::npos) << sample << metrics->body;
    EXPECT_EQ(AdminCommand(admin, "STATS\n").rfind("* connections", 0), 0u);

    std::string all = server.Text();
    for (const char* secret : {"Alice-Secret1", "Wrong-Guess77", "Bob-Secret22", "Other-Secret3",
                               "$argon2", "/private", "story", "t0ps3cret", "my-chat-words"})
        EXPECT_EQ(all.find(secret), std::string::npos) << secret << " in\n" << all;
    for (const TLogFields& line : server.Lines()) {
        EXPECT_FALSE(line.empty()) << "a line that does not read back in\n" << all;
        for (const char* key : {"time", "level", "subsystem", "msg"})
            EXPECT_TRUE(line.contains(key)) << key;
    }
}

TEST_F(ServerOps, SighupReloadsAndSigtermSaysGoodbyeThenExitsZero) {
    TServerProcess server(dir, {"--log-format", "json"});
    auto started = server.WaitLine("started");
    ASSERT_TRUE(started) << server.Text();
    EXPECT_EQ(server.Text().front(), '{') << "JSON lines";
    uint16_t sessions = server.PortOf(*started, "sessions");

    server.Signal(SIGHUP);
    ASSERT_TRUE(server.WaitLine("reload requested")) << server.Text();
    EXPECT_TRUE(server.Alive()) << "SIGHUP must not end the server";

    TTestClient bar, waiting;
    ASSERT_TRUE(bar.Connect(sessions));
    ASSERT_TRUE(bar.Login("alice", "Alice-Secret1", "example.com"));
    ASSERT_TRUE(waiting.Connect(sessions)); // not signed in: closed without a word
    bar.Drain();

    server.Signal(SIGTERM);
    // The signed-in bar hears why, as a ticker notice, and then the
    // connection closes without the end of session, so the bar comes back.
    TPacket p;
    ASSERT_TRUE(bar.WaitFor(MSG_CHAT_LINE, p, 5000));
    TChatLineMsg notice = ReadChatLine(p);
    EXPECT_EQ(notice.address.User(), 0u);
    EXPECT_EQ(notice.address.Chat(), 0x200u);
    EXPECT_EQ(notice.text, RESTART);
    bool endOfSession = false;
    while (bar.Next(p, 5000))
        endOfSession = endOfSession || p.Type() == MSG_END_SESSION;
    EXPECT_FALSE(endOfSession);
    EXPECT_TRUE(waiting.WaitClosed(5000));

    EXPECT_EQ(server.WaitExit(/*seconds=*/10), 0) << server.Text();
    auto stopping = FindLogLine(server.Lines(), "stopping");
    ASSERT_TRUE(stopping) << server.Text();
    EXPECT_EQ((*stopping)["why"], "SIGTERM");
    EXPECT_TRUE(FindLogLine(server.Lines(), "stopped")) << server.Text();
}

TEST_F(ServerOps, SighupTakesNewLimitsFromTheFileAndNamesWhatWaitsForARestart) {
    auto conf = dir / "navlet-server.conf";
    std::ofstream(conf) << "max_per_address = 1\ncluster_ttl = 10\n";
    TServerProcess server(dir, {"--config", conf.string()});
    auto started = server.WaitLine("started");
    ASSERT_TRUE(started) << server.Text();
    uint16_t sessions = server.PortOf(*started, "sessions");
    TTestClient first, second;
    ASSERT_TRUE(first.Connect(sessions));
    ASSERT_TRUE(second.Connect(sessions));
    EXPECT_TRUE(second.WaitClosed(5000)) << "one connection per address, from the file";

    std::ofstream(conf) << "max_per_address = 3\ncluster_ttl = 20\nlog_level = debug\n";
    server.Signal(SIGHUP);
    auto reloaded = server.WaitLine("configuration reloaded");
    ASSERT_TRUE(reloaded) << server.Text();
    EXPECT_EQ((*reloaded)["config_file"], conf.string());
    EXPECT_NE((*reloaded)["changed"].find("max_per_address"), std::string::npos);
    EXPECT_NE((*reloaded)["changed"].find("log_level"), std::string::npos);
    auto kept = server.WaitLine("configuration changes kept until a restart");
    ASSERT_TRUE(kept) << server.Text();
    EXPECT_EQ((*kept)["level"], "warn");
    EXPECT_EQ((*kept)["keys"], "cluster_ttl");
    TTestClient third;
    ASSERT_TRUE(third.Connect(sessions));
    EXPECT_TRUE(third.Login("alice", "Alice-Secret1", "example.com")) << "the new bound holds";

    // A file that no longer reads leaves the server as it was.
    std::ofstream(conf) << "max_per_address = 0\n";
    server.Signal(SIGHUP);
    auto refused = server.WaitLine("configuration not reloaded");
    ASSERT_TRUE(refused) << server.Text();
    EXPECT_EQ((*refused)["level"], "error");
    EXPECT_NE((*refused)["error"].find("line 1"), std::string::npos);
    EXPECT_TRUE(server.Alive());
    TTestClient fourth;
    ASSERT_TRUE(fourth.Connect(sessions));
    EXPECT_TRUE(fourth.Login("alice", "Alice-Secret1", "example.org")) << "still three";
}

TEST_F(ServerOps, TheLogLevelIsHeldAndBadValuesRefused) {
    EXPECT_EQ(RunTool({NAVLET_SERVER_BINARY, "--log-level", "verbose"}), 2);
    EXPECT_EQ(RunTool({NAVLET_SERVER_BINARY, "--log-format", "xml"}), 2);
    // A start that fails after the update folder was read (the admin
    // endpoint takes loopback only): at info both lines, at error one.
    for (const char* level : {"info", "error"}) {
        TServerProcess server(dir, {"--admin", "0.0.0.0:0", "--log-level", level});
        EXPECT_EQ(server.WaitExit(/*seconds=*/10), 1);
        auto lines = server.Lines();
        auto failed = FindLogLine(lines, "cannot start");
        ASSERT_TRUE(failed) << server.Text();
        EXPECT_EQ((*failed)["level"], "error");
        EXPECT_NE((*failed)["error"].find("loopback"), std::string::npos);
        EXPECT_EQ(FindLogLine(lines, "no update offered").has_value(), level == std::string("info"))
            << level << ":\n"
            << server.Text();
    }
}

} // namespace
