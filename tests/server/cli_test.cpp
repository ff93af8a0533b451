// navlet-server's command line, run as the operator runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "server/store/store.h"
#include "tests/server/run_program.h"
#include "tests/support/scratch_dir.h"

namespace {

using navlet::server::testing::RunProgram;
using navlet::server::testing::RunServer;
using navlet::server::testing::TRun;

class ServerCli : public ::testing::Test {
  protected:
    std::string Data() const { return "--data " + dir.string() + " "; }
    navlet::testing::TScratchDir scratch{"navlet-cli-test"};
    const std::filesystem::path& dir = scratch.path;
};

TEST_F(ServerCli, HelpDocumentsTheOptionsAndTheAccountCommand) {
    TRun help = RunServer("--help");
    EXPECT_EQ(help.code, 0);
    for (const char* word : {"--listen", "--web", "--admin", "--data", "--updates", "--banners",
                             "account add", "--gender", "--language", "127.0.0.1:80"})
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
}

// "PROGRAM a.b.c.d (commit C)", C being git's short commit name (maybe
// "-dirty") or "unknown"; the server and every tool of one build agree.
TEST_F(ServerCli, VersionNamesTheVersionAndTheCommitOfTheBuild) {
    std::vector<std::pair<std::string, std::string>> programs = {
        {"navlet-server", NAVLET_SERVER_BINARY},
#ifdef NAVLET_ADMIN_BINARY
        {"navlet-admin", NAVLET_ADMIN_BINARY},
#endif
#ifdef NAVLET_CHATBOT_BINARY
        {"navlet-chatbot", NAVLET_CHATBOT_BINARY},
#endif
#ifdef NAVLET_LOAD_BINARY
        {"navlet-load", NAVLET_LOAD_BINARY},
#endif
    };
    std::string commit;
    for (const auto& [name, binary] : programs) {
        TRun run = RunProgram(binary, "--version");
        EXPECT_EQ(run.code, 0) << name << ": " << run.output;
        std::smatch match;
        std::regex line("^" + name + " " +
                        std::regex_replace(NAVLET_VERSION, std::regex("\\."), "\\.") +
                        " \\(commit ([0-9a-f]{7,40}(-dirty)?|unknown)\\)\n$");
        ASSERT_TRUE(std::regex_match(run.output, match, line)) << name << ": " << run.output;
        if (commit.empty())
            commit = match[1];
        EXPECT_EQ(match[1], commit) << name;
    }
    // After other options too, as an operator types it.
    TRun late = RunServer(Data() + "--version");
    EXPECT_EQ(late.code, 0) << late.output;
    EXPECT_EQ(late.output.rfind("navlet-server ", 0), 0u) << late.output;
}

TEST_F(ServerCli, AccountAddStoresAnAccountOnce) {
    TRun added = RunServer(Data() + "account add Alice secret --gender f --language 3");
    EXPECT_EQ(added.code, 0) << added.output;
    EXPECT_EQ(RunServer(Data() + "account add ALICE other").code, 1);
    EXPECT_EQ(RunServer(Data() + "account add 'bad nick' pw").code, 2);
    EXPECT_EQ(RunServer(Data() + "account add bob pw --language 14").code, 2);
    EXPECT_EQ(RunServer(Data() + "account add bob").code, 2);
    std::string error;
    auto store = navlet::server::TStore::Open((dir / "navlet.db").string(), error);
    ASSERT_TRUE(store) << error;
    auto alice = store->FindAccountByNick("alice");
    ASSERT_TRUE(alice);
    EXPECT_EQ(alice->gender, 'f');
    EXPECT_EQ(alice->language, 3);
    EXPECT_FALSE(store->FindAccountByNick("bob"));
}

TEST_F(ServerCli, BadOptionsAndBusyPortsAreClearErrors) {
    EXPECT_EQ(RunServer("--frobnicate 1").code, 2);
    EXPECT_EQ(RunServer(Data() + "--listen nowhere").code, 1);
    // The admin endpoint refuses any address but loopback.
    TRun remote = RunServer(Data() + "--listen 127.0.0.1:0 --web '' --admin 0.0.0.0:0");
    EXPECT_EQ(remote.code, 1);
    EXPECT_NE(remote.output.find("loopback"), std::string::npos) << remote.output;
}

} // namespace
