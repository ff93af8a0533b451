// GetVersionString against real modules from this build, whole and damaged,
// and PackVersion.
#include "version/module_image.h"
#include "version/version_block.h"
#include "version/version_info.h"
#include "version_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace navlet {
namespace {

using test::ReadWholeFile;
using test::WriteWholeFile;

struct TFixture {
    const char* label;
    const char* path; // nullptr when this build could not make the module
};

const TFixture VERSIONED[] = {
#ifdef NAVLET_FIXTURE_MODULE_PE
    {"PE64", NAVLET_FIXTURE_MODULE_PE},
#else
    {"PE64", nullptr},
#endif
#ifdef NAVLET_FIXTURE_MODULE_PE32
    {"PE32", NAVLET_FIXTURE_MODULE_PE32},
#else
    {"PE32", nullptr},
#endif
#ifdef NAVLET_FIXTURE_MODULE_ELF
    {"ELF", NAVLET_FIXTURE_MODULE_ELF},
#else
    {"ELF", nullptr},
#endif
};

const TFixture PLAIN[] = {
#ifdef NAVLET_FIXTURE_PLAIN_PE
    {"PE64", NAVLET_FIXTURE_PLAIN_PE},
#endif
#ifdef NAVLET_FIXTURE_PLAIN_ELF
    {"ELF", NAVLET_FIXTURE_PLAIN_ELF},
#endif
    {"missing file", "no-such-directory/no-such-module.so"},
};

class VersionedModule : public ::testing::TestWithParam<TFixture> {
  protected:
    void SetUp() override {
        if (!GetParam().path)
            GTEST_SKIP() << "this build has no " << GetParam().label << " fixture";
        path = GetParam().path;
    }
    std::string TempCopy(const std::vector<uint8_t>& bytes, const char* what) {
        std::string copy = ::testing::TempDir() + "navlet_version_" + what + "_" +
                           std::to_string(std::hash<std::string>{}(path)) + ".bin";
        WriteWholeFile(copy, bytes);
        copies.push_back(copy);
        return copy;
    }
    void TearDown() override {
        for (const std::string& copy : copies)
            std::remove(copy.c_str());
    }
    std::string path;
    std::vector<std::string> copies;
};

TEST_P(VersionedModule, ReadsTheValuesOfTheFirstTranslation) {
    EXPECT_EQ(GetVersionString(path, "FileVersion"), NAVLET_FIXTURE_VERSION);
    EXPECT_EQ(GetVersionString(path, "ProductName"), "Navlet Fixture");
    EXPECT_EQ(GetVersionString(path, "FileDescription"), "Navlet version reader fixture");
    EXPECT_EQ(GetVersionString(path, "LegalCopyright"), "");
    EXPECT_EQ(GetVersionString(path, "NoSuchValue"), "");
    EXPECT_EQ(GetVersionString(path, ""), "");
    EXPECT_EQ(PackVersion(GetVersionString(path, "FileVersion")), 0x01040000);
}

TEST_P(VersionedModule, MatchesValueNamesInAnyLetterCase) {
    EXPECT_EQ(GetVersionString(path, "fileversion"), NAVLET_FIXTURE_VERSION);
    EXPECT_EQ(GetVersionString(path, "FILEVERSION"), NAVLET_FIXTURE_VERSION);
}

TEST_P(VersionedModule, TruncatedCopiesOnDiskGiveNothing) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    std::vector<uint8_t> block = FindVersionBlock(TMemoryImage(bytes));
    ASSERT_FALSE(block.empty());
    auto blockAt = std::search(bytes.begin(), bytes.end(), block.begin(), block.end());
    ASSERT_NE(blockAt, bytes.end());
    size_t blockOffset = size_t(blockAt - bytes.begin());

    // Cut inside the block, in its middle and just before its last byte.
    for (size_t cut : {blockOffset + 8, blockOffset + block.size() / 2,
                       blockOffset + block.size() - 1, size_t(64), size_t(0)}) {
        std::vector<uint8_t> head(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut));
        EXPECT_EQ(GetVersionString(TempCopy(head, "cut"), "FileVersion"), "") << "cut at " << cut;
    }
}

TEST_P(VersionedModule, EveryPrefixIsReadSafely) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    // A prefix either holds every byte the reader needs, or gives nothing.
    for (size_t length = 0; length <= bytes.size(); ++length) {
        std::span<const uint8_t> prefix(bytes.data(), length);
        std::string version =
            VersionBlockString(FindVersionBlock(TMemoryImage(prefix)), "FileVersion");
        if (!version.empty()) {
            ASSERT_EQ(version, NAVLET_FIXTURE_VERSION) << "prefix " << length;
        }
    }
}

TEST_P(VersionedModule, CorruptedHeadersAndBlockAreReadSafely) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    std::vector<uint8_t> block = FindVersionBlock(TMemoryImage(bytes));
    ASSERT_FALSE(block.empty());
    size_t blockOffset =
        size_t(std::search(bytes.begin(), bytes.end(), block.begin(), block.end()) - bytes.begin());

    // The PE headers sit at the front, the ELF section headers at the end;
    // the block is wherever its section put it.
    std::vector<size_t> positions;
    for (size_t i = 0; i < std::min<size_t>(bytes.size(), 1024); ++i)
        positions.push_back(i);
    for (size_t i = bytes.size() > 4096 ? bytes.size() - 4096 : 0; i < bytes.size(); ++i)
        positions.push_back(i);
    for (size_t i = 0; i < block.size(); ++i)
        positions.push_back(blockOffset + i);

    for (size_t at : positions) {
        const uint8_t original = bytes[at];
        for (uint8_t poison : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x7F)}) {
            bytes[at] = poison;
            std::vector<uint8_t> found = FindVersionBlock(TMemoryImage(bytes));
            EXPECT_LE(VersionBlockString(found, "FileVersion").size(), block.size())
                << "byte " << at;
        }
        bytes[at] = original;
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, VersionedModule, ::testing::ValuesIn(VERSIONED),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(GetVersionString, ModulesWithoutABlockGiveNothing) {
    for (const TFixture& plain : PLAIN)
        EXPECT_EQ(GetVersionString(plain.path, "FileVersion"), "") << plain.label;
}

TEST(GetVersionString, AFileThatIsNoModuleGivesNothing) {
    std::string path = ::testing::TempDir() + "navlet_version_not_a_module.txt";
    WriteWholeFile(path, {'M', 'Z', 'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd', 'u', 'l', 'e'});
    EXPECT_EQ(GetVersionString(path, "FileVersion"), "");
    WriteWholeFile(path, {0x7F, 'E', 'L', 'F', 2, 1});
    EXPECT_EQ(GetVersionString(path, "FileVersion"), "");
    WriteWholeFile(path, {});
    EXPECT_EQ(GetVersionString(path, "FileVersion"), "");
    std::remove(path.c_str());
}

TEST(PackVersion, PacksFourPartsOfOneByteEach) {
    EXPECT_EQ(PackVersion("1.4.0.0"), 0x01040000);
    EXPECT_EQ(PackVersion("0.0.0.0"), 0);
    EXPECT_EQ(PackVersion("1.2.3.4"), 0x01020304);
    EXPECT_EQ(PackVersion("127.255.255.255"), 0x7FFFFFFF);
    // The top part above 127 makes a negative number, as the server's do.
    EXPECT_EQ(PackVersion("200.0.0.1"), int32_t(0xC8000001u));
}

TEST(PackVersion, RejectsTextsThatAreNotFourBytes) {
    EXPECT_EQ(PackVersion(""), -1);
    EXPECT_EQ(PackVersion("1.4.0"), -1);
    EXPECT_EQ(PackVersion("1.4.256.0"), -1);
    EXPECT_EQ(PackVersion("1.4.0.-1"), -1);
    EXPECT_EQ(PackVersion("1.4.0.99999999999999999999999"), -1);
    EXPECT_EQ(PackVersion("1..4.0.0"), -1);
    EXPECT_EQ(PackVersion("1 .4.0.0"), -1);
    EXPECT_EQ(PackVersion("a.b.c.d"), -1);
    EXPECT_EQ(PackVersion(std::string_view("1.4\0.0.0", 8)), -1);
}

TEST(PackVersion, ReadsLikeScanfWithFourNumbers) {
    // Blanks and a sign before a number are part of "%d"; text after the
    // fourth number is not looked at.
    EXPECT_EQ(PackVersion(" 1. 4.+0.0"), 0x01040000);
    EXPECT_EQ(PackVersion("1.4.0.0x"), 0x01040000);
    EXPECT_EQ(PackVersion("1.4.0.0.7"), 0x01040000);
    EXPECT_EQ(PackVersion("-0.4.0.0"), 0x00040000);
}

} // namespace
} // namespace navlet
