#include <gtest/gtest.h>

#include "server/admin/admin_command.h"

namespace navlet::server {
namespace {

TEST(AdminCommand, ParsesNoticesWithKindTargetAndVerbatimText) {
    TAdminCommand c;
    std::string error;
    ASSERT_TRUE(
        ParseAdminCommand("notice  Buttons 7 site:Example.com  two  blanks kept", c, error));
    EXPECT_EQ(c.verb, TAdminVerb::Notice);
    EXPECT_EQ(c.notice, TNoticeKind::Buttons);
    EXPECT_EQ(c.buttons, 7);
    EXPECT_EQ(c.target.kind, TTarget::Site);
    EXPECT_EQ(c.target.name, "Example.com");
    EXPECT_EQ(c.text, "two  blanks kept");
    ASSERT_TRUE(ParseAdminCommand("NOTICE CONSOLE all " + std::string(400, 'x'), c, error));
    EXPECT_EQ(c.text.size(), MAX_NOTICE_TEXT);
}

TEST(AdminCommand, SubCommandsTakeAnOptionalText) {
    TAdminCommand c;
    std::string error;
    ASSERT_TRUE(ParseAdminCommand("REPLYTIME user:bob", c, error));
    EXPECT_EQ(c.verb, TAdminVerb::ReplyTime);
    EXPECT_TRUE(c.text.empty());
    ASSERT_TRUE(ParseAdminCommand("update all get 1.5", c, error));
    EXPECT_EQ(c.verb, TAdminVerb::Update);
    EXPECT_EQ(c.text, "get 1.5");
    ASSERT_TRUE(ParseAdminCommand("KICK user:bob ignored words", c, error));
    EXPECT_TRUE(c.text.empty());
}

TEST(AdminCommand, RefusesWhatDoesNotParse) {
    TAdminCommand c;
    std::string error;
    const std::pair<const char*, const char*> bad[] = {
        {"", "unknown command"},
        {"NOTICE LOUD all hi", "unknown notice kind"},
        {"NOTICE BUTTONS x all hi", "bad buttons"},
        {"NOTICE BUTTONS -1 all hi", "bad buttons"},
        {"NOTICE TICKER user: hi", "bad target"},
        {"NOTICE TICKER all   ", "missing text"},
        {"KICK", "bad target"},
    };
    for (auto [line, reason] : bad) {
        EXPECT_FALSE(ParseAdminCommand(line, c, error)) << line;
        EXPECT_EQ(error, reason) << line;
    }
    // As read from the port: the line end goes, blanks alone are no command.
    EXPECT_TRUE(ParseAdminLine("STATS\r\n", c, error));
    EXPECT_EQ(c.verb, TAdminVerb::Stats);
    EXPECT_FALSE(ParseAdminLine("   \r\n", c, error));
    EXPECT_EQ(error, "empty line");
}

} // namespace
} // namespace navlet::server
