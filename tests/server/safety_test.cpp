// Reports, invisibility and friends told of each other through the
// service's front: requests in, what each session receives out, with the
// real store behind it.
#include "server/admin/admin_command.h"
#include "tests/server/people_fixture.h"

namespace navlet::server {
namespace {

class SafetyTest : public PeopleTest {
  protected:
    void Report(TClient& c, uint64_t user, uint8_t reason = REPORT_SPAM,
                const std::string& text = "") {
        service->Handle(
            c, Request(REQ_REPORT, [&](TPacket& p) { return BuildReport(p, user, reason, text); }));
    }
    void Privacy(TClient& c, uint8_t flags) {
        service->Handle(c,
                        Request(REQ_PRIVACY, [&](TPacket& p) { return BuildPrivacy(p, flags); }));
    }
    // Ticker notices (chat lines from user 0 to 0x200).
    static std::vector<std::string> Notices(TClient& c) {
        std::vector<std::string> out;
        for (const TPacket& p : Of(c, MSG_CHAT_LINE))
            if (ReadChatLine(p).address.User() == 0 && ReadChatLine(p).address.Chat() == 0x200)
                out.push_back(ReadChatLine(p).text);
        return out;
    }
    // The quoted lines of the newest report, without their dates.
    std::vector<std::string> QuotedOfNewest() {
        auto listed = store->Reports(/*all=*/true);
        if (listed.empty())
            return {};
        auto report = store->FindReport(listed.front().id);
        std::vector<std::string> out;
        std::string_view lines = report->lines;
        while (!lines.empty()) {
            size_t end = lines.find('\n');
            std::string_view line = lines.substr(0, end);
            out.emplace_back(line.substr(20)); // "YYYY-MM-DD HH:MM:SS "
            lines.remove_prefix(end + 1);
        }
        return out;
    }
};

// A report quotes the reported user's latest 30 lines where the reporter
// saw them: the site's since its welcome (the replayed ones too) and its
// private chats since it joined; nothing said before, nothing of others,
// nothing of a chat it is not in.
TEST_F(SafetyTest, AReportQuotesOnlyWhatTheReporterSaw) {
    TClient& bob = Open("bob");
    TClient& cid = Open("cid");
    for (int i = 1; i <= 25; ++i) {
        Say(bob, 0, "early " + std::to_string(i));
        clock.Advance(1000);
    }
    TClient& ann = Open("ann"); // the site replays the last 20 of them
    const ChatId secret = bob.chatKey << 8 | 1;
    Invite(bob, cid.Id(), secret);
    Say(bob, secret, "not for ann");
    clock.Advance(1000);
    const ChatId shared = bob.chatKey << 8 | 2;
    Say(bob, 0, "late 1");
    clock.Advance(1000);
    Invite(bob, ann.Id(), shared);
    Say(bob, shared, "private 1");
    clock.Advance(1000);
    Say(cid, 0, "cid's own");
    Say(bob, 0, "late 2");
    ClearAll();

    Report(ann, bob.Id(), REPORT_HARASSMENT, "he keeps on");
    EXPECT_EQ(Notices(ann), std::vector<std::string>{std::string(REPORT_THANKS)});
    std::vector<std::string> expected;
    for (int i = 6; i <= 25; ++i)
        expected.push_back("site: early " + std::to_string(i));
    expected.insert(expected.end(), {"site: late 1", "private: private 1", "site: late 2"});
    EXPECT_EQ(QuotedOfNewest(), expected);

    auto report = store->FindReport(store->Reports(false).front().id);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->reporterNick, "ann");
    EXPECT_EQ(report->targetNick, "bob");
    EXPECT_EQ(report->reason, REPORT_HARASSMENT);
    EXPECT_EQ(report->text, "he keeps on");
    EXPECT_EQ(report->site, "example.com");
    EXPECT_TRUE(Sink(bob).got.empty()); // the reported user is not told

    // Thirty at most, the latest: cid saw 38 of bob's lines.
    for (int i = 1; i <= 10; ++i) {
        Say(bob, 0, "more " + std::to_string(i));
        clock.Advance(1000);
    }
    Report(cid, bob.Id());
    auto quoted = QuotedOfNewest();
    ASSERT_EQ(quoted.size(), REPORT_LINES);
    EXPECT_EQ(quoted.front(), "site: early 9");
    EXPECT_EQ(quoted[17], "private: not for ann");
    EXPECT_EQ(quoted.back(), "site: more 10");
}

// Five reports an hour per account, whichever window makes them; the sixth
// is refused with a ticker line and kept nowhere, and an hour later one
// goes through again. Reports of nobody, oneself or with an unknown reason
// are dropped unanswered.
TEST_F(SafetyTest, ReportsAreBoundedPerAccountAndHour) {
    TClient& ann = Open("ann");
    TClient& annToo = Open("ann", "other.org");
    TClient& bob = Open("bob");
    ClearAll();
    Report(ann, 0);
    Report(ann, ann.Id());
    Report(ann, bob.Id(), /*reason=*/9);
    Report(ann, 987654);
    EXPECT_TRUE(Sink(ann).got.empty());
    EXPECT_TRUE(store->Reports(true).empty());

    for (int i = 0; i < REPORTS_PER_HOUR; ++i)
        Report(i % 2 ? ann : annToo, bob.Id());
    Report(ann, bob.Id());
    EXPECT_EQ(store->Reports(true).size(), size_t(REPORTS_PER_HOUR));
    EXPECT_EQ(Notices(ann).back(), REPORT_TOO_MANY);

    clock.Advance(3601 * 1000);
    Report(ann, bob.Id());
    EXPECT_EQ(Notices(ann).back(), REPORT_THANKS);
    EXPECT_EQ(store->Reports(true).size(), size_t(REPORTS_PER_HOUR) + 1);
}

// The operator's listings: open reports unless all, a report's lines with
// what a terminal must not get written as %XX, a report closed once.
TEST_F(SafetyTest, OperatorListsReadsAndClosesReports) {
    TClient& ann = Open("ann");
    TClient& bob = Open("bob");
    Say(bob, 0, "buy 50% off\x01now");
    Report(ann, bob.Id(), REPORT_SPAM, "ads");
    const uint64_t id = store->Reports(false).front().id;

    TAdminCommand c;
    std::string error;
    ASSERT_TRUE(ParseAdminCommand("REPORTS", c, error));
    std::string listing = RunAdminCommand(*service, 0, c);
    EXPECT_NE(listing.find(" ann bob spam open example.com\n"), std::string::npos) << listing;
    EXPECT_EQ(listing.substr(listing.rfind("OK")), "OK 1\n");

    ASSERT_TRUE(ParseAdminCommand("REPORT " + std::to_string(id), c, error));
    std::string one = RunAdminCommand(*service, 0, c);
    EXPECT_NE(one.find("* text ads\n"), std::string::npos) << one;
    EXPECT_NE(one.find(" site: buy 50%25 off now\n"), std::string::npos) << one;

    ASSERT_TRUE(ParseAdminCommand("CLOSE " + std::to_string(id) + " warned him", c, error));
    EXPECT_EQ(RunAdminCommand(*service, 0, c), "OK 1\n");
    EXPECT_EQ(RunAdminCommand(*service, 0, c), "ERR no such open report\n");
    ASSERT_TRUE(ParseAdminCommand("REPORTS", c, error));
    EXPECT_EQ(RunAdminCommand(*service, 0, c), "OK 0\n");
    ASSERT_TRUE(ParseAdminCommand("REPORTS all", c, error));
    EXPECT_NE(RunAdminCommand(*service, 0, c).find(" closed "), std::string::npos);
    ASSERT_TRUE(ParseAdminCommand("REPORT " + std::to_string(id), c, error));
    EXPECT_NE(RunAdminCommand(*service, 0, c).find("* closed warned him\n"), std::string::npos);

    for (const char* bad : {"REPORT", "REPORT 0", "REPORT x1", "CLOSE", "REPORTS some"})
        EXPECT_FALSE(ParseAdminCommand(bad, c, error)) << bad;
}

// Invisible: on no site list (those there see it leave, newcomers never
// see it), counted nowhere, not found by a search, its public lines refused
// with a reason; it still reads the site. Friends see it offline unless it
// lets them, and it comes back into sight when it says so.
TEST_F(SafetyTest, AnInvisibleUserIsListedCountedAndFoundNowhere) {
    TClient& ann = Open("ann");
    TClient& bob = Open("bob");
    ASSERT_TRUE(service->FindAccountByNick("cid") ||
                store->AddAccount("cid", "pw", 'x', 3) == TAddAccountResult::Added);
    ASSERT_TRUE(store->AddFriend(service->FindAccountByNick("cid")->id, ann.Id()));
    ClearAll();

    Privacy(ann, PRIVACY_INVISIBLE);
    EXPECT_EQ(Users(bob, MSG_USER_LEFT), std::vector<uint64_t>{ann.Id()});
    EXPECT_EQ(service->BusiestSites(10).front().users, 1u);
    EXPECT_EQ(store->Privacy(ann.Id()), PRIVACY_INVISIBLE); // kept for the next sign-in

    TClient& cid = Open("cid");
    std::vector<uint8_t> friendFlags;
    for (const TPacket& p : Of(cid, MSG_PRESENCE))
        if (ReadPresence(p).user == ann.Id())
            friendFlags.push_back(ReadPresence(p).listFlag);
    EXPECT_EQ(friendFlags, std::vector<uint8_t>{LIST_FRIEND_OFFLINE}); // not on the site list

    service->Handle(bob,
                    Request(REQ_FIND_USER, [&](TPacket& p) { return BuildFindUser(p, "ann"); }));
    ASSERT_EQ(Of(bob, MSG_SEARCH_ANSWER).size(), 1u);
    EXPECT_EQ(ReadSearchAnswer(Of(bob, MSG_SEARCH_ANSWER)[0]).result, SEARCH_NOT_ONLINE);

    ClearAll();
    Say(ann, 0, "can you see me");
    EXPECT_TRUE(Lines(bob).empty());
    EXPECT_EQ(Notices(ann), std::vector<std::string>{std::string(INVISIBLE_LINE_REFUSED)});
    Say(bob, 0, "still read");
    EXPECT_EQ(Lines(ann), std::vector<std::string>{"still read"});

    // Friends may see it online; then visible again for everybody.
    ClearAll();
    Privacy(ann, PRIVACY_INVISIBLE | PRIVACY_VISIBLE_TO_FRIENDS);
    ASSERT_EQ(Of(cid, MSG_PRESENCE).size(), 1u);
    EXPECT_EQ(ReadPresence(Of(cid, MSG_PRESENCE)[0]).listFlag, LIST_FRIEND_ONLINE);
    Privacy(ann, PRIVACY_DEFAULT);
    EXPECT_EQ(Users(bob, MSG_PRESENCE), std::vector<uint64_t>{ann.Id()});
    EXPECT_EQ(service->BusiestSites(10).front().users, 3u);
}

// "Your friend is on this site": the newcomer hears of the friends already
// there, those there who list the newcomer hear of it, each direction on
// its own; nothing for a friend elsewhere, nor of one who keeps it to
// itself or is invisible.
TEST_F(SafetyTest, FriendsOnOneSiteAreToldOfEachOther) {
    for (const char* nick : {"ann", "bob", "cid", "dan"})
        ASSERT_EQ(store->AddAccount(nick, "pw", 'x', 3), TAddAccountResult::Added);
    auto id = [&](const char* nick) { return service->FindAccountByNick(nick)->id; };
    ASSERT_TRUE(store->AddFriend(id("ann"), id("bob")));
    ASSERT_TRUE(store->AddFriend(id("bob"), id("ann")));
    ASSERT_TRUE(store->AddFriend(id("ann"), id("cid")));
    ASSERT_TRUE(store->AddFriend(id("ann"), id("dan")));
    ASSERT_TRUE(store->SetPrivacy(id("dan"), 0)); // tells nobody
    auto here = [](TClient& c) {
        std::vector<std::string> out;
        for (const TPacket& p : Of(c, MSG_FRIEND_HERE))
            out.push_back(ReadFriendHere(p).nick);
        return out;
    };
    TClient& bob = Open("bob");
    TClient& cid = Open("cid", "other.org");
    TClient& dan = Open("dan");
    TClient& ann = Open("ann");
    EXPECT_EQ(here(ann), std::vector<std::string>{"bob"});
    EXPECT_EQ(here(bob), std::vector<std::string>{"ann"});
    EXPECT_TRUE(here(cid).empty());
    EXPECT_TRUE(here(dan).empty());

    ClearAll();
    Privacy(bob, PRIVACY_INVISIBLE);
    service->Handle(
        ann, Request(REQ_SITE_REPORT, [&](TPacket& p) { return BuildSiteReport(p, "other.org"); }));
    EXPECT_EQ(here(ann), std::vector<std::string>{"cid"});
    service->Handle(
        bob, Request(REQ_SITE_REPORT, [&](TPacket& p) { return BuildSiteReport(p, "other.org"); }));
    EXPECT_EQ(here(ann), std::vector<std::string>{"cid"}); // bob is invisible
}

// Through another node, as the site holds its users there: a friend who
// arrives there is told of to the friends here, and a window arriving here
// hears of the friends there, unless their node says they keep it to
// themselves (an older node says nothing: they tell). Bits set on another
// node move the account's windows here off the site's list and back.
TEST_F(SafetyTest, FriendsAndPrivacyHoldThroughAnotherNode) {
    for (const char* nick : {"ann", "bob", "rob", "rae"})
        ASSERT_EQ(store->AddAccount(nick, "pw", 'x', 3), TAddAccountResult::Added);
    auto account = [&](const char* nick) { return *service->FindAccountByNick(nick); };
    ASSERT_TRUE(store->AddFriend(account("ann").id, account("rob").id));
    ASSERT_TRUE(store->AddFriend(account("ann").id, account("rae").id));
    auto here = [](TClient& c) {
        std::vector<std::string> out;
        for (const TPacket& p : Of(c, MSG_FRIEND_HERE))
            out.push_back(ReadFriendHere(p).nick);
        return out;
    };
    TClient& ann = Open("ann");
    TClient& bob = Open("bob");
    service->RemoteEntered("example.com", "n2", account("rob"));
    service->RemoteEntered("example.com", "n2", account("rae"), /*privacy=*/0);
    EXPECT_EQ(here(ann), std::vector<std::string>{"rob"});
    EXPECT_TRUE(here(bob).empty());
    TClient& annToo = Open("ann");
    EXPECT_EQ(here(annToo), std::vector<std::string>{"rob"});

    ClearAll();
    service->RemotePrivacyChange(bob.Id(), PRIVACY_INVISIBLE);
    EXPECT_EQ(Users(ann, MSG_USER_LEFT), std::vector<uint64_t>{bob.Id()});
    ClearAll();
    service->RemotePrivacyChange(bob.Id(), PRIVACY_DEFAULT);
    EXPECT_EQ(Users(ann, MSG_PRESENCE), std::vector<uint64_t>{bob.Id()});
}

} // namespace
} // namespace navlet::server
