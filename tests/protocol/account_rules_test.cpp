// The nick and password rules and the case folding the bar and the server
// share.
#include <gtest/gtest.h>

#include <string>

#include "protocol/account_rules.h"
#include "protocol/ascii.h"

namespace navlet {
namespace {

TEST(AccountRules, NickHoldsOneToFifteenLettersDigitsAndMarks) {
    EXPECT_EQ(CheckNick("a"), TFieldCheck::Ok);
    EXPECT_EQ(CheckNick("abcdefghijklmno"), TFieldCheck::Ok);
    EXPECT_EQ(CheckNick("Joe_1.x-Y"), TFieldCheck::Ok);
    EXPECT_EQ(CheckNick("<b>"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNick("a:b"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNick(""), TFieldCheck::Empty);
    EXPECT_EQ(CheckNick("abcdefghijklmnop"), TFieldCheck::TooLong);
    EXPECT_EQ(CheckNick("two words"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNick("tab\there"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNick(std::string_view("nul\0x", 5)), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNick("caf\xC3\xA9"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNick("del\x7F"), TFieldCheck::BadCharacter);
}

TEST(AccountRules, PasswordMayHoldInnerBlanksButNoneAtItsEnds) {
    EXPECT_EQ(CheckNewPassword("x"), TFieldCheck::Ok);
    EXPECT_EQ(CheckNewPassword("open sesame"), TFieldCheck::Ok);
    EXPECT_EQ(CheckNewPassword(" lead"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNewPassword("trail "), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckNewPassword(""), TFieldCheck::Empty);
    EXPECT_EQ(CheckNewPassword("0123456789abcdef"), TFieldCheck::TooLong);
    EXPECT_EQ(CheckNewPassword("line\nbreak"), TFieldCheck::BadCharacter);
}

TEST(AsciiCase, OnlyTheLettersAToZFold) {
    EXPECT_TRUE(EqualsFolded("Alice", "aLICE"));
    EXPECT_FALSE(EqualsFolded("Alice", "Alice2"));
    EXPECT_FALSE(EqualsFolded("[", "{")); // one bit apart, like the letters
    EXPECT_EQ(FoldCase("Navlet.COM:80"), "navlet.com:80");
    // A code page's letters stay as they are: the bar and the server would
    // fold them differently.
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        EXPECT_EQ(FoldAscii(char(byte)), char(byte)) << byte;
    EXPECT_FALSE(EqualsFolded("\xC9", "\xE9")); // E acute in Windows-1252
    EXPECT_EQ(FoldCase("\xC3\x89T\xC3\xA9"), "\xC3\x89t\xC3\xA9");
}

TEST(AccountRules, EveryPasswordThatMayBeSetSurvivesTheBarsTrimming) {
    // Each printable ASCII character and a few others, alone, inside, and at
    // either end: what the server takes is what the bar sends of it when typed.
    for (int byte = 0; byte <= 0xFF; ++byte) {
        const char c = char(byte);
        for (const std::string& password : {std::string(1, c), "a" + std::string(1, c) + "b",
                                            std::string(1, c) + "ab", "ab" + std::string(1, c)}) {
            if (IsValidNewPassword(password)) {
                EXPECT_EQ(TrimTyped(password), password) << byte;
                EXPECT_TRUE(IsValidPassword(password)) << byte; // and it signs in
            }
            if (TrimTyped(password) != password) {
                EXPECT_FALSE(IsValidNewPassword(password)) << byte;
            }
        }
    }
    EXPECT_EQ(TrimTyped("\x01 open sesame \r\n"), "open sesame");
    EXPECT_EQ(TrimTyped(" \t"), "");
}

} // namespace
} // namespace navlet
