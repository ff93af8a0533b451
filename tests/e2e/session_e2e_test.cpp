// Two bars on the test kit, with real loopback sockets, against navlet-server
// on an ephemeral loopback port with a temporary data folder: they sign in,
// see each other on one site, and one of them moves to another host.
#include "tests/e2e/e2e_support.h"

namespace navlet::testing {
namespace {

TEST_F(SessionEndToEnd, TwoBarsSignInSeeEachOtherAndPartWhenOneChangesHost) {
    alice = Window();
    bob = Window();
    alice->Open("alice", "apple1", "http://www.example.com/news/");
    ASSERT_TRUE(loop.RunUntil([&] { return alice->bar->loggedIn; }));
    EXPECT_EQ(alice->bar->myNick, "alice");
    EXPECT_EQ(alice->bar->LEDBtn.Glyph(), glLedSignedIn);
    EXPECT_EQ(alice->bar->BannerPanel.Mode(), bmDefault);

    bob->Open("bob", "banana2", "https://www.example.com/sport.html");
    ASSERT_TRUE(loop.RunUntil([&] { return bob->bar->loggedIn; }));
    const UserId aliceId = alice->bar->myUserId;
    const UserId bobId = bob->bar->myUserId;
    ASSERT_NE(aliceId, bobId);
    ASSERT_TRUE(loop.RunUntil([&] { return alice->Lists(bobId) && bob->Lists(aliceId); }));

    // Another page of the same host: both stay listed.
    bob->Visit("http://www.example.com/weather/");
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_TRUE(alice->Lists(bobId));
    EXPECT_TRUE(bob->Lists(aliceId));

    // Another host: bob's lists start afresh, alice hears that bob left.
    bob->Visit("http://other.example.net/");
    ASSERT_TRUE(loop.RunUntil([&] { return !alice->Lists(bobId); }));
    EXPECT_FALSE(bob->Lists(aliceId));
    EXPECT_EQ(bob->bar->siteHost, "other.example.net");
    EXPECT_TRUE(bob->bar->loggedIn);
}

TEST_F(SessionEndToEnd, AWrongPasswordEndsTheSessionWithoutAReconnection) {
    alice = Window();
    alice->Open("alice", "wrong", "http://www.example.com/");
    ASSERT_TRUE(loop.RunUntil([&] { return alice->bar->disconnectedOnce; }));
    EXPECT_FALSE(alice->bar->loggedIn);
    EXPECT_FALSE(alice->bar->reconnect_timer.Enabled());
    EXPECT_EQ(alice->bar->BannerPanel.Mode(), bmLogin);
}

// A second browser window signs the same account in; neither window throws
// the other out, and bob lists alice once.
TEST_F(SessionEndToEnd, TwoWindowsOfOneAccountStaySignedInSideBySide) {
    SignInBoth();
    auto second = Window();
    second->Open("alice", "apple1", "http://www.example.com/other/");
    ASSERT_TRUE(loop.RunUntil([&] { return second->bar->loggedIn; }));
    EXPECT_TRUE(second->Lists(bob->bar->myUserId));
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(alice->bar->loggedIn);
    EXPECT_FALSE(alice->bar->disconnectedOnce);
    int listed = 0;
    for (const TListItem& item : bob->bar->lvUsers.Items())
        listed += item.data == alice->bar->myUserId;
    EXPECT_EQ(listed, 1);
    second.reset();
}

// The text that the ticker draws now.
std::string TickerText(const TNavlet& bar) {
    for (const auto& op : bar.msgImage->ops)
        if (const auto* text = std::get_if<TTextOut>(&op))
            return text->text;
    return {};
}

TEST_F(SessionEndToEnd, ARefusedSignInShowsWhyInTheTickerBeforeTheSessionEnds) {
    alice = Window();
    alice->Open("alice", "wrong", "http://www.example.com/");
    const auto notified = [&] {
        for (const TMsgLine& line : alice->bar->msgQueue)
            if (line.text == "Wrong nick or password.")
                return true;
        return false;
    };
    ASSERT_TRUE(loop.RunUntil(notified));
    EXPECT_FALSE(alice->bar->disconnectedOnce);
    // The standing status line has its turn, then the reason shows.
    alice->tk.time.Advance(3600);
    EXPECT_EQ(TickerText(*alice->bar), "Wrong nick or password.");
    // Then the end of the session: no reconnection, and the reason stays
    // readable in the line that remains.
    ASSERT_TRUE(loop.RunUntil([&] { return alice->bar->disconnectedOnce; }));
    EXPECT_FALSE(alice->bar->reconnect_timer.Enabled());
    EXPECT_EQ(TickerText(*alice->bar), "Disconnected: wrong nick or password.");
    alice->tk.time.Advance(20000);
    EXPECT_EQ(TickerText(*alice->bar), "Disconnected: wrong nick or password.");
}

} // namespace
} // namespace navlet::testing
