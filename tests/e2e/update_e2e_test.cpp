// The self-update against navlet-server: a bar of an older version fetches
// the module the server offers, chunk by chunk, and installs it.
#include <fstream>
#include <iterator>

#include "client/core/registration.h"
#include "client/core/update.h"
#include "tests/e2e/e2e_support.h"

namespace navlet::testing {
namespace {

class UpdateEndToEnd : public SessionEndToEnd {
  protected:
    void SetUp() override {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("navlet-e2e-updates-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(NAVLET_FIXTURE_MODULE_PE, folder / "Navlet_Client.ocx");
        updatesDir = folder.string();
        SessionEndToEnd::SetUp();
    }
    void TearDown() override {
        SessionEndToEnd::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(updatesDir, ec);
    }
};

TEST_F(UpdateEndToEnd, OlderBarDownloadsAndInstallsTheOfferedModule) {
    std::ifstream in(NAVLET_FIXTURE_MODULE_PE, std::ios::binary);
    const std::vector<uint8_t> module{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
    ASSERT_FALSE(module.empty());

    alice = Window();
    TTestKit& tk = alice->tk;
    tk.module.moduleFile = NAVLET_FIXTURE_MODULE_ELF;
    const std::string inproc = std::string("CLSID\\") + CLSID_NAVLET + "\\InprocServer32";
    tk.registry.Set(THive::ClassesRoot, inproc, "", std::string("old module"));
    alice->Open("alice", "apple1", "http://www.example.com/news/");
    TNavlet& bar = *alice->bar;
    // A bar of 1.0.0.0, as the server's forced update makes it.
    bar.moduleVersion = bar.updateVersion = 0x01000000;
    ASSERT_TRUE(loop.RunUntil([&] { return bar.loggedIn; }));

    // Each tick of the bar's timer asks for one chunk; wait for its answer.
    const size_t rounds = module.size() / MAX_UPDATE_CHUNK + 10;
    for (size_t i = 0; i < rounds && tk.host.messages.empty(); ++i) {
        ASSERT_TRUE(loop.RunUntil([&] { return bar.upd_timer.Enabled(); }));
        tk.time.Advance(bar.upd_timer.Interval());
    }

    std::string installed = NAVLET_FIXTURE_MODULE_ELF;
    installed.resize(installed.find_last_of('/') + 1);
    installed += VersionedModuleName(0x01040000, THIS_PLATFORM_NAMING);
    EXPECT_EQ(tk.host.messages,
              std::vector<std::string>{"A new navlet version has been downloaded"});
    EXPECT_EQ(tk.files.files[installed], module);
    EXPECT_EQ(tk.files.files.size(), 1u); // the update file became the module
    EXPECT_EQ(tk.registry.Get(THive::ClassesRoot, inproc, ""), TMemoryRegistry::TValue(installed));
}

} // namespace
} // namespace navlet::testing
