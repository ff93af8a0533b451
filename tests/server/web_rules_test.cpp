// Account field rules and HTML escaping, the two things every page leans on.
#include <gtest/gtest.h>

#include "server/web/account_rules.h"
#include "server/web/html.h"

namespace navlet::web {
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
    EXPECT_EQ(CheckPassword("x"), TFieldCheck::Ok);
    EXPECT_EQ(CheckPassword("open sesame"), TFieldCheck::Ok);
    EXPECT_EQ(CheckPassword(" lead"), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckPassword("trail "), TFieldCheck::BadCharacter);
    EXPECT_EQ(CheckPassword(""), TFieldCheck::Empty);
    EXPECT_EQ(CheckPassword("0123456789abcdef"), TFieldCheck::TooLong);
    EXPECT_EQ(CheckPassword("line\nbreak"), TFieldCheck::BadCharacter);
}

TEST(AccountRules, GenderAndLanguageAcceptOnlyTheOfferedValues) {
    EXPECT_EQ(ParseGender("f"), 'f');
    EXPECT_FALSE(ParseGender("M"));
    EXPECT_FALSE(ParseGender("mf"));
    EXPECT_EQ(ParseLanguage("0"), 0);
    EXPECT_EQ(ParseLanguage("13"), 13);
    EXPECT_FALSE(ParseLanguage("14"));
    EXPECT_FALSE(ParseLanguage("-1"));
    EXPECT_FALSE(ParseLanguage("3x"));
    EXPECT_FALSE(ParseLanguage(""));
    EXPECT_EQ(LanguageName(1), "Danish");
    EXPECT_EQ(LanguageName(13), "Turkish");
    EXPECT_EQ(LanguageName(0), "Other");
    EXPECT_EQ(LanguageName(99), "Other");
}

TEST(AccountRules, NicksCompareWithoutRegardToCase) {
    EXPECT_TRUE(NicksEqual("Alice", "aLICE"));
    EXPECT_FALSE(NicksEqual("Alice", "Alice2"));
    EXPECT_FALSE(NicksEqual("[", "{")); // only letters fold
}

TEST(Html, EscapesEveryCharacterThatCouldLeaveTextOrAttribute) {
    EXPECT_EQ(EscapeHtml("<a href=\"x\" onclick='y'>&</a>"),
              "&lt;a href=&quot;x&quot; onclick=&#39;y&#39;&gt;&amp;&lt;/a&gt;");
    EXPECT_EQ(EscapeHtml("plain"), "plain");
}

} // namespace
} // namespace navlet::web
