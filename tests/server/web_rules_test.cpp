// Profile field rules and HTML escaping, the two things every page leans on.
#include <gtest/gtest.h>

#include "server/web/account_rules.h"
#include "server/web/html.h"

namespace navlet::web {
namespace {

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

TEST(Html, EscapesEveryCharacterThatCouldLeaveTextOrAttribute) {
    EXPECT_EQ(EscapeHtml("<a href=\"x\" onclick='y'>&</a>"),
              "&lt;a href=&quot;x&quot; onclick=&#39;y&#39;&gt;&amp;&lt;/a&gt;");
    EXPECT_EQ(EscapeHtml("plain"), "plain");
}

TEST(Html, BarTextIsWindows1252AndItsControlsAreDropped) {
    EXPECT_EQ(AnsiToUtf8("\x80 caf\xE9 \x93ok\x94"), "€ café “ok”");
    EXPECT_EQ(AnsiToUtf8("a\x01\x81\x9D\x7F"
                         "b"),
              "ab");
}

} // namespace
} // namespace navlet::web
