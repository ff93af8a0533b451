// navlet-server's command line, run as the operator runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "server/store/store.h"

namespace {

struct TRun {
    int code = -1;
    std::string output; // stdout and stderr
};

TRun RunServer(const std::string& args) {
    TRun run;
    std::string command = std::string(NAVLET_SERVER_BINARY) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 512> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class ServerCli : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("navlet-cli-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Data() const { return "--data " + dir.string() + " "; }
    std::filesystem::path dir;
};

TEST_F(ServerCli, HelpDocumentsTheOptionsAndTheAccountCommand) {
    TRun help = RunServer("--help");
    EXPECT_EQ(help.code, 0);
    for (const char* word : {"--listen", "--web", "--admin", "--data", "--updates", "--banners",
                             "account add", "--gender", "--language", "127.0.0.1:80"})
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
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
