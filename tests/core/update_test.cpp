// The self-update through the bar's handlers: offers, the update file written
// chunk by chunk and resumed, the checks before installing, and the install.
#include <fstream>
#include <iterator>

#include "client/core/module_state.h"
#include "client/core/registration.h"
#include "client/core/update.h"
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

constexpr int32_t RUNNING = 0x01040000; // the fixture module's FileVersion
constexpr int32_t V15 = 0x01050000;
constexpr int32_t V16 = 0x01060000;
constexpr uint32_t FIVE_HOURS = 18000000;
constexpr uint32_t FIVE_MINUTES = 300000;
const std::string INPROC = std::string("CLSID\\") + CLSID_NAVLET + "\\InprocServer32";
const char* const DOWNLOADED = "A new navlet version has been downloaded";

std::vector<uint8_t> FileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TUpdateTest : public SessionTest {
  protected:
    TNavlet& SignedInBar() {
        TNavlet& b = SignedInShownBar();
        updFile = b.updateFile;
        return b;
    }
    void TearDown() override {
        SessionTest::TearDown();
        EXPECT_EQ(tk.files.OpenCount(), 0u); // the bar closed its update file
    }

    void Chunk(int32_t offset, int32_t version, const std::string& data) {
        Chunk(offset, int32_t(data.size()), version, {data.begin(), data.end()});
    }
    void Chunk(int32_t offset, int32_t count, int32_t version, std::vector<uint8_t> data) {
        TUpdateChunkMsg m;
        m.offset = offset;
        m.count = count;
        m.version = version;
        data.resize(MAX_UPDATE_CHUNK);
        m.data = data.data();
        Feed(m);
    }
    void EndMark(int32_t size, int32_t version) { Chunk(size, 0, version, {}); }

    // The update requests sent since the last call.
    std::vector<TUpdateRequest> Requests() {
        std::vector<TUpdateRequest> out;
        for (const TPacket& p : Socket().SentPackets())
            if (p.Type() == REQ_UPDATE)
                out.push_back(ReadUpdateRequest(p));
        Socket().ClearSent();
        return out;
    }
    // The one request that `ms` more of time brings, and none earlier.
    TUpdateRequest RequestAfter(uint32_t ms) {
        tk.time.Advance(ms - 1);
        EXPECT_TRUE(Requests().empty()) << "asked before " << ms << " ms";
        tk.time.Advance(1);
        std::vector<TUpdateRequest> sent = Requests();
        EXPECT_EQ(sent.size(), 1u);
        return sent.empty() ? TUpdateRequest{-1, -1} : sent.front();
    }
    std::optional<TMemoryRegistry::TValue> Stored(THive hive, const std::string& path,
                                                  const char* name) {
        return tk.registry.Get(hive, path, name);
    }
    int32_t StoredUpdate() {
        auto v = Stored(THive::CurrentUser, SETTINGS_KEY, "update");
        return v && std::holds_alternative<int32_t>(*v) ? std::get<int32_t>(*v) : 0;
    }
    bool TimerOff() { return !bar->upd_timer.Enabled(); }
    // Back to a fresh module and empty disk, for a test that loops over cases.
    void TearDownBar() {
        bar.reset();
        loginCount = 0;
        ledBlinkPhase = 0;
        tk.files.files.clear();
        tk.host.messages.clear();
        tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "update", int32_t(0));
    }

    std::string updFile;
};

TEST_F(TUpdateTest, RunningOrOlderVersionWritesNothingAndAsksAgainInFiveHours) {
    SignedInBar();
    for (int32_t version : {RUNNING, int32_t(0x01030000), -1}) {
        Chunk(0, version, "module bytes");
        EXPECT_TRUE(tk.files.files.empty());
        const TUpdateRequest r = RequestAfter(FIVE_HOURS);
        EXPECT_EQ(r.offset, 0);
        EXPECT_EQ(r.version, RUNNING);
    }
}

TEST_F(TUpdateTest, FirstOfferCreatesAnEmptyFileAndAsksFromItsStart) {
    TNavlet& b = SignedInBar();
    Chunk(0, V15, "MZ first bytes");
    ASSERT_TRUE(tk.files.Exists(updFile));
    EXPECT_EQ(tk.files.Text(updFile), ""); // the offer's data is not written
    EXPECT_EQ(StoredUpdate(), V15);
    TUpdateRequest r = RequestAfter(100);
    EXPECT_EQ(r.offset, 0);
    EXPECT_EQ(r.version, V15);

    Chunk(0, V15, "MZ first");
    Chunk(8, V15, " bytes");
    EXPECT_EQ(tk.files.Text(updFile), "MZ first bytes");
    r = RequestAfter(10);
    EXPECT_EQ(r.offset, 14);
    EXPECT_EQ(b.updateBytes, 14);
}

TEST_F(TUpdateTest, OffsetZeroCountZeroIsAnOfferNotAnEndMark) {
    SignedInBar();
    Chunk(0, V15, "");
    EXPECT_TRUE(tk.files.Exists(updFile));
    EXPECT_TRUE(tk.host.messages.empty());
    EXPECT_EQ(RequestAfter(100).offset, 0);
}

TEST_F(TUpdateTest, RestartResumesFromTheFileSize) {
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "update", V15);
    TNavlet& b = SignedInBar();
    tk.files.files[updFile] = std::vector<uint8_t>(500, 0x5A);
    Chunk(0, V15, "again from the start");
    EXPECT_EQ(tk.files.files[updFile].size(), 500u); // reopened, not emptied
    EXPECT_EQ(b.updateVersion, V15);
    const TUpdateRequest r = RequestAfter(100);
    EXPECT_EQ(r.offset, 500);
    EXPECT_EQ(r.version, V15);
}

TEST_F(TUpdateTest, FinishedDownloadWaitingForTheBrowserIsNotFetchedAgain) {
    tk.registry.Set(THive::CurrentUser, SETTINGS_KEY, "update", V15);
    SignedInBar();
    Chunk(0, V15, "bytes");
    EXPECT_TRUE(tk.files.files.empty());
    EXPECT_TRUE(TimerOff());
}

TEST_F(TUpdateTest, AHostThatUpdatesTheModuleHearsOfEachOfferOnceAndIsAskedOnlyAtLogins) {
    // As in a browser: the host replaces the module, and no file can be made.
    tk.module.updatesModule = true;
    tk.files.failCreate = true;
    SignedInBar();
    Chunk(0, V15, "MZ first bytes");
    EXPECT_EQ(StoredUpdate(), 0);
    EXPECT_TRUE(TimerOff());
    tk.time.Advance(FIVE_HOURS);
    EXPECT_TRUE(Requests().empty());

    // Each login after a reconnection asks once; an offer already told is
    // not told again.
    for (int32_t offered : {V15, V16, V16}) {
        Socket().PeerClose();
        tk.time.Advance(15000);
        Socket().AcceptConnection();
        ConfirmLogin();
        const std::vector<TUpdateRequest> sent = Requests();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].offset, 0);
        EXPECT_EQ(sent[0].version, RUNNING);
        Chunk(0, offered, "MZ");
        EXPECT_TRUE(TimerOff());
    }
    EXPECT_EQ(tk.host.offeredModules, (std::vector<std::string>{"1.5.0.0", "1.6.0.0"}));
    EXPECT_TRUE(tk.host.messages.empty());
    EXPECT_TRUE(tk.files.files.empty());
}

TEST_F(TUpdateTest, EndMarkWithNoOpenFileOnlySetsTheFiveHourTimer) {
    TNavlet& b = SignedInBar();
    EndMark(5000, V15);
    EXPECT_TRUE(tk.files.files.empty());
    EXPECT_TRUE(tk.host.messages.empty());
    EXPECT_EQ(b.upd_timer.Interval(), FIVE_HOURS);
    EXPECT_TRUE(b.upd_timer.Enabled());
}

TEST_F(TUpdateTest, BrokenChunksWriteNothingAndStopTheDownload) {
    struct TBroken {
        int32_t offset, count;
    };
    for (TBroken broken : {TBroken{0, -1}, TBroken{0, MAX_UPDATE_CHUNK + 1}, TBroken{-4, 4}}) {
        SCOPED_TRACE(::testing::Message() << broken.offset << "/" << broken.count);
        TearDownBar();
        SignedInBar();
        Chunk(0, V15, "");
        RequestAfter(100);
        Chunk(broken.offset, broken.count, V15, std::vector<uint8_t>(MAX_UPDATE_CHUNK, 1));
        EXPECT_EQ(tk.files.Text(updFile), "");
        EXPECT_TRUE(TimerOff());
        tk.time.Advance(FIVE_HOURS);
        EXPECT_TRUE(Requests().empty());
    }
}

TEST_F(TUpdateTest, FailedWriteStopsSilently) {
    TNavlet& b = SignedInBar();
    Chunk(0, V15, "");
    RequestAfter(100);
    tk.files.failWrite = true;
    Chunk(0, V15, "data");
    EXPECT_EQ(b.updateBytes, 0);
    EXPECT_TRUE(TimerOff());
    EXPECT_TRUE(tk.host.messages.empty());
}

TEST_F(TUpdateTest, FileThatCannotBeMadeOrOpenedIsTriedAgainInFiveMinutes) {
    TNavlet& b = SignedInBar();
    tk.files.failCreate = true;
    Chunk(0, V15, "");
    EXPECT_EQ(b.updateHandle, NO_FILE);
    EXPECT_EQ(StoredUpdate(), 0); // nothing created, nothing remembered
    EXPECT_EQ(RequestAfter(FIVE_MINUTES).offset, 0);

    tk.files.failCreate = false;
    tk.files.failOpen = true;
    tk.files.files[updFile] = {1, 2, 3};
    Chunk(0, V15, "");
    EXPECT_EQ(b.updateHandle, NO_FILE);
    RequestAfter(FIVE_MINUTES);

    tk.files.failOpen = false;
    Chunk(0, V15, "");
    EXPECT_EQ(RequestAfter(100).offset, 3);
}

TEST_F(TUpdateTest, NewerVersionReplacesAnUnfinishedDownloadAtOnce) {
    TNavlet& b = SignedInBar();
    Chunk(0, V15, "");
    Chunk(0, V15, "old version");
    RequestAfter(10);
    Chunk(0, V16, "new version");
    EXPECT_EQ(tk.files.Text(updFile), ""); // a fresh file; the offer is not written
    EXPECT_NE(b.updateHandle, NO_FILE);
    EXPECT_EQ(StoredUpdate(), V16);
    const TUpdateRequest r = RequestAfter(100);
    EXPECT_EQ(r.offset, 0);
    EXPECT_EQ(r.version, V16);
}

TEST(VersionedModuleName, EightUpperCaseHexDigitsInThePlatformsModuleName) {
    EXPECT_EQ(VersionedModuleName(V15, TModuleNaming::WindowsControl),
              "Navlet_Client_01050000.ocx");
    EXPECT_EQ(VersionedModuleName(0x0A0B0C0D, TModuleNaming::LinuxLibrary),
              "libNavlet_Client_0A0B0C0D.so");
}

// A download of a real module, the server answering each request with the
// chunk it asks for. The bar plays version 1.0.0.0, as after a forced update.
class TWholeDownloadTest : public TUpdateTest {
  protected:
    void Serve(const std::vector<uint8_t>& module, int32_t version, int32_t endMark) {
        bar->moduleVersion = bar->updateVersion = 0x01000000;
        Chunk(0, version, "");
        for (int round = 0; round < 100000; ++round) { // bounded: a file of 30 MB at most
            tk.time.Advance(100);
            const std::vector<TUpdateRequest> sent = Requests();
            ASSERT_EQ(sent.size(), 1u);
            const int32_t at = sent.front().offset;
            if (size_t(at) >= module.size())
                return EndMark(endMark, version);
            const size_t count = std::min(module.size() - at, size_t(MAX_UPDATE_CHUNK));
            Chunk(at, int32_t(count), version, {module.begin() + at, module.begin() + at + count});
        }
        FAIL() << "the download did not end";
    }
    std::string Installed(int32_t version) {
        std::string dir = bar->moduleFile;
        dir.resize(dir.find_last_of('/') + 1);
        return dir + VersionedModuleName(version, THIS_PLATFORM_NAMING);
    }
};

TEST_F(TWholeDownloadTest, WholeModuleIsRenamedRegisteredAndAnnounced) {
    const std::vector<uint8_t> module = FileBytes(NAVLET_FIXTURE_MODULE_PE);
    ASSERT_GT(module.size(), size_t(MAX_UPDATE_CHUNK));
    tk.registry.Set(THive::ClassesRoot, INPROC, "", std::string("old module"));
    TNavlet& b = SignedInBar();
    Serve(module, RUNNING, int32_t(module.size()));

    const std::string installed = Installed(RUNNING);
    EXPECT_FALSE(tk.files.Exists(updFile));
    EXPECT_EQ(tk.files.files[installed], module);
    EXPECT_EQ(b.updateFile, installed);
    EXPECT_EQ(b.updateHandle, NO_FILE);
    EXPECT_EQ(Stored(THive::ClassesRoot, INPROC, ""), TMemoryRegistry::TValue(installed));
    EXPECT_EQ(tk.host.messages, std::vector<std::string>{DOWNLOADED});
    EXPECT_EQ(b.upd_timer.Interval(), FIVE_HOURS);

    // A newer offer in the same process leaves the installed module alone:
    // like a restarted bar, it waits for the browser to load that module.
    Chunk(0, V16, "");
    EXPECT_EQ(tk.files.files.size(), 1u);
    EXPECT_EQ(tk.files.files[installed], module);
    EXPECT_EQ(b.updateHandle, NO_FILE);
}

TEST_F(TWholeDownloadTest, MissingInprocKeyIsNotCreatedAndTheMessageStillShows) {
    const std::vector<uint8_t> module = FileBytes(NAVLET_FIXTURE_MODULE_PE);
    SignedInBar();
    Serve(module, RUNNING, int32_t(module.size()));
    EXPECT_FALSE(Stored(THive::ClassesRoot, INPROC, ""));
    EXPECT_TRUE(tk.files.Exists(Installed(RUNNING)));
    EXPECT_EQ(tk.host.messages.size(), 1u);
}

TEST_F(TWholeDownloadTest, ShortFileOrWrongVersionIsDeletedAndNothingInstalled) {
    const std::vector<uint8_t> module = FileBytes(NAVLET_FIXTURE_MODULE_PE);
    struct TCase {
        const char* what;
        int32_t version, endMark;
    };
    for (TCase c : {TCase{"end beyond the bytes", RUNNING, int32_t(module.size()) + 1},
                    TCase{"another version inside", V15, int32_t(module.size())}}) {
        SCOPED_TRACE(c.what);
        TearDownBar();
        tk.registry.Set(THive::ClassesRoot, INPROC, "", std::string("old module"));
        TNavlet& b = SignedInBar();
        Serve(module, c.version, c.endMark);
        EXPECT_TRUE(tk.files.files.empty());
        EXPECT_EQ(Stored(THive::ClassesRoot, INPROC, ""),
                  TMemoryRegistry::TValue(std::string("old module")));
        EXPECT_TRUE(tk.host.messages.empty());
        // Forgotten: the next offer starts a new file instead of waiting.
        EXPECT_EQ(b.updateBytes, 0);
        Chunk(0, c.version, "");
        EXPECT_TRUE(tk.files.Exists(updFile));
    }
}

TEST(UpdateLeftovers, TheDownloadAndVersionedModulesInAnyCase) {
    constexpr auto W = TModuleNaming::WindowsControl;
    EXPECT_TRUE(IsUpdateLeftoverName("Navlet_Client.upd", W));
    EXPECT_TRUE(IsUpdateLeftoverName("NAVLET_CLIENT_01050000.OCX", W));
    EXPECT_TRUE(IsUpdateLeftoverName("Navlet_Client_0a0b0c0d.ocx", W));
    EXPECT_FALSE(IsUpdateLeftoverName("Navlet_Client.ocx", W)); // the installed module
    EXPECT_FALSE(IsUpdateLeftoverName("Navlet_Client_0105000.ocx", W));
    EXPECT_FALSE(IsUpdateLeftoverName("Navlet_Client_0105000G.ocx", W));
    EXPECT_FALSE(IsUpdateLeftoverName("Navlet_Client_01050000.ocx.txt", W));
    EXPECT_TRUE(IsUpdateLeftoverName("libNavlet_Client_01050000.so", TModuleNaming::LinuxLibrary));
}

// The fixture module with another FileVersion, as a newer build would carry.
std::vector<uint8_t> WithVersion(std::vector<uint8_t> module, const char* dotted) {
    const std::string from = "1.4.0.0";
    for (size_t at = 0; at + 2 * from.size() <= module.size(); ++at) {
        bool match = true;
        for (size_t i = 0; i < from.size() && match; ++i)
            match = module[at + 2 * i] == uint8_t(from[i]) && module[at + 2 * i + 1] == 0;
        for (size_t i = 0; match && i < from.size(); ++i)
            module[at + 2 * i] = uint8_t(dotted[i]);
    }
    return module;
}

TEST_F(TWholeDownloadTest, PerUserRegistrationIsRepointedWhereItLives) {
    const std::vector<uint8_t> module = FileBytes(NAVLET_FIXTURE_MODULE_PE);
    const std::string userInproc = std::string(USER_CLASSES_KEY) + "\\" + INPROC;
    tk.registry.Set(THive::CurrentUser, userInproc, "", std::string("per-user module"));
    tk.registry.Set(THive::ClassesRoot, INPROC, "", std::string("machine module"));
    SignedInBar();
    Serve(module, RUNNING, int32_t(module.size()));
    EXPECT_EQ(Stored(THive::CurrentUser, userInproc, ""),
              TMemoryRegistry::TValue(Installed(RUNNING)));
    EXPECT_EQ(Stored(THive::ClassesRoot, INPROC, ""),
              TMemoryRegistry::TValue(std::string("machine module")));
}

// At low integrity the bar can neither rename into the module's folder nor
// re-point the class: the checked module waits in the writable folder, which
// every low-integrity process may write. The next bar that is not protected
// deletes it unused and installs only what it downloads itself.
TEST_F(TWholeDownloadTest, ProtectedDownloadWaitsAndTheNextUnprotectedSignInInstallsItsOwn) {
    const std::vector<uint8_t> module = WithVersion(FileBytes(NAVLET_FIXTURE_MODULE_PE), "1.5.0.0");
    const std::string userInproc = std::string(USER_CLASSES_KEY) + "\\" + INPROC;
    tk.registry.Set(THive::CurrentUser, userInproc, "", std::string("per-user module"));
    tk.module.protectedMode = true;
    tk.module.writableFolder = "/home/u/low/Navlet/";
    tk.module.moduleFile = NAVLET_FIXTURE_MODULE_ELF; // 1.4.0.0
    TNavlet& b = SignedInBar();
    EXPECT_EQ(b.updateFile, "/home/u/low/Navlet/Navlet_Client.upd");
    Serve(module, V15, int32_t(module.size()));

    const std::string waiting =
        "/home/u/low/Navlet/" + VersionedModuleName(V15, THIS_PLATFORM_NAMING);
    EXPECT_EQ(tk.files.files.size(), 1u);
    EXPECT_EQ(tk.files.files[waiting], module);
    EXPECT_EQ(Stored(THive::CurrentUser, userInproc, ""),
              TMemoryRegistry::TValue(std::string("per-user module")));
    EXPECT_TRUE(tk.host.messages.empty());
    EXPECT_EQ(StatusText(), "A new navlet version is available: it is installed the next time "
                            "the bar signs in outside Protected Mode");
    EXPECT_EQ(tk.registry.Get(THive::CurrentUserLow, SETTINGS_KEY, "update"),
              TMemoryRegistry::TValue(V15));

    // Another protected start leaves it waiting.
    bar.reset();
    MakeBar();
    EXPECT_TRUE(tk.files.Exists(waiting));

    // What a low-integrity process planted there in the meantime.
    std::vector<uint8_t> planted = module;
    planted.insert(planted.end(), {'e', 'v', 'i', 'l'});
    tk.files.files[waiting] = planted;
    bar.reset();
    loginCount = 0;
    tk.module.protectedMode = false;
    SignedInBar();
    const std::string installed = Installed(V15);
    EXPECT_TRUE(tk.files.files.empty());
    EXPECT_EQ(Stored(THive::CurrentUser, userInproc, ""),
              TMemoryRegistry::TValue(std::string("per-user module")));

    // The server offers the version again; the bar's own download installs.
    Serve(module, V15, int32_t(module.size()));
    EXPECT_EQ(tk.files.files.size(), 1u);
    EXPECT_EQ(tk.files.files[installed], module);
    EXPECT_EQ(Stored(THive::CurrentUser, userInproc, ""), TMemoryRegistry::TValue(installed));
    EXPECT_EQ(tk.host.messages, std::vector<std::string>{DOWNLOADED});
    EXPECT_EQ(StoredUpdate(), V15); // the normal key: not fetched again
}

// A module in the low folder is never installed, however well it passes for
// the version the low key names (both written by whoever runs at low
// integrity): it is deleted, and nothing else of ours is touched.
TEST_F(TWholeDownloadTest, AModulePlantedInTheLowFolderIsDeletedNotInstalled) {
    const std::vector<uint8_t> module = WithVersion(FileBytes(NAVLET_FIXTURE_MODULE_PE), "1.5.0.0");
    for (const char* inside : {"1.5.0.0", "1.6.0.0"}) {
        SCOPED_TRACE(inside);
        TearDownBar();
        const std::string waiting =
            "/home/u/low/Navlet/" + VersionedModuleName(V15, THIS_PLATFORM_NAMING);
        const std::string partial = "/home/u/low/Navlet/Navlet_Client.upd";
        tk.module.writableFolder = "/home/u/low/Navlet/";
        tk.module.moduleFile = NAVLET_FIXTURE_MODULE_ELF;
        tk.registry.Set(THive::CurrentUserLow, SETTINGS_KEY, "update", V15);
        tk.registry.Set(THive::ClassesRoot, INPROC, "", std::string("old module"));
        tk.files.files[waiting] = WithVersion(module, inside);
        tk.files.files[partial] = {1, 2, 3}; // a protected bar's unfinished download
        MakeBar();
        EXPECT_FALSE(tk.files.Exists(waiting));
        EXPECT_EQ(tk.files.files.size(), 1u);
        EXPECT_TRUE(tk.files.Exists(partial));
        EXPECT_EQ(Stored(THive::ClassesRoot, INPROC, ""),
                  TMemoryRegistry::TValue(std::string("old module")));
        EXPECT_EQ(StoredUpdate(), 0);
        EXPECT_EQ(StatusText(), "Navlet ver. 1.4.0.0");
    }
}

} // namespace
} // namespace navlet::testing
