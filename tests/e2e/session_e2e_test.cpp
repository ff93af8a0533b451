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

} // namespace
} // namespace navlet::testing
