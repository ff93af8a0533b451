// Cluster nodes, as the operator starts them, against a Redis that asks for
// a password: requirepass for the default user and a Redis 6 ACL user held to
// the cluster's keys. The password comes in the address or the environment,
// a wrong or missing one is told once, and no password is ever in the log.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <hiredis/hiredis.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/server/log_lines.h"

namespace {

using navlet::server::testing::FindLogLine;
using navlet::server::testing::ParseLogLines;
using navlet::server::testing::TLogFields;

const char* const REQUIRE_PASS = "req-Pass:1@x";
const char* const NODE_PASS = "node-Pass-2";
const char* const WRONG_PASS = "wrong-Pass-3";

// A child process that is killed and reaped with its owner.
class TChild {
  public:
    TChild(const std::vector<std::string>& args, const std::string& stderrPath,
           const std::vector<std::string>& env = {}) {
        pid = ::fork();
        if (pid != 0)
            return;
        int out = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(out, 2);
        ::unsetenv("NAVLET_REDIS_PASSWORD");
        for (const std::string& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ~TChild() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

  private:
    pid_t pid = -1;
};

uint16_t FreePort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

class RedisAuth : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v redis-server >/dev/null") != 0)
            GTEST_SKIP() << "redis-server is not installed";
        dir = std::filesystem::temp_directory_path() /
              ("navlet-redis-auth-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        port = FreePort();
        redis = std::make_unique<TChild>(
            std::vector<std::string>{"redis-server", "--bind", "127.0.0.1", "--port",
                                     std::to_string(port), "--dir", dir.string(), "--save", "",
                                     "--appendonly", "no", "--requirepass", REQUIRE_PASS},
            (dir / "redis.log").string());
        // Up when it answers; then the cluster's own user, held to its keys.
        for (int i = 0; i < 100 && !Admin("PING"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(Admin("PING"));
        ASSERT_TRUE(Admin("ACL SETUSER navnode on >" + std::string(NODE_PASS) +
                          " ~navlet:* &navlet:* +@all -@dangerous"));
    }
    void TearDown() override {
        nodes.clear();
        redis.reset();
        std::filesystem::remove_all(dir);
    }

    // One command as the default user (through `via`, or straight to
    // Redis); its reply as text, nothing on error.
    std::optional<std::string> Admin(const std::string& command, uint16_t via = 0) {
        redisContext* c = redisConnect("127.0.0.1", via ? via : port);
        std::optional<std::string> out;
        if (c && !c->err) {
            auto* auth = static_cast<redisReply*>(redisCommand(c, "AUTH %s", REQUIRE_PASS));
            freeReplyObject(auth);
            auto* r = static_cast<redisReply*>(redisCommand(c, command.c_str()));
            if (r && r->type != REDIS_REPLY_ERROR) {
                out = r->str ? std::string(r->str, r->len) : std::string();
                for (size_t i = 0; i < r->elements; ++i)
                    *out += std::string(r->element[i]->str, r->element[i]->len) + " ";
            }
            freeReplyObject(r);
        }
        if (c)
            redisFree(c);
        return out;
    }

    // A program run to its end; whether it succeeded.
    static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

    void WriteFile(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path) << text;
    }

    // Starts a node on `address`; its log is the returned path.
    std::filesystem::path Node(const std::string& name, const std::string& address,
                               const std::vector<std::string>& env = {}) {
        std::filesystem::path data = dir / name;
        std::filesystem::create_directories(data);
        nodes.push_back(std::make_unique<TChild>(
            std::vector<std::string>{NAVLET_SERVER_BINARY, "--data", data.string(), "--listen",
                                     "127.0.0.1:0", "--web", "", "--admin", "", "--cluster",
                                     address},
            (data / "server.log").string(), env));
        return data / "server.log";
    }

    // Waits (at most ten seconds) for a line with `message`.
    std::optional<TLogFields> WaitLine(const std::filesystem::path& log, std::string_view message) {
        for (int i = 0; i < 1000; ++i) {
            if (auto line = FindLogLine(ParseLogLines(ReadAll(log)), message))
                return line;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

    std::filesystem::path dir;
    uint16_t port = 0;
    std::unique_ptr<TChild> redis;
    std::vector<std::unique_ptr<TChild>> nodes;
};

TEST_F(RedisAuth, NodesAuthenticateByAddressOrEnvironmentAndNeverLogThePassword) {
    std::string at = "@127.0.0.1:" + std::to_string(port);
    // requirepass in the address, with its '@' and ':' escaped.
    auto byAddress = Node("a", "redis://:req-Pass%3A1%40x" + at);
    // An ACL user, its password from the environment.
    auto byEnvironment = Node("b", "redis://navnode" + at + "/0",
                              {std::string("NAVLET_REDIS_PASSWORD=") + NODE_PASS});
    auto wrong =
        Node("c", "redis://navnode" + at, {std::string("NAVLET_REDIS_PASSWORD=") + WRONG_PASS});
    auto none = Node("d", "redis://127.0.0.1:" + std::to_string(port));

    for (const auto& log : {byAddress, byEnvironment}) {
        auto reachable = WaitLine(log, "Redis reachable: sharing presence with the other nodes");
        ASSERT_TRUE(reachable) << ReadAll(log);
        auto started = WaitLine(log, "started");
        ASSERT_TRUE(started) << ReadAll(log);
        EXPECT_EQ((*started)["cluster"].find("redis://"), 0u);
        EXPECT_NE((*started)["cluster"].find(":***@127.0.0.1"), std::string::npos);
        // Past SELECT: the node's heartbeat is in Redis under its ACL.
        std::string node = (*reachable)["node"];
        std::optional<std::string> nodes;
        for (int i = 0; i < 500; ++i) {
            nodes = Admin("SMEMBERS navlet:nodes");
            if (nodes && nodes->find(node) != std::string::npos)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_NE(nodes.value_or("").find(node), std::string::npos);
    }
    auto refused = WaitLine(wrong, "Redis refused the connection");
    ASSERT_TRUE(refused) << ReadAll(wrong);
    EXPECT_EQ((*refused)["level"], "error");
    EXPECT_NE((*refused)["error"].find("WRONGPASS"), std::string::npos);
    auto noAuth = WaitLine(none, "Redis refused the connection");
    ASSERT_TRUE(noAuth) << ReadAll(none);
    EXPECT_NE((*noAuth)["error"].find("NOAUTH"), std::string::npos);

    // The refused keep trying, quietly: still one line each after retries.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    for (const auto& log : {wrong, none}) {
        std::string text = ReadAll(log);
        size_t told = 0;
        for (size_t at = text.find("Redis refused"); at != std::string::npos;
             at = text.find("Redis refused", at + 1))
            ++told;
        EXPECT_EQ(told, 2u) << text; // one per link: commands and events
        EXPECT_EQ(text.find("Redis reachable"), std::string::npos);
    }
    for (const auto& log : {byAddress, byEnvironment, wrong, none}) {
        std::string text = ReadAll(log);
        for (const char* secret : {"req-Pass", "Pass%3A1", NODE_PASS, WRONG_PASS})
            EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in " << text;
    }
}

// Debian's hiredis has no TLS: across a network, Redis goes through stunnel
// on both ends, the node's end checking the certificate of Redis' end.
TEST_F(RedisAuth, ANodeReachesRedisThroughATlsTunnel) {
    if (!Run("command -v stunnel4 >/dev/null"))
        GTEST_SKIP() << "stunnel4 is not installed";
    std::string key = (dir / "redis.key").string(), cert = (dir / "redis.crt").string();
    ASSERT_TRUE(Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                    "-keyout '" +
                    key + "' -out '" + cert +
                    "' -days 1 -subj /CN=redis.test "
                    "-addext subjectAltName=IP:127.0.0.1 2>/dev/null"));
    uint16_t tls = FreePort(), local = FreePort();
    WriteFile(dir / "redis-end.conf",
              "foreground = yes\npid =\n[redis]\naccept = 127.0.0.1:" + std::to_string(tls) +
                  "\nconnect = 127.0.0.1:" + std::to_string(port) + "\ncert = " + cert +
                  "\nkey = " + key + "\n");
    WriteFile(dir / "node-end.conf",
              "foreground = yes\npid =\n[redis]\nclient = yes\naccept = 127.0.0.1:" +
                  std::to_string(local) + "\nconnect = 127.0.0.1:" + std::to_string(tls) +
                  "\nverifyChain = yes\nCAfile = " + cert + "\ncheckIP = 127.0.0.1\n");
    TChild redisEnd({"stunnel4", (dir / "redis-end.conf").string()},
                    (dir / "redis-end.log").string());
    TChild nodeEnd({"stunnel4", (dir / "node-end.conf").string()}, (dir / "node-end.log").string());
    for (int i = 0; i < 100 && !Admin("PING", local); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(Admin("PING", local)) << ReadAll(dir / "node-end.log");

    auto log = Node("t", "redis://127.0.0.1:" + std::to_string(local),
                    {std::string("NAVLET_REDIS_PASSWORD=") + REQUIRE_PASS});
    auto reachable = WaitLine(log, "Redis reachable: sharing presence with the other nodes");
    ASSERT_TRUE(reachable) << ReadAll(log);
    std::optional<std::string> nodes;
    for (int i = 0; i < 500; ++i) {
        nodes = Admin("SMEMBERS navlet:nodes");
        if (nodes && nodes->find((*reachable)["node"]) != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_NE(nodes.value_or("").find((*reachable)["node"]), std::string::npos);
    EXPECT_EQ(ReadAll(log).find(REQUIRE_PASS), std::string::npos);
}

} // namespace
