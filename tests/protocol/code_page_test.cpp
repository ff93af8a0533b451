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

TEST(CodePage, EveryByteSurvivesTheTripThroughUtf8) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    const std::string utf8 = Utf8FromCp1252(all);
    EXPECT_EQ(WholeUtf8(utf8), utf8);
    EXPECT_EQ(Cp1252FromUtf8(utf8), all);
    EXPECT_EQ(Utf8FromEither(utf8), utf8);
}

TEST(CodePage, BrokenUtf8IsAQuestionMarkAndACutTailIsLeftOut) {
    // Overlong "/", a surrogate, past U+10FFFF, a stray continuation byte.
    EXPECT_EQ(WholeUtf8("a\xC0\xAF"
                        "b"),
              "a??b");
    EXPECT_EQ(WholeUtf8("\xED\xA0\x80"), "???");
    EXPECT_EQ(WholeUtf8("\xF4\x90\x80\x80"), "????");
    EXPECT_EQ(WholeUtf8("\x80x"), "?x");
    // A sequence that stops early: each of its bytes is a broken one.
    EXPECT_EQ(Cp1252FromUtf8("\xE2\x82x"), "??x");
    // The end of a field cut mid-character.
    EXPECT_EQ(WholeUtf8("a\xE2\x82"), "a");
    EXPECT_EQ(Cp1252FromUtf8("\xC5\x82\xE2\x82\xAC\xF0\x9F\x98"), "?\x80");
}

TEST(CodePage, TextOfNoKnownCodeIsUtf8OnlyWhenItReadsAsUtf8) {
    EXPECT_EQ(Utf8FromEither("caf\xE9"), "café");
    EXPECT_EQ(Utf8FromEither("café"), "café");
    // A cut tail does not read as UTF-8 either.
    EXPECT_EQ(Utf8FromEither("caf\xC3"), "cafÃ");
}

TEST(CodePage, OffsetsMapBetweenUtf8AndUtf16) {
    const std::string text = "a€😀b"; // UTF-16: a, €, two units for 😀, b
    const size_t bytes[] = {0, 1, 4, 4, 8, 9};
    for (size_t units = 0; units < 6; ++units)
        EXPECT_EQ(Utf8OffsetOfUtf16(text, units), bytes[units]) << units;
    EXPECT_EQ(Utf16OffsetOfUtf8(text, 4), 2u);
    EXPECT_EQ(Utf16OffsetOfUtf8(text, 8), 4u);
    EXPECT_EQ(Utf16OffsetOfUtf8(text, 100), 5u);
}

TEST(CodePage, APrefixNeverEndsInsideACharacter) {
    const std::string text = "a€😀b"; // 1 + 3 + 4 + 1 bytes
    EXPECT_EQ(Utf8Prefix(text, 0), 0u);
    EXPECT_EQ(Utf8Prefix(text, 2), 1u);
    EXPECT_EQ(Utf8Prefix(text, 3), 1u);
    EXPECT_EQ(Utf8Prefix(text, 4), 4u);
    EXPECT_EQ(Utf8Prefix(text, 7), 4u);
    EXPECT_EQ(Utf8Prefix(text, 8), 8u);
    EXPECT_EQ(Utf8Prefix(text, 100), text.size());
}

} // namespace
} // namespace navlet
