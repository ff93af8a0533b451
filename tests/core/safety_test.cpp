// Reporting a user from the bar: "Report this user..." in the users menu and
// a private chat member's menu opens the report box; its reason, its line of
// words and its "also ignore" make the request. Then friends on the site and
// the privacy items.
#include <algorithm>
#include <optional>

#include "client/core/lists.h"
#include "tests/core/chats_test_support.h"
#include "tests/support/host_fakes.h"

namespace navlet::testing {
namespace {

constexpr uint16_t REPORT_ITEM = 110;

class ReportTest : public AliceAndBobTest {
  protected:
    void SetUp() override {
        AliceAndBobTest::SetUp();
        Socket().ClearSent();
    }
    // Opens the users menu on `nick` and chooses `choice`.
    const TBarMenuItem* UsersMenu(const std::string& nick, int16_t choice, uint16_t look) {
        Select(nick);
        tk.menus.choices = {choice};
        bool handled = false;
        b().lvUsersPopup(4, 30, handled);
        return b().usersMenu->Item(look);
    }
    // The next report box answers with `reason` and `text`, and `alsoIgnore`
    // when given.
    void Answer(int reason, std::string text, std::optional<bool> alsoIgnore = std::nullopt) {
        tk.dialogs.reportAnswer = [=](TReportForm& form) {
            form.reason = reason;
            form.text = text;
            if (alsoIgnore)
                form.alsoIgnore = *alsoIgnore;
        };
    }
    std::vector<TReportRequest> Reports() {
        std::vector<TReportRequest> out;
        for (const TPacket& p : Sent(REQ_REPORT))
            out.push_back(ReadReport(p));
        return out;
    }
};

// The box names the user and offers the four reasons; OK sends the reason
// and the words (one line) and ignores the user by default; the box's
// "also ignore" unchecked leaves the mark alone, and the next box remembers
// it. Oneself cannot be reported.
TEST_F(ReportTest, TheUsersMenuReportsThroughTheBoxAndIgnoresByDefault) {
    EXPECT_FALSE(UsersMenu("me", 0, REPORT_ITEM)->enabled);
    EXPECT_TRUE(UsersMenu("bob", 0, REPORT_ITEM)->enabled);
    EXPECT_TRUE(tk.dialogs.reportsShown.empty());

    Answer(REPORT_HARASSMENT, "rude\r\nagain\tand again");
    UsersMenu("bob", REPORT_ITEM, 0);
    ASSERT_EQ(tk.dialogs.reportsShown.size(), 1u);
    const TReportForm& shown = tk.dialogs.reportsShown[0];
    EXPECT_EQ(shown.caption, "Report bob");
    EXPECT_EQ(shown.reasons,
              (std::vector<std::string>{"Spam", "Harassment", "Illegal content", "Other"}));
    EXPECT_EQ(shown.reason, -1);
    EXPECT_EQ(shown.textMaxLength, REPORT_TEXT_FIELD - 1);
    EXPECT_TRUE(shown.alsoIgnore);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].user, BOB);
    EXPECT_EQ(Reports()[0].reason, REPORT_HARASSMENT);
    EXPECT_EQ(Reports()[0].text, "rude  again and again");
    EXPECT_EQ(b().MarkOf(BOB), MARK_IGNORED);
    ASSERT_EQ(Sent(REQ_IGNORE_CHANGE).size(), 1u);

    Answer(REPORT_OTHER, "", /*alsoIgnore=*/false);
    UsersMenu("Alice", REPORT_ITEM, 0);
    EXPECT_EQ(b().MarkOf(ALICE), MARK_NONE);
    EXPECT_EQ(Reports().back().user, ALICE);
    EXPECT_EQ(Reports().back().text, "");
    EXPECT_EQ(Sent(REQ_IGNORE_CHANGE).size(), 1u);
    EXPECT_TRUE(Sent(REQ_BLOCK_CHANGE).empty());
    UsersMenu("Alice", REPORT_ITEM, 0);
    EXPECT_FALSE(tk.dialogs.reportsShown.back().alsoIgnore);
}

// Cancel, OK without a reason, and a session that ended while the box was
// open send nothing and mark nobody.
TEST_F(ReportTest, NothingIsSentWithoutAReasonAnOkOrASession) {
    Answer(REPORT_SPAM, "x");
    tk.dialogs.result = 0;
    UsersMenu("bob", REPORT_ITEM, 0);
    tk.dialogs.result = MODAL_RESULT_OK;
    Answer(-1, "no reason");
    UsersMenu("bob", REPORT_ITEM, 0);
    tk.dialogs.reportAnswer = [&](TReportForm& form) {
        form.reason = REPORT_SPAM;
        b().SwitchSession(false);
    };
    UsersMenu("bob", REPORT_ITEM, 0);
    EXPECT_EQ(tk.dialogs.reportsShown.size(), 3u);
    EXPECT_TRUE(Reports().empty());
    EXPECT_TRUE(Sent(REQ_IGNORE_CHANGE).empty());
    EXPECT_EQ(b().MarkOf(BOB), MARK_NONE);
}

// The words fill the request's field at most, cut between characters: on a
// UTF-8 session by bytes, on a Windows-1252 session after the conversion.
TEST_F(ReportTest, TheWordsAreCutBetweenCharactersToTheField) {
    tk.metrics.code = TTextCode::Utf8;
    b().wireCode = TTextCode::Utf8;
    std::string words(REPORT_TEXT_FIELD - 2, 'a'); // one byte of room left
    words += "é and more";
    Answer(REPORT_SPAM, words, /*alsoIgnore=*/false);
    UsersMenu("bob", REPORT_ITEM, 0);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].text, std::string(REPORT_TEXT_FIELD - 2, 'a'));

    b().wireCode = TTextCode::Cp1252;
    Answer(REPORT_SPAM, words);
    UsersMenu("bob", REPORT_ITEM, 0);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[1].text, std::string(REPORT_TEXT_FIELD - 2, 'a') + "\xE9");
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
    Answer(REPORT_ILLEGAL, "");
    tk.menus.choices = {int16_t(100 + 1)}; // the second member's
    b().ChatContextPopup(*b().PageControl.Page(1).view, 30, 40, handled);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].user, BOB);
    EXPECT_EQ(Reports()[0].reason, REPORT_ILLEGAL);
    EXPECT_EQ(b().MarkOf(BOB), MARK_BLOCKED);
    EXPECT_TRUE(Sent(REQ_IGNORE_CHANGE).empty());
    EXPECT_EQ(b().PageControl.PageCount(), 2); // the chat stays open
}

// An older server drops the report unanswered: the bar goes on, and the
// server's thanks, when it has them, reach the ticker as any notice does.
TEST_F(ReportTest, AnOldServersSilenceLeavesTheBarWorking) {
    Answer(REPORT_SPAM, "");
    UsersMenu("bob", REPORT_ITEM, 0);
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

// The friends panel shows a friend here from the friend-here message until
// either of us moves on: the friend leaves the site or goes offline, or the
// bar goes to another site or pauses. Only the first arrival says "online".
TEST_F(ReportTest, TheFriendsPanelShowsAFriendHereUntilEitherMovesOn) {
    constexpr UserId CARL = 23;
    auto image = [&] { return b().lvFriends.Item(0).stateIndex; };
    auto onlineNotices = [&] {
        return std::count_if(b().msgQueue.begin(), b().msgQueue.end(), [](const TMsgLine& l) {
            return l.text.find("is online") != std::string::npos;
        });
    };
    Presence(BOB, "bob", 'm', 0, LIST_FRIEND_ONLINE);
    ASSERT_EQ(image(), giMale);
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    EXPECT_EQ(image(), giMaleHere);
    b().UserLeftSite(TUserLeftMsg{BOB});
    EXPECT_EQ(image(), giMale);
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    EXPECT_EQ(image(), giMaleHere);
    const auto notices = onlineNotices();
    Presence(BOB, "bob", 'm', 0, LIST_FRIEND_ONLINE); // another window of his
    EXPECT_EQ(image(), giMaleHere);
    EXPECT_EQ(onlineNotices(), notices);
    b().ResetPresence(); // this bar on another site
    EXPECT_EQ(image(), giMale);
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    Presence(BOB, "bob", 'm', 0, LIST_FRIEND_OFFLINE);
    EXPECT_EQ(image(), giMaleOffline);
    Presence(BOB, "bob", 'm', 0, LIST_FRIEND_ONLINE);
    EXPECT_EQ(image(), giMale); // online elsewhere until told again
    b().FriendHereReceived(TFriendHereMsg{BOB, "bob"});
    TRecordingHostControl newTab("chrome://newtab/");
    b().AttachHost(newTab);
    b().CheckSiteUrl(); // paused: on no site
    b().DetachHost();
    EXPECT_EQ(image(), giMale);

    // Told before his record came: the new entry shows him here at once.
    b().FriendHereReceived(TFriendHereMsg{CARL, "carl"});
    Presence(CARL, "carl", 'f', 0, LIST_FRIEND_ONLINE);
    EXPECT_EQ(b().lvFriends.Item(1).stateIndex, giFemaleHere);
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
