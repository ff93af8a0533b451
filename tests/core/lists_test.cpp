#include "tests/core/chats_test_support.h"

namespace navlet::testing {
namespace {

using ListsTest = ChatsTest;

TEST_F(ListsTest, OwnRecordConfirmsTheSignInOnce) {
    const int32_t logins = loginCount;
    b().serverStatus = "maintenance";
    b().edPwd.SetText("secret");
    SignIn("Me");

    EXPECT_TRUE(b().loggedIn);
    EXPECT_EQ(loginCount, logins + 1);
    EXPECT_EQ(b().myUserId, ME);
    EXPECT_EQ(b().myChatKey, MY_KEY);
    EXPECT_EQ(b().myNick, "Me");
    EXPECT_EQ(b().serverStatus, "");
    EXPECT_EQ(b().edPwd.Text(), "");
    EXPECT_EQ(b().PageControl.Page(0).tag->ownUserId, ME);
    EXPECT_EQ(b().BannerPanel.Mode(), bmDefault);
    EXPECT_EQ(b().LEDBtn.Glyph(), glLedSignedIn);
    EXPECT_EQ(Captions(b().lvUsers), (std::vector<std::string>{"Me"}));
    ASSERT_NE(QueuedLine("You're connected"), nullptr);
    EXPECT_EQ(QueuedLine("You're connected")->kind, mkStatus);

    // Signed in already: a later own record (a new site) posts nothing.
    b().ResetPresence();
    b().PostMsg(mkStatus, 0, "elsewhere");
    SignIn("Me");
    EXPECT_EQ(QueuedLine("You're connected"), nullptr);
    EXPECT_EQ(loginCount, logins + 2);
    EXPECT_EQ(b().lvUsers.Count(), 1);
}

TEST_F(ListsTest, TheGreetingHoldsItsTurnBeforeThePeopleCountTakesTheLine) {
    auto shown = [&] { return std::get<TTextOut>(b().msgImage->ops[16]).text; };
    SignIn();
    Presence(20, "alice"); // the list fills at once after the own record
    Presence(21, "bob");
    EXPECT_EQ(shown(), "You're connected");
    tk.time.Advance(3499);
    EXPECT_EQ(shown(), "You're connected");
    tk.time.Advance(1);
    EXPECT_EQ(shown(), "Navlet people online here: 3");
    Presence(22, "carol");
    EXPECT_EQ(shown(), "Navlet people online here: 4");
}

TEST_F(ListsTest, ALineWithButtonsEndsTheGreetingsTurn) {
    SignIn();
    Presence(20, "alice");
    b().ShowCall("alice", "alice is looking for you!", "site.test");
    const TDisplayList& image = *b().msgImage;
    const auto* beside = std::get_if<TTextOut>(&image.ops.back());
    ASSERT_NE(beside, nullptr);
    EXPECT_EQ(beside->text, "Navlet people online here: 2");
}

TEST_F(ListsTest, RecordsForListedUsersAreIgnoredAndFriendsTakeTheirNewState) {
    SignIn();
    Presence(20, "alice", 'f');
    Presence(20, "alice2", 'm');
    EXPECT_EQ(Captions(b().lvUsers), (std::vector<std::string>{"alice", "me"}));
    EXPECT_EQ(Images(b().lvUsers), (std::vector<int32_t>{giFemale, giMale}));

    Presence(30, "bob", 'x', 0, LIST_FRIEND_OFFLINE);
    Presence(31, "bob", 'f', 0, LIST_FRIEND_ONLINE); // another account, the same nick
    EXPECT_EQ(Captions(b().lvFriends), (std::vector<std::string>{"bob", "bob"}));
    EXPECT_EQ(Images(b().lvFriends), (std::vector<int32_t>{giOtherOffline, giFemale}));
    ASSERT_EQ(b().cbSearch.ItemCount(), 2);
    EXPECT_EQ(b().cbSearch.Item(0).imageIndex, giOther);
    EXPECT_EQ(QueuedLine("Your friend bob is online"), nullptr); // the sign-in's list

    // Bob 30 comes online: his entry changes and one line names him.
    Presence(30, "bob", 'x', 0, LIST_FRIEND_ONLINE);
    EXPECT_EQ(Images(b().lvFriends), (std::vector<int32_t>{giOther, giFemale}));
    EXPECT_EQ(b().cbSearch.ItemCount(), 2);
    ASSERT_NE(QueuedLine("Your friend bob is online"), nullptr);
    EXPECT_EQ(QueuedLine("Your friend bob is online")->kind, mkNotice);
    b().msgQueue.clear();
    Presence(30, "bob", 'x', 0, LIST_FRIEND_ONLINE); // still online: no second line
    EXPECT_EQ(QueuedLine("Your friend bob is online"), nullptr);
    Presence(30, "bob", 'x', 0, LIST_FRIEND_OFFLINE);
    EXPECT_EQ(Images(b().lvFriends), (std::vector<int32_t>{giOtherOffline, giFemale}));
    // Friends are not users of the site.
    EXPECT_EQ(b().lvUsers.Count(), 2);
    EXPECT_EQ(b().FindUser(30), -1);
}

TEST_F(ListsTest, ListsStaySortedByteWiseAndTheTickerCountsEveryEntry) {
    SignIn("me");
    Presence(21, "bob");
    Presence(22, "Zed");
    Presence(23, "alice");
    Presence(24, "Alice");
    EXPECT_EQ(Captions(b().lvUsers),
              (std::vector<std::string>{"Alice", "Zed", "alice", "bob", "me"}));
    // The own entry counts among the people.
    b().PostMsg(mkStatus, 0, "You're connected");
    EXPECT_EQ(std::get<TTextOut>(b().msgImage->ops[16]).text, "Navlet people online here: 5");
    // Ids follow their entries wherever sorting put them.
    EXPECT_EQ(b().lvUsers.Item(b().FindUser(22)).caption, "Zed");

    b().lvUsers.Update(0, [](TListItem& item) { item.caption = "zz"; });
    EXPECT_EQ(b().lvUsers.Items().back().caption, "zz");
    EXPECT_EQ(b().lvUsers.Items().back().data, 24u);
}

TEST_F(ListsTest, MembersOfTheActiveChatAreMarkedForEveryGender) {
    SignIn();
    Presence(20, "alice", 'f');
    Presence(21, "bob", 'm');
    Presence(22, "cleo", 'x');
    b().InviteInNewPrivateChat(b().lvUsers.Item(b().FindUser(20)));
    b().InviteInActiveChat(b().lvUsers.Item(b().FindUser(22))); // public active: refused
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    b().InviteInActiveChat(b().lvUsers.Item(b().FindUser(22)));
    // alice, bob, cleo, me
    EXPECT_EQ(Images(b().lvUsers),
              (std::vector<int32_t>{giFemaleMember, giMale, giOtherMember, giMale}));

    b().PageControl.SetActivePageIndex(0);
    b().PageControlChange();
    EXPECT_EQ(Images(b().lvUsers), (std::vector<int32_t>{giFemale, giMale, giOther, giMale}));
    EXPECT_EQ(BaseGenderImage(giOtherMember), giOther);
}

TEST_F(ListsTest, UserLeavingTheSiteLeavesEveryPrivateChatFirst) {
    SignIn();
    Presence(20, "alice", 'f');
    Presence(21, "bob");
    Joined(20, 0x5501);
    Joined(21, 0x5501);
    Joined(20, 0x6601);

    b().UserLeftSite(TUserLeftMsg{20});
    EXPECT_EQ(b().FindUser(20), -1);
    EXPECT_EQ(b().PageControl.Page(1).tag->members, (std::vector<UserId>{21}));
    EXPECT_TRUE(b().PageControl.Page(2).tag->members.empty());
    EXPECT_EQ(Texts(1).back(), "alice [12:00] left this site");
    EXPECT_EQ(Texts(2).back(), "alice [12:00] left this site");

    // Never the own entry; nobody who is not listed.
    b().UserLeftSite(TUserLeftMsg{ME});
    b().UserLeftSite(TUserLeftMsg{99});
    EXPECT_EQ(b().lvUsers.Count(), 2);
}

TEST_F(ListsTest, LastOtherUserLeavingStopsTheBlinking) {
    SignIn();
    Presence(20, "alice");
    Presence(21, "bob");
    b().led_timer.SetEnabled(true);
    b().UserLeftSite(TUserLeftMsg{20});
    EXPECT_TRUE(b().led_timer.Enabled());       // two entries still
    b().SetBtnGlyph(b().LEDBtn, glLedSignedIn); // mid-blink
    b().UserLeftSite(TUserLeftMsg{21});
    EXPECT_FALSE(b().led_timer.Enabled());
    EXPECT_EQ(b().LEDBtn.Glyph(), glLedNews);
}

TEST_F(ListsTest, SiteChangeResetsPresenceButKeepsFriends) {
    SignIn();
    Presence(20, "alice");
    Presence(30, "friend", 'f', 0, 1);
    Joined(20, 0x5501);
    ChatLine(20, 0, "hello");
    b().PostMsg(mkNotice, 0, "a notice");
    b().PostMsg(mkInvite, 3, "an invitation");
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    Socket().ClearSent();

    b().ResetPresence();
    EXPECT_EQ(b().lvUsers.Count(), 0);
    EXPECT_EQ(b().PageControl.PageCount(), 1);
    EXPECT_EQ(b().PageControl.ActivePageIndex(), 0);
    EXPECT_EQ(b().Edit1.Color(), clWindow);
    EXPECT_EQ(View(0).LineCount(), 0);
    EXPECT_TRUE(Socket().Sent().empty()); // the server is not told of the closed chats
    for (const TMsgLine& line : b().msgQueue)
        EXPECT_EQ(line.kind, mkStatus);
    EXPECT_EQ(Captions(b().lvFriends), (std::vector<std::string>{"friend"}));

    // The new site's users arrive; the sign-in stays.
    SignIn();
    Presence(40, "carl");
    EXPECT_EQ(Captions(b().lvUsers), (std::vector<std::string>{"carl", "me"}));
    ChatLine(40, 0, "hi");
    EXPECT_EQ(Texts(0), (std::vector<std::string>{"carl [12:00] hi"}));
}

TEST_F(ListsTest, EndOfConnectionClearsBothListsAndTheDropDown) {
    SignIn();
    Presence(30, "friend", 'f', 0, 1);
    b().ClearPeopleLists();
    EXPECT_EQ(b().lvUsers.Count(), 0);
    EXPECT_EQ(b().lvFriends.Count(), 0);
    EXPECT_EQ(b().cbSearch.ItemCount(), 0);
}

} // namespace
} // namespace navlet::testing
