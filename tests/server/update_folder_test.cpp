// Which module of the update folder is offered: only whole files (a copy
// cut short is never served), only those matching a .sha256 beside them,
// and the newest of those.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>

#include "server/core/updates.h"
#include "version/module_image.h"

namespace navlet::server {
namespace {

namespace fs = std::filesystem;

constexpr int32_t OLDER = 0x01040000;
constexpr int32_t NEWER = 0x01050000;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Sha256Line(const std::vector<uint8_t>& bytes, const std::string& name) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, bytes.data(), bytes.size());
    char hex[2 * sizeof digest + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return std::string(hex) + "  " + name + "\n";
}

// The end of the version block in the file: a copy cut here still reads
// its version but lacks what follows.
size_t EndOfVersionBlock(const std::vector<uint8_t>& module) {
    std::vector<uint8_t> block = FindVersionBlock(TMemoryImage(module));
    auto at = std::search(module.begin(), module.end(), block.begin(), block.end());
    return block.empty() || at == module.end() ? 0 : size_t(at - module.begin()) + block.size();
}

class UpdateFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("navlet-updates-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Files named "new*" hold the newer version, the others the older one,
    // whatever their bytes: what decides is whether the bytes are whole.
    TUpdateSet Scan() const {
        return TUpdateSet::FromFolder(folder.string(), [](const std::string& path) {
            return fs::path(path).filename().string().rfind("new", 0) == 0 ? NEWER : OLDER;
        });
    }
    void ExpectOffersTheOlderAndNamesTheNewer(const TUpdateSet& set) const {
        EXPECT_EQ(set.Version(), OLDER);
        EXPECT_EQ(set.Path(), (folder / "old.dll").string());
        ASSERT_EQ(set.Skipped().size(), 1u);
        EXPECT_NE(set.Skipped()[0].find("new.dll"), std::string::npos);
    }

    fs::path folder;
};

TEST_F(UpdateFolder, ACopyCutShortNeverBeatsAWholeOlderOne) {
    for (const char* fixture :
         {NAVLET_FIXTURE_MODULE_PE, NAVLET_FIXTURE_MODULE_PE32, NAVLET_FIXTURE_MODULE_ELF}) {
        std::vector<uint8_t> module = ReadFile(fixture);
        ASSERT_TRUE(ImageIsWhole(TMemoryImage(module))) << fixture;
        size_t afterBlock = EndOfVersionBlock(module);
        ASSERT_GT(afterBlock, 0u);
        ASSERT_LT(afterBlock, module.size());
        for (size_t cut : {module.size() - 1, module.size() / 2, afterBlock}) {
            SCOPED_TRACE(std::string(fixture) + " cut at " + std::to_string(cut));
            WriteFile(folder / "old.dll", module);
            WriteFile(folder / "new.dll", {module.begin(), module.begin() + long(cut)});
            ExpectOffersTheOlderAndNamesTheNewer(Scan());
        }
    }
}

TEST_F(UpdateFolder, AChecksumBesideAModuleMustMatchIt) {
    std::vector<uint8_t> module = ReadFile(NAVLET_FIXTURE_MODULE_PE);
    WriteFile(folder / "old.dll", module);
    WriteFile(folder / "new.dll", module);
    std::ofstream(folder / "new.dll.sha256") << Sha256Line(module, "new.dll");
    TUpdateSet good = Scan();
    EXPECT_EQ(good.Version(), NEWER);
    EXPECT_TRUE(good.Skipped().empty());

    std::vector<uint8_t> other = module;
    other.back() ^= 1;
    std::ofstream(folder / "new.dll.sha256") << Sha256Line(other, "new.dll");
    ExpectOffersTheOlderAndNamesTheNewer(Scan());
    std::ofstream(folder / "new.dll.sha256") << "not a digest\n";
    ExpectOffersTheOlderAndNamesTheNewer(Scan());

    // With nothing whole and matching, nothing is offered.
    fs::remove(folder / "old.dll");
    EXPECT_EQ(Scan().Version(), -1);
}

// A FIFO (or any other special file) where a checksum belongs: the scan
// reads regular files only and never waits on one; the module beside it
// counts as one whose checksum says nothing.
TEST_F(UpdateFolder, AFifoNamedLikeAChecksumNeitherBlocksNorCounts) {
    std::vector<uint8_t> module = ReadFile(NAVLET_FIXTURE_MODULE_PE);
    WriteFile(folder / "old.dll", module);
    WriteFile(folder / "new.dll", module);
    fs::path fifo = folder / "new.dll.sha256";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((folder / "new2.dll").c_str(), 0600), 0);
    auto scan = std::async(std::launch::async, [this] { return Scan(); });
    if (scan.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the scan waits on a FIFO";
        // A writer that comes and goes lets the blocked reader go.
        for (const fs::path& path : {fifo, folder / "new2.dll"})
            close(open(path.c_str(), O_WRONLY | O_NONBLOCK));
    }
    ExpectOffersTheOlderAndNamesTheNewer(scan.get());
}

} // namespace
} // namespace navlet::server
