// The users and friends menus, the search panel and the keys typed into it,
// through the handlers the kit calls.
#include "client/core/actions.h"
#include "tests/core/chats_test_support.h"

namespace navlet::testing {
namespace {

class PeopleActionsTest : public AliceAndBobTest {
  protected:
    // Opens the users menu on `nick` choosing `choice` and returns the
    // enabled state of the four items as the menu showed them.
    std::vector<bool> OpenUsersMenu(const std::string& nick, int16_t choice = 0) {
        Select(nick);
        tk.menus.choices = {choice};
        bool handled = false;
        b().lvUsersPopup(4, 30, handled);
        EXPECT_TRUE(handled);
        std::vector<bool> enabled;
        for (const TBarMenuItem& item : tk.menus.shown.back().items)
            if (enabled.size() < 4) // ignore and block are the marks test's
                enabled.push_back(item.enabled);
        return enabled;
    }
    bool Enabled102(const std::string& nick) { return OpenUsersMenu(nick)[1]; }
};

TEST_F(PeopleActionsTest, UsersMenuOpensBelowTheSelectedEntryOnlyWithASelection) {
    bool handled = false;
    b().lvUsersPopup(0, 0, handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(tk.menus.shown.empty());

    OpenUsersMenu("bob");
    ASSERT_EQ(tk.menus.shown.size(), 1u);
    EXPECT_EQ(tk.menus.shown[0].x, 4);
    EXPECT_EQ(tk.menus.shown[0].y, 30 + 13);
    EXPECT_EQ(tk.menus.shown[0].control, &b().lvUsers);
    // The own entry: only the profile.
    EXPECT_EQ(OpenUsersMenu("me"), (std::vector<bool>{true, false, false, false}));
}

TEST_F(PeopleActionsTest, InviteHereIsDisabledOnThePublicTabAndNewChatFollowsOneToOneChats) {
    EXPECT_EQ(OpenUsersMenu("bob"), (std::vector<bool>{true, true, false, true}));

    OpenUsersMenu("bob", /*choice=*/102);
    ASSERT_EQ(b().PageControl.PageCount(), 2);
    const ChatId chat = b().PageControl.Page(1).tag->chatId;
    EXPECT_EQ(chat, MY_KEY << 8 | 1);
    ASSERT_EQ(Sent(REQ_INVITE).size(), 1u);
    EXPECT_EQ(ReadChatAddressRequest(Sent(REQ_INVITE)[0]), MakeChatAddress(BOB, chat));
    EXPECT_FALSE(Enabled102("bob"));
    EXPECT_TRUE(Enabled102("Alice"));

    // Alice joins the chat with bob: it is no longer one-to-one.
    b().PageControl.Page(1).tag->members.push_back(ALICE);
    EXPECT_TRUE(Enabled102("bob"));
}

TEST_F(PeopleActionsTest, InvitingIntoOwnChatNamesItAGroupButNotSomebodyElsesChat) {
    OpenUsersMenu("bob", 102);
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    // bob is a member already; Alice is not.
    EXPECT_FALSE(OpenUsersMenu("bob")[2]);
    EXPECT_TRUE(OpenUsersMenu("Alice")[2]);
    OpenUsersMenu("Alice", 103);
    EXPECT_EQ(b().PageControl.Page(1).caption, "me's group");
    EXPECT_EQ(b().PageControl.Page(1).tag->members, (std::vector<UserId>{BOB, ALICE}));

    // A chat Alice started and invited us to.
    const ChatId hers = ChatId(0x55) << 8 | 3;
    Joined(ALICE, hers);
    b().PageControl.SetActivePageIndex(2);
    b().PageControlChange();
    OpenUsersMenu("bob", 103);
    EXPECT_EQ(b().PageControl.Page(2).caption, "Alice");
    EXPECT_EQ(Sent(REQ_INVITE).size(), 3u);
}

TEST_F(PeopleActionsTest, AddingAFriendDisablesAddForEveryCaseVariantOfTheNick) {
    Presence(23, "BOB");
    OpenUsersMenu("bob", 105);
    ASSERT_EQ(Sent(REQ_FRIEND_CHANGE).size(), 1u);
    const TFriendChangeRequest sent = ReadFriendChange(Sent(REQ_FRIEND_CHANGE)[0]);
    EXPECT_EQ(sent.friendId, BOB);
    EXPECT_EQ(sent.operation, FRIEND_ADD);
    EXPECT_EQ(Captions(b().lvFriends), std::vector<std::string>{"bob"});
    ASSERT_EQ(b().cbSearch.ItemCount(), 1);
    EXPECT_EQ(b().cbSearch.Item(0).caption, "bob");
    EXPECT_FALSE(OpenUsersMenu("bob")[3]);
    EXPECT_FALSE(OpenUsersMenu("BOB")[3]);
    EXPECT_TRUE(OpenUsersMenu("Alice")[3]);
}

TEST_F(PeopleActionsTest, FriendsMenuDeletesAndSearchesTheSelectedFriend) {
    Presence(31, "Carol", 'f', 0, /*listFlag=*/1);
    Presence(32, "dave", 'm', 0, /*listFlag=*/1);
    b().lvFriends.SetSelected(1);
    tk.menus.choices = {502};
    bool handled = false;
    b().lvFriendsPopup(2, 10, handled);
    EXPECT_EQ(tk.menus.shown.back().y, 23);
    ASSERT_EQ(Sent(REQ_FRIEND_CHANGE).size(), 1u);
    EXPECT_EQ(ReadFriendChange(Sent(REQ_FRIEND_CHANGE)[0]).operation, FRIEND_REMOVE);
    EXPECT_EQ(Captions(b().lvFriends), std::vector<std::string>{"Carol"});
    ASSERT_EQ(b().cbSearch.ItemCount(), 1);
    EXPECT_TRUE(b().BannerTimer.Enabled());

    b().lvFriends.SetSelected(0);
    tk.menus.choices = {503};
    b().lvFriendsPopup(2, 10, handled);
    EXPECT_EQ(b().BannerPanel.Mode(), bmSearch);
    EXPECT_EQ(b().cbSearch.ItemIndex(), 0);
    EXPECT_EQ(b().cbSearch.Text(), "Carol");
    EXPECT_EQ(b().ActiveControl.Target(), ftEdSearchMsg);

    // Closed without a choice: the panel stays until a key or another panel.
    tk.menus.choices = {0};
    b().lvFriendsPopup(2, 10, handled);
    EXPECT_FALSE(b().BannerTimer.Enabled());
}

TEST_F(PeopleActionsTest, EnterInTheNickBoxMovesToTheMessageBoxThenSearchesTheTrimmedNick) {
    b().SearchBtnClick();
    EXPECT_EQ(b().BannerPanel.Mode(), bmSearch);
    EXPECT_EQ(b().ActiveControl.Target(), ftCbSearch);
    b().cbSearch.SetText("  zed\t ");
    const TKeyMessage enter{WM_KEYDOWN_MSG, VK_ENTER};
    b().TranslateAcceleratorIO(enter);
    EXPECT_EQ(b().ActiveControl.Target(), ftEdSearchMsg);
    EXPECT_TRUE(Sent(REQ_FIND_USER).empty());
    b().TranslateAcceleratorIO(enter);
    ASSERT_EQ(Sent(REQ_FIND_USER).size(), 1u);
    EXPECT_EQ(ReadFindUser(Sent(REQ_FIND_USER)[0]).nick, "zed");
    EXPECT_EQ(b().BannerPanel.Mode(), bmDefault);

    b().ShowSearchPanel();
    b().cbSearch.SetText("zed");
    b().edSearchMsg.SetText(" hello ");
    b().sbSearch.OnClick();
    ASSERT_EQ(Sent(REQ_FIND_USER_WITH_MESSAGE).size(), 1u);
    const TFindUserRequest withMessage = ReadFindUser(Sent(REQ_FIND_USER_WITH_MESSAGE)[0]);
    EXPECT_EQ(withMessage.nick, "zed");
    EXPECT_EQ(withMessage.message, "hello");
}

TEST_F(PeopleActionsTest, SearchingForSomebodyOnTheSiteSelectsThemAndSendsNothing) {
    b().ShowSearchPanel();
    b().cbSearch.SetText("alice");
    b().edSearchMsg.SetText("hi");
    b().sbSearchClick();
    EXPECT_TRUE(Sent(REQ_FIND_USER_WITH_MESSAGE).empty());
    EXPECT_EQ(b().lvUsers.Item(b().lvUsers.Selected()).caption, "Alice");
    EXPECT_EQ(b().ActiveControl.Target(), ftLvUsers);
    EXPECT_NE(QueuedLine("the user is already on this site"), nullptr);
}

TEST_F(PeopleActionsTest, EscapeReturnsToTheBannerAndOtherKeysKeepThePanelThirtySeconds) {
    b().ShowSearchPanel();
    tk.time.Advance(20000);
    b().OnBnrPnlKeyPress('a');
    tk.time.Advance(20000);
    EXPECT_TRUE(b().BannerTimer.Enabled());
    b().OnBnrPnlKeyPress(27);
    EXPECT_EQ(b().BannerPanel.Mode(), bmDefault);
    EXPECT_FALSE(b().BannerTimer.Enabled());
}

TEST_F(PeopleActionsTest, FriendsPanelOnlyWhileSignedIn) {
    b().FriendsBtnClick();
    EXPECT_EQ(b().BannerPanel.Mode(), bmFriends);
    EXPECT_TRUE(b().BannerTimer.Enabled());
    b().loggedIn = false;
    b().SetBannerMode(bmDefault);
    b().FriendsBtnClick();
    b().SearchBtnClick();
    EXPECT_EQ(b().BannerPanel.Mode(), bmDefault);
}

TEST(ActionHelpersTest, ProfileAddressesPrintIdsAboveTwoToTheSixtyThirdUnsigned) {
    const uint64_t big = 0x8000000000000001ull;
    EXPECT_EQ(ProfileAddress("web.example", 16, big),
              "web.example/viewprofile.asp?idLocale=16&idUtente=9223372036854775809");
    EXPECT_EQ(UpdateProfileAddress("web.example", 9, ~uint64_t(0)),
              "web.example/updateprofile.asp?idLocale=9&idUtente=18446744073709551615");
}

} // namespace
} // namespace navlet::testing
