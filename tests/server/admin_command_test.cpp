#include <gtest/gtest.h>

#include "server/admin/admin_command.h"
#include "server/core/restrictions.h"

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

TEST(AdminCommand, RestrictionsReadTheirSubjectDurationAndReason) {
    TAdminCommand c;
    std::string error;
    ASSERT_TRUE(ParseAdminCommand("BAN user:Spammer 2h posting  links", c, error)) << error;
    EXPECT_EQ(c.verb, TAdminVerb::Ban);
    EXPECT_EQ(c.subjectKind, TBanSubject::User);
    EXPECT_EQ(c.subject, "Spammer");
    EXPECT_EQ(c.durationS, 7200);
    EXPECT_EQ(c.text, "posting  links");
    // A range is kept with its host bits cleared, as it is stored and unbanned.
    ASSERT_TRUE(ParseAdminCommand("ban ADDR:10.1.2.3/8 forever", c, error)) << error;
    EXPECT_EQ(c.subjectKind, TBanSubject::Address);
    EXPECT_EQ(c.subject, "10.0.0.0/8");
    EXPECT_EQ(c.durationS, 0);
    ASSERT_TRUE(ParseAdminCommand("UNBAN addr:2001:db8::1/32", c, error)) << error;
    EXPECT_EQ(c.subject, "2001:db8::/32");
    ASSERT_TRUE(ParseAdminCommand("MUTE site:Example.COM 10m", c, error)) << error;
    EXPECT_EQ(c.subject, "example.com");
    EXPECT_EQ(c.durationS, 600);
    ASSERT_TRUE(ParseAdminCommand("BAN user:x 1d " + std::string(400, 'r'), c, error));
    EXPECT_EQ(c.text.size(), MAX_BAN_REASON);

    const std::pair<const char*, const char*> bad[] = {
        {"BAN user:bob", "bad duration: 10m, 2h, 7d or forever"},
        {"BAN user:bob 2", "bad duration: 10m, 2h, 7d or forever"},
        {"BAN user:bob 0h", "bad duration: 10m, 2h, 7d or forever"},
        {"BAN user:bob -5m", "bad duration: 10m, 2h, 7d or forever"},
        {"BAN user:bob 99999999d", "bad duration: 10m, 2h, 7d or forever"},
        {"BAN all 2h", "bad target: user:NICK or addr:RANGE"},
        {"BAN addr:10.0.0.0/33 2h", "bad address range"},
        {"BAN addr:example.com 2h", "bad address range"},
        {"DISABLE addr:10.0.0.1", "bad target: user:NICK"},
        {"MUTE user:bob 2h", "bad target: site:HOST"},
        {"PASSWORD", "bad target: user:NICK"},
    };
    for (auto [line, reason] : bad) {
        EXPECT_FALSE(ParseAdminCommand(line, c, error)) << line;
        EXPECT_EQ(error, reason) << line;
    }
}

TEST(Restrictions, RangesMatchBothFamiliesAndMappedAddresses) {
    TRestrictionList list;
    list.Replace({{TRestrictionKind::AddressBan, "10.0.0.0/8", 0, "spam"},
                  {TRestrictionKind::AddressBan, "2001:db8::/32", 0, ""},
                  {TRestrictionKind::AddressBan, "192.168.1.7/32", 0, ""},
                  {TRestrictionKind::AddressBan, "not a range", 0, ""}});
    EXPECT_TRUE(list.ForAddress("10.200.3.4", 100));
    EXPECT_TRUE(list.ForAddress("::ffff:10.1.1.1", 100)); // a dual-stack listener's peer
    EXPECT_FALSE(list.ForAddress("11.0.0.1", 100));
    EXPECT_TRUE(list.ForAddress("2001:db8:ffff::1", 100));
    EXPECT_FALSE(list.ForAddress("2001:db9::1", 100));
    EXPECT_TRUE(list.ForAddress("192.168.1.7", 100));
    EXPECT_FALSE(list.ForAddress("192.168.1.6", 100));
    EXPECT_FALSE(list.ForAddress("garbage", 100));
    EXPECT_EQ(list.ForAddress("10.0.0.1", 100)->reason, "spam");
}

TEST(Restrictions, ABanHoldsUntilItsTimeAndADisablingWinsOverIt) {
    TRestrictionList list;
    list.Replace({{TRestrictionKind::UserBan, "7", 1000, "spam"},
                  {TRestrictionKind::SiteMute, "example.com", 1000, ""},
                  {TRestrictionKind::UserBan, "8", 1000, ""},
                  {TRestrictionKind::Disabled, "8", 0, ""}});
    EXPECT_TRUE(list.ForAccount(7, 999));
    EXPECT_FALSE(list.ForAccount(7, 1000));
    EXPECT_TRUE(list.ForSite("example.com", 999));
    EXPECT_FALSE(list.ForSite("example.com", 1000));
    EXPECT_FALSE(list.ForSite("other.org", 1));
    ASSERT_TRUE(list.ForAccount(8, 5000));
    EXPECT_EQ(list.ForAccount(8, 5000)->kind, TRestrictionKind::Disabled);
}

TEST(Restrictions, TheBarSaysUntilWhenAndWhy) {
    const int64_t now = 1700000000; // 2023-11-14 22:13:20 UTC
    TRestriction ban{TRestrictionKind::UserBan, "7", now + 2 * 3600, "spam"};
    EXPECT_EQ(BarredReason(ban, now), "You are banned until 00:13 UTC: spam.");
    ban.untilS = now + 7 * 86400;
    ban.reason = "flooding!";
    EXPECT_EQ(BarredReason(ban, now), "You are banned until 2023-11-21 22:13 UTC: flooding!");
    ban.untilS = 0;
    ban.reason.clear();
    EXPECT_EQ(BarredReason(ban, now), "You are banned.");
    EXPECT_EQ(BarredReason({TRestrictionKind::Disabled, "7", 0, "fraud"}, now),
              "This account is disabled: fraud.");
}

} // namespace
} // namespace navlet::server
