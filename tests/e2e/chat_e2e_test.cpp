// Two bars on one site chat through navlet-server: a public line each way,
// then a private chat that one opens with an invitation.
#include "client/core/chat_view.h"
#include "tests/e2e/e2e_support.h"

namespace navlet::testing {
namespace {

bool TabHolds(TTabSheet* sheet, const std::string& text) {
    if (!sheet)
        return false;
    for (const TChatLine& line : sheet->view->Lines())
        if (line.Text().find(text) != std::string::npos)
            return true;
    return false;
}

void Say(TNavlet& bar, const std::string& text) {
    bar.EditEnter(ftEdit1); // the hint makes room for typing
    bar.Edit1.SetText(text);
    bar.sbSendTxtClick();
    bar.txt_timer.SetEnabled(false); // the send pause is not what this test is about
}

TEST_F(SessionEndToEnd, PublicLinesAndAPrivateChatReachTheOtherBar) {
    SignInBoth();
    TNavlet& a = *alice->bar;
    TNavlet& b = *bob->bar;

    Say(a, "hello from alice");
    ASSERT_TRUE(loop.RunUntil([&] { return TabHolds(b.FindTabByChat(0), "hello from alice"); }));
    Say(b, "hi alice");
    ASSERT_TRUE(loop.RunUntil([&] { return TabHolds(a.FindTabByChat(0), "hi alice"); }));

    // Alice invites bob into a new private chat; bob's bar opens its tab.
    const int entry = a.FindUser(b.myUserId);
    ASSERT_GE(entry, 0);
    a.InviteInNewPrivateChat(a.lvUsers.Item(entry));
    ASSERT_EQ(a.PageControl.PageCount(), 2);
    const ChatId chat = a.PageControl.Page(1).tag->chatId;
    ASSERT_TRUE(loop.RunUntil(
        [&] { return TabHolds(b.FindTabByChat(chat), "invited you in this private chat"); }));

    // Each answers in the private tab; the public chat does not see it.
    b.PageControl.SetActivePageIndex(1);
    b.PageControlChange();
    Say(b, "a private word");
    ASSERT_TRUE(loop.RunUntil([&] { return TabHolds(a.FindTabByChat(chat), "a private word"); }));
    EXPECT_FALSE(TabHolds(a.FindTabByChat(0), "a private word"));
}

} // namespace
} // namespace navlet::testing
