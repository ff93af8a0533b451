// The version block's own layout: translation keys, letter case, and lengths
// that lie. Starts from the block of a real module and edits it.
#include "version/module_image.h"
#include "version/version_block.h"
#include "version_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace navlet {
namespace {

class VersionBlock : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(NAVLET_FIXTURE_MODULE_ELF)
        const char* path = NAVLET_FIXTURE_MODULE_ELF;
#elif defined(NAVLET_FIXTURE_MODULE_PE)
        const char* path = NAVLET_FIXTURE_MODULE_PE;
#else
        GTEST_SKIP() << "no fixture module in this build";
        const char* path = "";
#endif
        std::vector<uint8_t> file = test::ReadWholeFile(path);
        block = FindVersionBlock(TMemoryImage(file));
        ASSERT_FALSE(block.empty());
        ASSERT_EQ(VersionBlockString(block, "FileVersion"), "1.4.0.0");
    }

    // Offset of an ASCII key stored as UTF-16 in the block.
    size_t KeyAt(std::string_view key) const {
        std::vector<uint8_t> wide;
        for (char c : key) {
            wide.push_back(uint8_t(c));
            wide.push_back(0);
        }
        auto at = std::search(block.begin(), block.end(), wide.begin(), wide.end());
        EXPECT_NE(at, block.end()) << key;
        return size_t(at - block.begin());
    }
    void PutKey(size_t at, std::string_view key) {
        for (size_t i = 0; i < key.size(); ++i)
            block[at + 2 * i] = uint8_t(key[i]);
    }
    void Put16(size_t at, uint16_t v) {
        block[at] = uint8_t(v);
        block[at + 1] = uint8_t(v >> 8);
    }
    // A node's header starts 6 bytes before its key.
    size_t NodeOf(std::string_view key) const {
        return KeyAt(key) - 6;
    }

    std::vector<uint8_t> block;
};

TEST_F(VersionBlock, TheTranslationChoosesTheStringTable) {
    // Translation value: language 0x0407, code page 0x04B0, each little-endian.
    size_t translation = KeyAt("Translation") + 26; // key, zero, padding to 4
    Put16(translation, 0x0407);
    Put16(translation + 2, 0x04B0);
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "");

    PutKey(KeyAt("040904E4"), "040704B0");
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "1.4.0.0");
}

TEST_F(VersionBlock, TableKeysMatchInAnyLetterCase) {
    PutKey(KeyAt("040904E4"), "040904e4");
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "1.4.0.0");
}

TEST_F(VersionBlock, WithoutATranslationThereIsNoValue) {
    PutKey(KeyAt("Translation"), "Translatiox");
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "");
}

TEST_F(VersionBlock, AValueLengthBeyondItsNodeStopsAtTheNode) {
    Put16(NodeOf("FileVersion") + 2, 0xFFFF);
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "1.4.0.0");
    Put16(NodeOf("FileVersion") + 2, 3);
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "1.4");
}

TEST_F(VersionBlock, LyingNodeLengthsGiveNothing) {
    std::vector<uint8_t> whole = block;
    Put16(0, uint16_t(block.size() + 1)); // root longer than the block
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "");

    block = whole;
    Put16(NodeOf("StringFileInfo"), 0); // a zero length cannot be stepped over
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "");

    block = whole;
    Put16(NodeOf("StringFileInfo"), 0xFFFF); // child longer than its parent
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "");
}

TEST_F(VersionBlock, AnUnterminatedKeyGivesNothing) {
    // Fill the string table's key and everything after it with letters.
    size_t table = KeyAt("040904E4");
    for (size_t at = table; at + 1 < block.size(); at += 2)
        Put16(at, 'A');
    EXPECT_EQ(VersionBlockString(block, "FileVersion"), "");
}

#if defined(NAVLET_FIXTURE_MODULE_ELF) && defined(NAVLET_FIXTURE_MODULE_PE)
// Both fixture modules were given the same strings: the ELF one through
// verblock, the PE one through the resource compiler.
TEST(VersionBlockLayout, VerblockWritesWhatTheResourceCompilerWrites) {
    std::vector<uint8_t> elf = test::ReadWholeFile(NAVLET_FIXTURE_MODULE_ELF);
    std::vector<uint8_t> pe = test::ReadWholeFile(NAVLET_FIXTURE_MODULE_PE);
    std::vector<uint8_t> elfBlock = FindVersionBlock(TMemoryImage(elf));
    ASSERT_FALSE(elfBlock.empty());
    EXPECT_EQ(elfBlock, FindVersionBlock(TMemoryImage(pe)));
}
#endif

TEST(VersionBlockText, EmptyAndTinyBlocksGiveNothing) {
    EXPECT_EQ(VersionBlockString({}, "FileVersion"), "");
    const uint8_t tiny[] = {6, 0, 0, 0, 0, 0};
    EXPECT_EQ(VersionBlockString(tiny, "FileVersion"), "");
}

} // namespace
} // namespace navlet
