#include <cmath>
#include <limits>

#include "tests/core/chats_test_support.h"

namespace navlet::testing {
namespace {

using ChatsViewTest = ChatsTest;

TEST_F(ChatsViewTest, ConversationKeepsItsLastThirtyLines) {
    SignIn();
    Presence(20, "alice");
    for (int i = 1; i <= 30; ++i)
        ChatLine(20, 0, "line " + std::to_string(i));
    EXPECT_EQ(View(0).LineCount(), 30);
    ChatLine(20, 0, std::string(500, 'w')); // wraps on screen, still one line
    ChatLine(20, 0, "last");
    ASSERT_EQ(View(0).LineCount(), 30);
    EXPECT_EQ(Texts(0).front(), "alice [12:00] line 3");
    EXPECT_EQ(Texts(0).back(), "alice [12:00] last");
    // The view is asked to show its end, with the caret there and nothing selected.
    EXPECT_EQ(View(0).ScrollRequests(), 32);
    EXPECT_EQ(View(0).SelStart(), View(0).Text().size());
    EXPECT_EQ(View(0).SelLength(), 0u);
}

TEST_F(ChatsViewTest, AReaderScrolledUpKeepsThePlaceAndTheEndIsFollowedOtherwise) {
    SignIn();
    Presence(20, "alice");
    ChatLine(20, 0, "one");
    bool atEnd = false;
    View(0).IsAtEnd = [&atEnd] { return atEnd; };
    View(0).SetSelection(0, 3); // the reader marks "ali"
    const int requests = View(0).ScrollRequests();
    ChatLine(20, 0, "two");
    EXPECT_EQ(View(0).ScrollRequests(), requests);
    EXPECT_EQ(View(0).SelStart(), 0u);
    EXPECT_EQ(View(0).SelLength(), 3u);
    atEnd = true;
    ChatLine(20, 0, "three");
    EXPECT_EQ(View(0).ScrollRequests(), requests + 1);
    EXPECT_EQ(View(0).SelStart(), View(0).Text().size());
    View(0).IsAtEnd = nullptr;
}

TEST_F(ChatsViewTest, LineRunsCarryNickTimeAndTextStyles) {
    SignIn();
    Presence(20, "alice");
    ChatLine(20, 0, "hello");
    ChatLine(0, 0, "server says");
    ChatLine(55, 0, "from nowhere");
    Joined(20, 0x5501);

    const auto& lines = View(0).Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].runs, (std::vector<TTextRun>{{"alice", clBlack, true, false},
                                                    {" [12:00] ", clBlack, false, true},
                                                    {"hello", clBlack, false, false}}));
    EXPECT_EQ(lines[1].runs, (std::vector<TTextRun>{{"admin", clMaroon, true, false},
                                                    {" [12:00] ", clMaroon, false, true},
                                                    {"server says", clMaroon, false, false}}));
    EXPECT_EQ(lines[2].Text(), "??? [12:00] from nowhere");
    // An event line is italic throughout.
    EXPECT_EQ(View(1).Lines()[0].runs,
              (std::vector<TTextRun>{{"alice", clBlack, false, true},
                                     {" [12:00] ", clBlack, false, true},
                                     {"invited you in this private chat", clBlack, false, true}}));
}

TEST_F(ChatsViewTest, DatedLinesShowTheDateOnlyForEarlierDays) {
    // The test clock is 2024-01-15 12:00 local, one hour ahead of UTC.
    b().DatedLineReceived(TDatedLineMsg{DateTimeOf(2024, 1, 15, 10, 30), "ann", "today"});
    b().DatedLineReceived(TDatedLineMsg{DateTimeOf(2024, 1, 14, 22, 5), "ann", "yesterday"});
    b().DatedLineReceived(TDatedLineMsg{DateTimeOf(2024, 1, 14, 23, 30), "ann", "local today"});
    b().DatedLineReceived(
        TDatedLineMsg{std::numeric_limits<double>::quiet_NaN(), "ann", "broken stamp"});
    EXPECT_EQ(Texts(0),
              (std::vector<std::string>{"ann [11:30] today", "ann 1/14/2024 [23:05] yesterday",
                                        "ann [00:30] local today", "ann [12:00] broken stamp"}));
    // A dated line is black under the sender's nick, though it comes from sender 0.
    EXPECT_EQ(View(0).Lines()[0].runs[0], (TTextRun{"ann", clBlack, true, false}));
    EXPECT_EQ(b().LEDBtn.Glyph(), glLedNews);
}

TEST_F(ChatsViewTest, ServerNoticesAreRoutedByKind) {
    ChatLine(0, 0x100, "status text");
    EXPECT_EQ(b().serverStatus, "status text");
    ChatLine(0, 0x2AB, "100% sure");
    ASSERT_NE(QueuedLine("100% sure"), nullptr); // taken literally, not as a format
    EXPECT_EQ(QueuedLine("100% sure")->kind, mkNotice);
    EXPECT_EQ(QueuedLine("100% sure")->buttons, 0);
    ChatLine(0, 0x304, "press OK");
    ASSERT_NE(QueuedLine("press OK"), nullptr);
    EXPECT_EQ(QueuedLine("press OK")->kind, mkServer);
    EXPECT_EQ(QueuedLine("press OK")->buttons, MSG_BTN_OK);
    EXPECT_EQ(ConsoleForm, nullptr);
    ChatLine(0, 0x400, "to the console");
    ASSERT_NE(ConsoleForm, nullptr);
    EXPECT_TRUE(ConsoleForm->Visible());
    EXPECT_EQ(ConsoleForm->Log(), (std::vector<std::string>{"to the console"}));
    const size_t queued = b().msgQueue.size();
    ChatLine(0, 0x500, "unknown kind");
    EXPECT_EQ(b().msgQueue.size(), queued);
    // No notice reached a conversation.
    EXPECT_EQ(View(0).LineCount(), 0);
}

TEST_F(ChatsViewTest, InactiveTabIsHighlightedUntilShown) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    EXPECT_TRUE(b().PageControl.Page(1).highlighted);
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    EXPECT_FALSE(b().PageControl.Page(1).highlighted);
    EXPECT_EQ(b().Edit1.Color(), Rgb(83, 172, 255));
    ChatLine(20, 0, "in public");
    EXPECT_TRUE(b().PageControl.Page(0).highlighted);
    ChatLine(20, 0x5501, "in private");
    EXPECT_FALSE(b().PageControl.Page(1).highlighted);
    b().PageControl.SetActivePageIndex(0);
    b().PageControlChange();
    EXPECT_FALSE(b().PageControl.Page(0).highlighted);
    EXPECT_EQ(b().Edit1.Color(), clWindow);
    // Lines for a chat with no tab are dropped.
    ChatLine(20, 0x7701, "nowhere");
    EXPECT_EQ(b().PageControl.PageCount(), 2);
}

TEST_F(ChatsViewTest, InvitationOpensATabAndTheSecondMemberMakesItAGroup) {
    SignIn();
    Presence(20, "alice");
    Presence(21, "bob");
    Joined(99, 0x5501); // not on the site
    EXPECT_EQ(b().PageControl.PageCount(), 1);
    EXPECT_TRUE(tk.sound.played.empty());

    Joined(20, 0x5501);
    ASSERT_EQ(b().PageControl.PageCount(), 2);
    EXPECT_EQ(tk.sound.played, (std::vector<std::string>{"MailBeep"}));
    EXPECT_EQ(b().PageControl.ActivePageIndex(), 0); // the new tab does not take the focus
    TTabSheet& tab = b().PageControl.Page(1);
    EXPECT_EQ(tab.caption, "alice");
    EXPECT_EQ(tab.tag->ownerId, 20u);
    EXPECT_EQ(tab.tag->ownUserId, ME);
    EXPECT_EQ(Texts(1),
              (std::vector<std::string>{"alice [12:00] invited you in this private chat"}));

    Joined(20, 0x5501);
    EXPECT_EQ(tab.tag->joinCount, 1);
    Joined(21, 0x5501);
    EXPECT_EQ(tab.caption, "alice's group");
    Joined(21, 0x5501);
    EXPECT_EQ(tab.caption, "alice's group");
    EXPECT_EQ(tab.tag->members, (std::vector<UserId>{20, 21}));

    b().MemberLeft(TMemberMsg{MakeChatAddress(21, 0x5501)});
    EXPECT_EQ(tab.tag->members, (std::vector<UserId>{20}));
    EXPECT_EQ(tab.tag->joinCount, 2);
    EXPECT_EQ(Texts(1).back(), "bob [12:00] left this chat");
}

TEST_F(ChatsViewTest, SendingTwiceWithinTwoSecondsSendsOnce) {
    SignIn();
    b().Edit1Enter();
    EXPECT_EQ(b().Edit1.Text(), "");
    EXPECT_EQ(b().Edit1.FontColor(), clBlack);
    b().Edit1.SetText("  hi there ");
    b().sbSendTxtClick();
    auto sent = Sent(REQ_CHAT_TEXT);
    ASSERT_EQ(sent.size(), 1u);
    const TChatTextRequest request = ReadChatText(sent[0]);
    EXPECT_EQ(request.text, "  hi there "); // as typed, blanks included
    EXPECT_EQ(request.address, MakeChatAddress(ME, 0));
    EXPECT_EQ(Texts(0), (std::vector<std::string>{"me [12:00]   hi there "}));
    EXPECT_EQ(b().Edit1.Text(), "");
    EXPECT_EQ(b().lastSendTime, tk.time.LocalNow());

    tk.time.Advance(1500);
    b().Edit1.SetText("again");
    b().sbSendTxtClick();
    EXPECT_EQ(Sent(REQ_CHAT_TEXT).size(), 1u);
    EXPECT_EQ(b().Edit1.FontColor(), clInactiveCaptionText);
    EXPECT_EQ(b().Edit1.Text(), "again");

    tk.time.Advance(500);
    EXPECT_FALSE(b().txt_timer.Enabled());
    EXPECT_EQ(b().Edit1.FontColor(), clWindowText);
    b().sbSendTxtClick();
    EXPECT_EQ(Sent(REQ_CHAT_TEXT).size(), 2u);
}

TEST_F(ChatsViewTest, NothingIsSentFromTheHintBlanksOrBeforeSignIn) {
    b().sbSendTxtClick(); // the grey hint
    b().Edit1Enter();
    b().Edit1.SetText("not yet");
    b().sbSendTxtClick(); // not signed in
    SignIn();
    b().Edit1.SetText(" \t  ");
    b().sbSendTxtClick();
    EXPECT_TRUE(Sent(REQ_CHAT_TEXT).empty());
    EXPECT_EQ(View(0).LineCount(), 0);
    EXPECT_FALSE(b().txt_timer.Enabled());
}

TEST_F(ChatsViewTest, PrivateChatsStopAfterTheModulesTwoHundredFiftyFifth) {
    SignIn();
    Presence(20, "alice");
    const TListItem alice = b().lvUsers.Item(b().FindUser(20));
    privateChatSeq = 254;
    b().InviteInNewPrivateChat(alice);
    ASSERT_EQ(b().PageControl.PageCount(), 2);
    const ChatTab& tab = *b().PageControl.Page(1).tag;
    EXPECT_EQ(tab.chatId, MY_KEY << 8 | 255);
    EXPECT_EQ(tab.ownerId, ME);
    EXPECT_EQ(tab.members, (std::vector<UserId>{20}));
    EXPECT_EQ(tab.joinCount, 0);
    auto invites = Sent(REQ_INVITE);
    ASSERT_EQ(invites.size(), 1u);
    EXPECT_EQ(ReadChatAddressRequest(invites[0]), MakeChatAddress(20, MY_KEY << 8 | 255));

    b().InviteInNewPrivateChat(alice);
    EXPECT_EQ(b().PageControl.PageCount(), 2);
    EXPECT_EQ(privateChatSeq, 255);
    ASSERT_NE(QueuedLine("Sorry, you've opened too many private chat in this window"), nullptr);
    // The own entry is refused too.
    privateChatSeq = 3;
    b().InviteInNewPrivateChat(b().lvUsers.Item(b().FindUser(ME)));
    EXPECT_EQ(privateChatSeq, 3);
}

TEST_F(ChatsViewTest, InvitingIntoTheOwnChatNamesItTheUsersGroup) {
    SignIn("me");
    Presence(20, "alice");
    Presence(21, "bob");
    b().InviteInNewPrivateChat(b().lvUsers.Item(b().FindUser(20)));
    Joined(22, 0x9901); // not listed: ignored
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    b().InviteInActiveChat(b().lvUsers.Item(b().FindUser(21)));
    EXPECT_EQ(b().PageControl.Page(1).caption, "me's group");
    EXPECT_EQ(Sent(REQ_INVITE).size(), 2u);
}

TEST_F(ChatsViewTest, ContextMenuClosesThePrivateTabOnMouseUp) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    Socket().ClearSent();

    bool handled = false;
    tk.menus.choices = {1};
    b().ChatContextPopup(*b().PageControl.Page(1).view, 30, 40, handled);
    EXPECT_TRUE(handled);
    ASSERT_EQ(tk.menus.shown.size(), 1u);
    const auto& shown = tk.menus.shown[0];
    EXPECT_EQ(shown.items[0].caption, "Close this private chat");
    EXPECT_TRUE(shown.items[0].enabled);
    EXPECT_EQ(shown.items[1].caption, ""); // separator
    EXPECT_EQ(shown.items[3].caption, "Copy entire conversation to clipboard");
    EXPECT_EQ(shown.x, 30);
    EXPECT_EQ(shown.control, b().PageControl.Page(1).view.get());
    // The menu took the button's release: the form hears it by itself, once
    // the kit's event is over, and the tab stays until then.
    EXPECT_EQ(b().PageControl.PageCount(), 2);
    tk.time.Advance(1);
    EXPECT_EQ(b().PageControl.PageCount(), 1);
    EXPECT_EQ(b().closingSheet, nullptr);
    EXPECT_EQ(b().Edit1.Color(), clWindow);
    auto leaves = Sent(REQ_LEAVE_CHAT);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(ReadChatAddressRequest(leaves[0]), MakeChatAddress(ME, 0x5501));
    b().ChatMouseUp(TMouseButton::mbLeft, 0, 0, 0); // nothing chosen: nothing happens
    tk.time.Advance(1);
    EXPECT_EQ(b().PageControl.PageCount(), 1);
    EXPECT_FALSE(b().mouseUp_timer.Enabled());
}

TEST_F(ChatsViewTest, AReleaseReportedInsideTheKitsEventClosesTheTabOnlyAfterIt) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    bool handled = false;
    tk.menus.choices = {1};
    b().ChatContextPopup(*b().PageControl.Page(1).view, 30, 40, handled);
    // A kit that still reports the release, from inside the widget's event:
    // the widget is still there when the call returns.
    b().ChatMouseUp(TMouseButton::mbRight, 0, 30, 40);
    b().ChatMouseUp(TMouseButton::mbLeft, 0, 30, 40);
    EXPECT_EQ(b().PageControl.PageCount(), 2);
    tk.time.Advance(1);
    EXPECT_EQ(b().PageControl.PageCount(), 1);
    EXPECT_EQ(Sent(REQ_LEAVE_CHAT).size(), 1u) << "closed once";
    EXPECT_FALSE(b().mouseUp_timer.Enabled()) << "the timer stops after its one tick";
}

TEST_F(ChatsViewTest, ContextMenuNeverClosesThePublicChat) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    bool handled = false;
    tk.menus.choices = {1};
    b().ChatContextPopup(b().PageControl, 0, 0, handled);
    EXPECT_EQ(tk.menus.shown[0].items[0].caption, "Close this public chat");
    EXPECT_FALSE(tk.menus.shown[0].items[0].enabled);
    EXPECT_EQ(b().closingSheet, nullptr);

    // A site change while the menu is open leaves the public tab active.
    b().PageControl.SetActivePageIndex(1);
    tk.menus.whileOpen = [&] { b().ResetPresence(); };
    tk.menus.choices = {1};
    b().ChatContextPopup(b().PageControl, 0, 0, handled);
    b().ChatMouseUp(TMouseButton::mbRight, 0, 0, 0);
    tk.time.Advance(1);
    EXPECT_EQ(b().PageControl.PageCount(), 1);
}

TEST_F(ChatsViewTest, ContextMenuCopiesTheSelectionOrTheWholeConversation) {
    SignIn();
    Presence(20, "alice");
    ChatLine(20, 0, "one");
    ChatLine(20, 0, "two");
    View(0).SetSelection(0, 5);
    bool handled = false;
    tk.menus.choices = {2, 3};
    b().ChatContextPopup(b().PageControl, 0, 0, handled);
    b().ChatContextPopup(b().PageControl, 0, 0, handled);
    EXPECT_EQ(tk.clipboard.texts,
              (std::vector<std::string>{"alice", "alice [12:00] one\nalice [12:00] two"}));
    EXPECT_EQ(View(0).SelLength(), View(0).Text().size()); // the selection stays
}

TEST_F(ChatsViewTest, AClosingTabClosedMeanwhileIsNotClosedTwice) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    b().PageControl.SetActivePageIndex(1);
    bool handled = false;
    tk.menus.choices = {1};
    b().ChatContextPopup(b().PageControl, 0, 0, handled);
    ASSERT_NE(b().closingSheet, nullptr);
    b().ResetPresence(); // the browser moved on before the release
    EXPECT_EQ(b().closingSheet, nullptr);
    b().ChatMouseUp(TMouseButton::mbRight, 0, 0, 0);
    tk.time.Advance(1);
    EXPECT_EQ(b().PageControl.PageCount(), 1);
}

TEST_F(ChatsViewTest, SearchAnswerForACallerKeepsOneLineWithTheNewestLink) {
    b().SearchAnswerReceived(TSearchAnswerMsg{-1, "ann", "http://a/1"});
    b().SearchAnswerReceived(TSearchAnswerMsg{-1, "ann", "http://a/2"});
    int lines = 0;
    for (const TMsgLine& line : b().msgQueue) {
        if (line.kind != mkInvite)
            continue;
        ++lines;
        EXPECT_EQ(line.text, "ann is looking for you!");
        EXPECT_EQ(line.buttons, MSG_BTN_ACCEPT | MSG_BTN_IGNORE);
        EXPECT_EQ(line.user, "ann");
        EXPECT_EQ(line.link, "http://a/2");
    }
    EXPECT_EQ(lines, 1);

    b().SearchAnswerReceived(TSearchAnswerMsg{0, "bob", ""});
    b().SearchAnswerReceived(TSearchAnswerMsg{3, "cid", ""});
    EXPECT_NE(QueuedLine("the user bob doesn't exist or is not online"), nullptr);
    EXPECT_NE(QueuedLine("cid is online. An invitation has been sent. Please wait for an answer."),
              nullptr);
}

TEST_F(ChatsViewTest, EachCallShowsItsOwnWordsAtOnceOnTheCallersOneLine) {
    b().LookingForYouReceived(TLookingForYouMsg{true, "ann", "100% hi", "http://a"});
    EXPECT_EQ(b().msgQueue.front().text, "ann is looking for you with this message: \"100% hi\"");
    b().PostMsg(mkNotice, 0, "meanwhile");
    // The call's words had their whole turn once the notice is on show.
    for (int i = 0; i < 1000 && b().msgQueue.front().kind != mkNotice; ++i)
        tk.time.Advance(50);
    ASSERT_EQ(b().msgQueue.front().text, "meanwhile");
    b().LookingForYouReceived(TLookingForYouMsg{false, "ann", "bye", "http://b"});
    const TMsgLine& front = b().msgQueue.front();
    EXPECT_EQ(front.text, "ann was looking for you with this message: \"bye\"");
    EXPECT_EQ(front.kind, mkInvite);
    EXPECT_EQ(front.link, "http://b");
    // A call without words right after one with words keeps those words on
    // show for their whole turn, then says so on the same line.
    b().SearchAnswerReceived(TSearchAnswerMsg{-1, "ann", "http://c"});
    b().SearchAnswerReceived(TSearchAnswerMsg{-1, "ann", "http://d"});
    const auto annsLines = [this] {
        std::vector<TMsgLine> lines;
        for (const TMsgLine& line : b().msgQueue)
            if (line.user == "ann")
                lines.push_back(line);
        return lines;
    };
    ASSERT_EQ(annsLines().size(), 1u);
    EXPECT_EQ(b().msgQueue.front().text, "ann was looking for you with this message: \"bye\"");
    EXPECT_EQ(b().msgQueue.front().link, "http://d");
    tk.time.Advance(60000); // its turn ends
    ASSERT_EQ(annsLines().size(), 1u);
    EXPECT_EQ(annsLines()[0].text, "ann is looking for you!");
    EXPECT_TRUE(annsLines()[0].laterCalls.empty());
    // Words that had their turn give way at once.
    b().LookingForYouReceived(TLookingForYouMsg{true, "ann", "again", "http://e"});
    b().LookingForYouReceived(TLookingForYouMsg{true, "ann", "and again", "http://e"});
    EXPECT_EQ(b().msgQueue.front().text, "ann is looking for you with this message: \"again\"");
    tk.time.Advance(60000);
    EXPECT_EQ(annsLines()[0].text, "ann is looking for you with this message: \"and again\"");
}

TEST_F(ChatsViewTest, TypingRefusesWhatTheCodePageCannotHoldAndSaysWhenTheLineIsFull) {
    b().Edit1.SetText("ab");
    // The kit left an emoji out: the box keeps what it had, and says why at once.
    b().Edit1.OnTyped("ab", /*refused=*/1);
    EXPECT_EQ(b().Edit1.Text(), "ab");
    EXPECT_EQ(b().msgQueue.front().text,
              "Only Western European characters can be typed in the bar");
    EXPECT_EQ(b().msgQueue.front().kind, mkNotice);
    b().Edit1.OnTyped("ab", /*refused=*/1); // the same hint is not queued twice
    int hints = 0;
    for (const TMsgLine& line : b().msgQueue)
        hints += line.kind == mkNotice;
    EXPECT_EQ(hints, 1);

    b().Edit1.OnTyped("ab\x80", 0); // the euro sign is the code page's
    EXPECT_EQ(b().Edit1.Text(), "ab\x80");
    // The box holds what one chat-text request carries, and says so when full.
    EXPECT_EQ(b().Edit1.MaxLength(), CHAT_TEXT_FIELD - 1);
    b().Edit1.OnTyped(std::string(size_t(CHAT_TEXT_FIELD - 1), 'x'), 0);
    EXPECT_EQ(b().msgQueue.front().text, "A chat line holds at most 230 characters");
    // The other boxes refuse alike.
    ASSERT_TRUE(b().edSearchMsg.OnTyped);
    b().edSearchMsg.OnTyped("hi", 2);
    EXPECT_EQ(b().edSearchMsg.Text(), "");
}

} // namespace
} // namespace navlet::testing

namespace navlet::testing {
namespace {

// A bar in a 240-px side panel: its ticker's buttons sit on a row of their
// own, right-aligned, and stay there while the text scrolls.
class PanelChatsTest : public ChatsTest {
  protected:
    std::string Front() { return b().msgQueue.front().text; }
    void InPanel(int32_t width = 240) {
        b().SetHostShape(THostShape::SidePanel);
        b().FormResized(width, 600);
    }
    // Clicks the middle of the front line's button `bit`, found in its hit map.
    bool ClickButton(int32_t bit) {
        const THitMap& map = *b().msgHitMap;
        for (int32_t y = 0; y < map.Height(); ++y)
            for (int32_t x = 0; x < map.Width(); ++x)
                if (map.At(x, y) == bit) {
                    b().msg_imgMouseDown(TMouseButton::mbLeft, 0, x + 3, y + 2);
                    return true;
                }
        return false;
    }
    TRect ButtonBox(int32_t bit) {
        const THitMap& map = *b().msgHitMap;
        TRect box{map.Width(), map.Height(), -1, -1};
        for (int32_t y = 0; y < map.Height(); ++y)
            for (int32_t x = 0; x < map.Width(); ++x)
                if (map.At(x, y) == bit)
                    box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                           std::max(box.bottom, y)};
        return box;
    }
};

TEST_F(PanelChatsTest, AnInvitationsLineShowsItsTabOrLeavesTheChatInOneClick) {
    SignIn();
    InPanel();
    Presence(20, "alice");
    Presence(21, "bob");
    Joined(20, 0x5501);
    Joined(21, 0x6601);
    // The tabs open without the focus, as before; the ticker offers them.
    ASSERT_EQ(b().PageControl.PageCount(), 3);
    EXPECT_EQ(b().PageControl.ActivePageIndex(), 0);
    ASSERT_NE(QueuedLine("alice invited you to a private chat"), nullptr);
    ASSERT_NE(QueuedLine("bob invited you to a private chat"), nullptr);
    while (Front() != "alice invited you to a private chat")
        tk.time.Advance(500);

    ASSERT_TRUE(ClickButton(MSG_BTN_LEAVE));
    ASSERT_EQ(b().PageControl.PageCount(), 2);
    EXPECT_EQ(b().PageControl.Page(1).caption, "bob");
    auto leaves = Sent(REQ_LEAVE_CHAT);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(ReadChatAddressRequest(leaves[0]), MakeChatAddress(ME, 0x5501));
    EXPECT_EQ(QueuedLine("alice invited you to a private chat"), nullptr);

    while (Front() != "bob invited you to a private chat")
        tk.time.Advance(500);
    ASSERT_TRUE(ClickButton(MSG_BTN_SHOW));
    EXPECT_EQ(b().PageControl.ActivePageIndex(), 1);
    EXPECT_EQ(b().Edit1.Placeholder(), "to bob");
    EXPECT_EQ(QueuedLine("bob invited you to a private chat"), nullptr);
    EXPECT_EQ(Sent(REQ_LEAVE_CHAT).size(), 1u);
}

TEST_F(PanelChatsTest, ATabClosedFromItsMenuTakesItsInvitationOffTheTicker) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    ASSERT_NE(QueuedLine("alice invited you to a private chat"), nullptr);
    b().CloseChatTab(b().PageControl.Page(1), TNavlet::TCloseNotify::TellServer);
    EXPECT_EQ(QueuedLine("alice invited you to a private chat"), nullptr);
    tk.time.Advance(20000); // the ticker goes on without it
}

TEST_F(PanelChatsTest, ACallsButtonsStandStillWhileItsLongTextScrolls) {
    SignIn();
    InPanel();
    b().ShowCall("carol", std::string(120, 'w'), "http://example.com/");
    ASSERT_EQ(b().msgQueue.front().user, "carol");
    const TRect accept = ButtonBox(MSG_BTN_ACCEPT);
    const TRect ignore = ButtonBox(MSG_BTN_IGNORE);
    ASSERT_GE(accept.right, accept.left);
    // On the second row, at the right edge, inside the ticker.
    EXPECT_GE(accept.top, b().Layout().TickerRowHeight());
    EXPECT_LT(ignore.right, b().msg_img.Width());
    EXPECT_GT(ignore.left, accept.right);
    EXPECT_GT(b().msgScrollMax, 0);
    for (int step = 0; step < 40; ++step) {
        tk.time.Advance(500);
        if (b().msgQueue.front().user != "carol")
            continue;
        EXPECT_EQ(ButtonBox(MSG_BTN_ACCEPT), accept) << step;
        EXPECT_EQ(ButtonBox(MSG_BTN_IGNORE), ignore) << step;
    }
    while (b().msgQueue.front().user != "carol")
        tk.time.Advance(500);
    ASSERT_TRUE(ClickButton(MSG_BTN_ACCEPT));
    EXPECT_EQ(tk.host.openedWindows, (std::vector<std::string>{"http://example.com/"}));
}

TEST_F(PanelChatsTest, AWidePanelKeepsTheButtonsBesideTheTextOnOneRow) {
    SignIn();
    InPanel(480);
    b().ShowCall("carol", std::string(120, 'w'), "http://example.com/");
    const TRect ignore = ButtonBox(MSG_BTN_IGNORE);
    EXPECT_LT(ignore.bottom, b().Layout().TickerRowHeight());
    EXPECT_LT(ignore.right, b().msg_img.Width());
    EXPECT_GT(ignore.right, b().msg_img.Width() - 8);
    tk.time.Advance(2000 + 50 * 20);
    EXPECT_EQ(ButtonBox(MSG_BTN_IGNORE), ignore);
}

TEST_F(PanelChatsTest, TheInvitersNewTabIsShownAtOnceAndTheHintSaysWhereLinesGo) {
    SignIn();
    Presence(20, "alice");
    Presence(21, "bob");
    EXPECT_EQ(b().Edit1.Placeholder(), "to the site's public chat");
    b().InviteInNewPrivateChat(b().lvUsers.Item(b().FindUser(20)));
    ASSERT_EQ(b().PageControl.PageCount(), 2);
    EXPECT_EQ(b().PageControl.ActivePageIndex(), 1);
    EXPECT_FALSE(b().PageControl.Page(1).highlighted);
    EXPECT_EQ(b().Edit1.Placeholder(), "to alice");
    b().InviteInActiveChat(b().lvUsers.Item(b().FindUser(21)));
    EXPECT_EQ(b().Edit1.Placeholder(), "to alice, bob");
    b().MemberLeft(TMemberMsg{MakeChatAddress(20, b().PageControl.Page(1).tag->chatId)});
    EXPECT_EQ(b().Edit1.Placeholder(), "to bob");
}

TEST_F(PanelChatsTest, ATabCountsTheLinesNotYetSeenAndShowingItClearsThem) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    TTabSheet& tab = b().PageControl.Page(1);
    EXPECT_EQ(tab.unread, 0); // the invitation's own event line is not counted
    ChatLine(20, 0x5501, "one");
    ChatLine(20, 0x5501, "two");
    EXPECT_EQ(TabLabel(tab), "alice (2)");
    b().PageControl.SetActivePageIndex(1);
    b().PageControlChange();
    EXPECT_EQ(TabLabel(tab), "alice");
    ChatLine(20, 0x5501, "seen at once");
    EXPECT_EQ(tab.unread, 0);
    ChatLine(20, 0, "public");
    EXPECT_EQ(b().PageControl.Page(0).unread, 1);
}

TEST_F(PanelChatsTest, PrivateLinesAndCallsAskForTheUsersEyeAndPublicOnesDoNot) {
    SignIn();
    Presence(20, "alice");
    Joined(20, 0x5501);
    EXPECT_EQ(b().Attention.Count(), 0); // the invitation's tab has its own line
    ChatLine(20, 0, "public");
    ChatLine(20, 0x7701, "a chat with no tab");
    EXPECT_EQ(b().Attention.Count(), 0);
    ChatLine(20, 0x5501, "psst");
    EXPECT_EQ(b().Attention.Count(), 1);
    EXPECT_EQ(b().Attention.Latest(), "alice wrote to you"); // never the line itself
    b().ShowCall("carol", "carol is looking for you!", "http://example.com/");
    EXPECT_EQ(b().Attention.Count(), 2);
    EXPECT_EQ(b().Attention.Latest(), "carol is looking for you");
    b().Attention.Seen();
    EXPECT_EQ(b().Attention.Count(), 0);
}

TEST_F(PanelChatsTest, TheDesktopNotificationsChoiceIsKeptForTheNextPanel) {
    InPanel();
    EXPECT_FALSE(b().Attention.Notify());
    b().SetDesktopNotifications(true);
    TNavlet& next = MakeBar();
    next.SetHostShape(THostShape::SidePanel);
    EXPECT_TRUE(next.Attention.Notify());
}

} // namespace
} // namespace navlet::testing
