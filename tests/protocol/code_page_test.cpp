// Windows-1252, the bar's code page on every platform.
#include <gtest/gtest.h>

#include "protocol/code_page.h"

namespace navlet {
namespace {

TEST(CodePage, EveryByteRoundTripsAndTheHighRowIsNotLatin1) {
    for (int byte = 0; byte < 256; ++byte) {
        const char32_t c = CharFromCp1252(uint8_t(byte));
        ASSERT_EQ(Cp1252FromChar(c), std::optional<uint8_t>(uint8_t(byte))) << byte;
    }
    EXPECT_EQ(CharFromCp1252(0x80), U'€');
    EXPECT_EQ(CharFromCp1252(0x8A), U'Š');
    EXPECT_EQ(CharFromCp1252(0x99), U'™');
    EXPECT_EQ(CharFromCp1252(0x9F), U'Ÿ');
    EXPECT_EQ(CharFromCp1252(0xE9), U'é');
    // Latin-1's C1 controls that 1252 gives letters to are not its bytes.
    EXPECT_EQ(Cp1252FromChar(U'\u0080'), std::nullopt);
    EXPECT_EQ(Cp1252FromChar(U'\u0099'), std::nullopt);
}

TEST(CodePage, CharactersItCannotHoldAreRefusedNotGuessed) {
    EXPECT_EQ(Cp1252FromChar(U'😀'), std::nullopt);
    EXPECT_EQ(Cp1252FromChar(U'Ł'), std::nullopt);
    EXPECT_EQ(Cp1252FromChar(U'中'), std::nullopt);
    EXPECT_EQ(Cp1252FromChar(0x110000), std::nullopt);
    std::string utf8;
    for (char32_t c : {U'€', U'é', U'😀'})
        AppendUtf8(utf8, c);
    EXPECT_EQ(utf8, "€é😀");
}

} // namespace
} // namespace navlet
