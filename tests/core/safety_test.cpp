// Reporting a user from the bar: the users menu's and a private chat
// member's "Report this user..." submenus, the ignore that goes with a
// report unless the user says otherwise, and a server that knows nothing of it.
#include "client/core/lists.h"
#include "tests/core/chats_test_support.h"

namespace navlet::testing {
namespace {

constexpr uint16_t REPORT_SPAM_ITEM = 110;
constexpr uint16_t REPORT_ALSO_IGNORE_ITEM = 110 + REPORT_REASON_COUNT;

class ReportTest : public AliceAndBobTest {
  protected:
    void SetUp() override {
        AliceAndBobTest::SetUp();
        Socket().ClearSent();
    }
    // Opens the users menu on `nick` and chooses `choice`; the report
    // submenu as shown.
    const TBarMenuItem* UsersMenu(const std::string& nick, int16_t choice, uint16_t look) {
        Select(nick);
        tk.menus.choices = {choice};
        bool handled = false;
        b().lvUsersPopup(4, 30, handled);
        return b().usersMenu->Item(look);
    }
    std::vector<std::pair<UserId, uint8_t>> Reports() {
        std::vector<std::pair<UserId, uint8_t>> out;
        for (const TPacket& p : Sent(REQ_REPORT))
            out.emplace_back(ReadReport(p).user, ReadReport(p).reason);
        return out;
    }
};

// Each reason sends a report of the entry's user; the first report also
// ignores them (the default), and with "also ignore" cleared a report
// leaves the mark alone. Oneself cannot be reported.
TEST_F(ReportTest, TheUsersMenuReportsWithAReasonAndIgnoresByDefault) {
    const TBarMenuItem* also = UsersMenu("me", 0, REPORT_ALSO_IGNORE_ITEM);
    ASSERT_TRUE(also);
    EXPECT_TRUE(also->checked);
    EXPECT_FALSE(also->enabled);

    UsersMenu("bob", int16_t(REPORT_SPAM_ITEM + REPORT_HARASSMENT), 0);
    EXPECT_EQ(Reports(), (std::vector<std::pair<UserId, uint8_t>>{{BOB, REPORT_HARASSMENT}}));
    EXPECT_EQ(b().MarkOf(BOB), MARK_IGNORED);
    ASSERT_EQ(Sent(REQ_IGNORE_CHANGE).size(), 1u);

    UsersMenu("Alice", REPORT_ALSO_IGNORE_ITEM, 0);
    EXPECT_FALSE(
        UsersMenu("Alice", int16_t(REPORT_SPAM_ITEM + REPORT_OTHER), REPORT_ALSO_IGNORE_ITEM)
            ->checked);
    EXPECT_EQ(b().MarkOf(ALICE), MARK_NONE);
    EXPECT_EQ(Reports().back(), (std::pair<UserId, uint8_t>{ALICE, REPORT_OTHER}));
    EXPECT_EQ(Sent(REQ_IGNORE_CHANGE).size(), 1u);
    EXPECT_TRUE(Sent(REQ_BLOCK_CHANGE).empty());
}

// A private chat's member menu reports that member, not another; a report
// of a user already blocked keeps the block.
TEST_F(ReportTest, AChatMembersMenuReportsThatMember) {
    Joined(ALICE, 0x5501);
    Joined(BOB, 0x5501);
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    b().MarkReceived(TMarkMsg{BOB, MARK_BLOCKED, "bob"});
    Socket().ClearSent();
    bool handled = false;
    // The second member's "Illegal content".
    tk.menus.choices = {int16_t(100 + (REPORT_REASON_COUNT + 1) + REPORT_ILLEGAL)};
    b().ChatContextPopup(*b().PageControl.Page(1).view, 30, 40, handled);
    EXPECT_EQ(Reports(), (std::vector<std::pair<UserId, uint8_t>>{{BOB, REPORT_ILLEGAL}}));
    EXPECT_EQ(b().MarkOf(BOB), MARK_BLOCKED);
    EXPECT_TRUE(Sent(REQ_IGNORE_CHANGE).empty());
    EXPECT_EQ(b().PageControl.PageCount(), 2); // the chat stays open
}

// An older server drops the report unanswered: the bar goes on, and the
// server's thanks, when it has them, reach the ticker as any notice does.
TEST_F(ReportTest, AnOldServersSilenceLeavesTheBarWorking) {
    UsersMenu("bob", REPORT_SPAM_ITEM, 0);
    ASSERT_EQ(Reports().size(), 1u);
    ChatLine(ALICE, 0, "still here");
    ASSERT_FALSE(Texts(0).empty());
    EXPECT_NE(Texts(0).back().find("still here"), std::string::npos);
    b().Edit1Enter();
    b().Edit1.SetText("hello");
    b().sbSendTxtClick();
    EXPECT_EQ(Sent(REQ_CHAT_TEXT).size(), 1u);
}

// "Your friend %s is on this site." once per friend and site visit, however
// often the server says so (each window of the friend, each arrival); a new
// site is a new visit.
TEST_F(ReportTest, AFriendOnTheSiteIsToldOncePerVisit) {
    const std::string line = "Your friend bob is on this site.";
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    ASSERT_FALSE(b().msgQueue.empty());
    EXPECT_EQ(b().msgQueue.back().text, line);
    const size_t queued = b().msgQueue.size();
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    b().FriendHereReceived(TFriendHereMsg{ME, "me"});
    EXPECT_EQ(b().msgQueue.size(), queued);
    b().ResetPresence(); // another site
    const size_t before = b().msgQueue.size();
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    EXPECT_EQ(b().msgQueue.size(), before + 1);
    EXPECT_EQ(b().msgQueue.back().text, line);
}

// The options menu's privacy items: kept in the settings, sent at once and
// at every sign-in; "Visible to friends" only means something while
// invisible, and "Tell my friends where I am" is off while invisible.
TEST_F(ReportTest, PrivacyItemsAreKeptAndSent) {
    auto choose = [&](int16_t id) {
        tk.menus.choices = {id};
        b().sbNavletClick(TNavlet::TNavletSender::NavletBtn, 0, 0);
    };
    choose(210); // Invisible
    ASSERT_EQ(Sent(REQ_PRIVACY).size(), 1u);
    EXPECT_EQ(ReadPrivacy(Sent(REQ_PRIVACY)[0]), PRIVACY_INVISIBLE | PRIVACY_TELL_FRIENDS);
    choose(0);
    EXPECT_FALSE(b().optionsMenu->Item(212)->checked);
    EXPECT_FALSE(b().optionsMenu->Item(212)->enabled);
    EXPECT_TRUE(b().optionsMenu->Item(211)->enabled);
    choose(211);
    EXPECT_EQ(ReadPrivacy(Sent(REQ_PRIVACY).back()),
              PRIVACY_INVISIBLE | PRIVACY_VISIBLE_TO_FRIENDS | PRIVACY_TELL_FRIENDS);

    // What the settings hold comes back in a bar of its own.
    b().invisible = false;
    b().visibleToFriends = false;
    b().SyncPrivacySettings(-1);
    EXPECT_TRUE(b().invisible);
    EXPECT_TRUE(b().visibleToFriends);
    EXPECT_TRUE(b().tellFriends);
}

} // namespace
} // namespace navlet::testing
