// Ignore and block in the bar: the users menu and a private chat member's
// menu, the muted entry, and a server that knows nothing of them.
#include "client/core/lists.h"
#include "tests/core/chats_test_support.h"

namespace navlet::testing {
namespace {

constexpr uint16_t IGNORE_ITEM = 106;
constexpr uint16_t BLOCK_ITEM = 107;

class MarksTest : public AliceAndBobTest {
  protected:
    void SetUp() override {
        AliceAndBobTest::SetUp();
        Socket().ClearSent();
    }
    // Opens the users menu on `nick`, choosing `choice`; the captions and
    // enabled states of its ignore and block items as shown.
    std::vector<std::pair<std::string, bool>> UsersMenu(const std::string& nick,
                                                        int16_t choice = 0) {
        Select(nick);
        tk.menus.choices = {choice};
        bool handled = false;
        b().lvUsersPopup(4, 30, handled);
        std::vector<std::pair<std::string, bool>> out;
        for (const TBarMenuItem& item : tk.menus.shown.back().items)
            if (item.id == IGNORE_ITEM || item.id == BLOCK_ITEM)
                out.emplace_back(item.caption, item.enabled);
        return out;
    }
    // The mark requests sent so far: (type, user, operation).
    std::vector<std::tuple<uint8_t, UserId, uint8_t>> MarkRequests() {
        std::vector<std::tuple<uint8_t, UserId, uint8_t>> out;
        for (const TPacket& p : Socket().SentPackets())
            if (p.Type() == REQ_IGNORE_CHANGE || p.Type() == REQ_BLOCK_CHANGE)
                out.emplace_back(p.Type(), ReadMarkChange(p).user, ReadMarkChange(p).operation);
        return out;
    }
    int32_t ImageOf(UserId user) { return b().lvUsers.Item(b().FindUser(user)).stateIndex; }
};

// The users menu offers each change by the user's mark; ignoring mutes the
// entry with the greyed image (there is no art of its own for it), and a
// block, which holds the ignoring, is only undone by unblocking.
TEST_F(MarksTest, TheUsersMenuIgnoresAndBlocksAndMutesTheEntry) {
    using TItems = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(UsersMenu("me"), (TItems{{"Ignore this user", false}, {"Block this user", false}}));
    EXPECT_EQ(UsersMenu("bob", IGNORE_ITEM),
              (TItems{{"Ignore this user", true}, {"Block this user", true}}));
    EXPECT_EQ(ImageOf(BOB), giMaleOffline);
    EXPECT_EQ(ImageOf(ALICE), giFemale);
    EXPECT_EQ(UsersMenu("bob", IGNORE_ITEM),
              (TItems{{"Stop ignoring", true}, {"Block this user", true}}));
    EXPECT_EQ(ImageOf(BOB), giMale);
    UsersMenu("bob", BLOCK_ITEM);
    EXPECT_EQ(UsersMenu("bob"), (TItems{{"Ignore this user", false}, {"Unblock", true}}));
    EXPECT_EQ(UsersMenu("bob", BLOCK_ITEM),
              (TItems{{"Ignore this user", false}, {"Unblock", true}}));
    EXPECT_EQ(b().MarkOf(BOB), MARK_NONE);
    EXPECT_EQ(MarkRequests(), (std::vector<std::tuple<uint8_t, UserId, uint8_t>>{
                                  {REQ_IGNORE_CHANGE, BOB, MARK_SET},
                                  {REQ_IGNORE_CHANGE, BOB, MARK_CLEAR},
                                  {REQ_BLOCK_CHANGE, BOB, MARK_SET},
                                  {REQ_BLOCK_CHANGE, BOB, MARK_CLEAR}}));
}

// The sign-in's list marks people who arrive later, the server's word
// overrides the bar's guess (a refused change comes back as it holds), and
// the next connection starts without marks until the server sends them.
TEST_F(MarksTest, TheServersMarksShowOnArrivalAndOverrideTheBarsGuess) {
    b().MarkReceived(TMarkMsg{30, MARK_IGNORED, "cid"});
    b().MarkReceived(TMarkMsg{ME, MARK_BLOCKED, "me"}); // never oneself
    Presence(30, "cid", 'x');
    EXPECT_EQ(ImageOf(30), giOtherOffline);
    EXPECT_EQ(ImageOf(ME), giMale);

    UsersMenu("Alice", IGNORE_ITEM);
    b().MarkReceived(TMarkMsg{ALICE, MARK_NONE, "Alice"}); // the list was full
    EXPECT_EQ(ImageOf(ALICE), giFemale);
    EXPECT_EQ(b().MarkOf(ALICE), MARK_NONE);

    b().ClearPeopleLists();
    EXPECT_EQ(b().MarkOf(30), MARK_NONE);
}

// A private chat's member menu blocks that member: the tab is left once the
// menu's click is over, and the server is told of both.
TEST_F(MarksTest, BlockingAChatMemberLeavesTheChatsSharedWithThem) {
    Joined(ALICE, 0x5501);
    Joined(BOB, 0x6601);
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    ASSERT_EQ(b().PageControl.PageCount(), 3);
    Socket().ClearSent();

    bool handled = false;
    tk.menus.choices = {10 + 1}; // the first member's block item
    b().ChatContextPopup(*b().PageControl.Page(1).view, 30, 40, handled);
    const auto& items = tk.menus.shown.back().items;
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[5].caption, "Alice"); // a submenu per member
    EXPECT_EQ(b().MarkOf(ALICE), MARK_BLOCKED);
    EXPECT_EQ(b().PageControl.PageCount(), 3);
    tk.time.Advance(1);
    EXPECT_EQ(b().PageControl.PageCount(), 2); // bob's chat stays
    ASSERT_EQ(Sent(REQ_LEAVE_CHAT).size(), 1u);
    EXPECT_EQ(ReadChatAddressRequest(Sent(REQ_LEAVE_CHAT)[0]).Chat(), 0x5501u);
    EXPECT_EQ(MarkRequests(), (std::vector<std::tuple<uint8_t, UserId, uint8_t>>{
                                  {REQ_BLOCK_CHANGE, ALICE, MARK_SET}}));
}

// An older bar never sends these requests: nothing else the bar does sends
// them. An older server drops them unanswered: the bar keeps its own guess
// and goes on working.
TEST_F(MarksTest, OnlyTheMenusSendThemAndAnOldServersSilenceLeavesTheBarWorking) {
    b().Edit1Enter();
    b().Edit1.SetText("hi");
    b().sbSendTxtClick();
    tk.time.Advance(2000);
    b().AddFriend(b().lvUsers.Item(b().FindUser(BOB)));
    b().UserLeftSite(TUserLeftMsg{ALICE});
    Presence(ALICE, "Alice", 'f');
    EXPECT_TRUE(MarkRequests().empty());

    UsersMenu("Alice", BLOCK_ITEM); // no answer comes
    EXPECT_EQ(b().MarkOf(ALICE), MARK_BLOCKED);
    EXPECT_EQ(ImageOf(ALICE), giFemaleOffline);
    ChatLine(ALICE, 0, "still shown");
    ASSERT_FALSE(Texts(0).empty());
    EXPECT_NE(Texts(0).back().find("still shown"), std::string::npos);
    const size_t said = Sent(REQ_CHAT_TEXT).size();
    b().Edit1.SetText("hello");
    b().sbSendTxtClick();
    EXPECT_EQ(Sent(REQ_CHAT_TEXT).size(), said + 1);
}

} // namespace
} // namespace navlet::testing
