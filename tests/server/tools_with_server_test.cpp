// navlet-admin and navlet-load against the real navlet-server on loopback:
// both tools must agree with the server on the admin grammar and the protocol.
#include <unistd.h>

#include <sstream>

#include "tests/server/server_fixture.h"
#include "tools/admin/admin_line.h"
#include "tools/admin/admin_session.h"
#include "tools/load/load_run.h"

namespace navlet::test {
namespace {

class ToolsWithServer : public TServerFixture {
  protected:
    // What navlet-admin prints and its exit status for `words`.
    std::pair<int, std::string> RunAdmin(const std::vector<std::string>& words) {
        std::string error;
        auto line = admin::BuildAdminLine(words, error);
        EXPECT_TRUE(line) << error;
        if (!line)
            return {admin::EXIT_USAGE, error};
        int fd = admin::ConnectAdmin("127.0.0.1:" + std::to_string(server->AdminPort()),
                                     /*timeoutSeconds=*/5, error);
        EXPECT_GE(fd, 0) << error;
        if (fd < 0)
            return {admin::EXIT_UNREACHABLE, error};
        std::ostringstream out, err;
        int status = admin::Converse(fd, *line, out, err);
        ::close(fd);
        return {status, out.str()};
    }
    // Six bots on two sites, over TCP or over WebSocket (`wsPath`) on the
    // web site's port.
    void ExpectLoadCountedExactly(const std::string& wsPath);
};

TEST_F(ToolsWithServer, AdminCommandsReachTheBarAndRefusalsExitNonZero) {
    AddAccount("alice", "apw");
    StartServer();
    TTestClient alice;
    ASSERT_TRUE(alice.Connect(Port()) && alice.Login("alice", "apw", "example.com"));
    alice.Drain();

    auto [status, out] = RunAdmin({"notice", "buttons", "2", "user:alice", "Come", "and", "see"});
    EXPECT_EQ(status, admin::EXIT_OK);
    EXPECT_EQ(out, "OK 1\n");
    TPacket p;
    ASSERT_TRUE(alice.WaitFor(MSG_CHAT_LINE, p));
    TChatLineMsg line = ReadChatLine(p);
    EXPECT_EQ(line.address.Chat(), 0x302u);
    EXPECT_EQ(line.text, "Come and see");

    auto sites = RunAdmin({"sites"});
    EXPECT_EQ(sites.first, admin::EXIT_OK);
    EXPECT_EQ(sites.second, "* example.com 1\nOK 1\n");

    EXPECT_EQ(RunAdmin({"kick", "user:nobody"}).first, admin::EXIT_REFUSED);
    EXPECT_EQ(RunAdmin({"kick", "user:alice"}).first, admin::EXIT_OK);
    EXPECT_TRUE(alice.WaitFor(MSG_END_SESSION, p));
}

void ToolsWithServer::ExpectLoadCountedExactly(const std::string& wsPath) {
    load::TLoadOptions options;
    options.sessions = 6;
    options.sites = 2;
    options.rate = 3;
    options.duration = 1;
    options.wsPath = wsPath;
    for (int i = 0; i < options.sessions; ++i)
        AddAccount(load::BotNick(options, i), options.password);
    config.web = wsPath.empty() ? config.web : "127.0.0.1:0";
    StartServer();
    uint16_t port = wsPath.empty() ? Port() : server->WebPort();
    options.server = "127.0.0.1:" + std::to_string(port);
    std::ostringstream report;
    load::TLoadRun run(options);
    EXPECT_EQ(run.Run(report), 0) << report.str();
    std::string text = report.str();
    EXPECT_NE(text.find(" signed_in=6 "), std::string::npos) << text;
    EXPECT_NE(text.find(" presence=12 "), std::string::npos) << text; // 2 sites * 3 * 2
    size_t at = text.find(" expected=");
    ASSERT_NE(at, std::string::npos);
    std::string expected = text.substr(at + 10, text.find(' ', at + 10) - at - 10);
    EXPECT_NE(expected, "0") << text;
    EXPECT_NE(text.find(" delivered=" + expected + " "), std::string::npos) << text;
}

TEST_F(ToolsWithServer, LoadBotsSignInAndEveryPublicLineIsDelivered) {
    ExpectLoadCountedExactly("");
}

TEST_F(ToolsWithServer, LoadBotsOverWebSocketAreCountedAlike) {
    ExpectLoadCountedExactly("/session");
}

} // namespace
} // namespace navlet::test
