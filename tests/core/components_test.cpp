#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/core/components.h"
#include "tests/support/test_kit.h"

namespace navlet::testing {
namespace {

TEST(TimerModel, FollowsTheFormTimersRestartRules) {
    TManualTime time;
    std::vector<uint64_t> ticks;
    TTimer timer(time, 100, false);
    timer.OnTimer = [&] { ticks.push_back(time.NowMs()); };
    time.Advance(500);
    EXPECT_TRUE(ticks.empty());

    timer.SetEnabled(true);
    time.Advance(250);
    EXPECT_EQ(ticks, (std::vector<uint64_t>{600, 700}));
    timer.SetEnabled(true); // already running: nothing restarts
    time.Advance(50);
    EXPECT_EQ(ticks.back(), 800u);
    time.Advance(30);
    timer.SetInterval(100); // the same interval: nothing restarts
    timer.SetInterval(40);  // a new one starts afresh from now (830)
    time.Advance(80);
    EXPECT_EQ(ticks, (std::vector<uint64_t>{600, 700, 800, 870, 910}));
}

TEST(TimerModel, ATickMayStopOrRetimeItsOwnTimer) {
    TManualTime time;
    int count = 0;
    TTimer timer(time, 10, true);
    timer.OnTimer = [&] {
        if (++count == 3)
            timer.SetEnabled(false);
        else
            timer.SetInterval(timer.Interval() + 10);
    };
    time.Advance(1000);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(time.NowMs(), 1000u);
    EXPECT_EQ(time.ActiveTimers(), 0u);
}

TEST(TimerModel, EqualDeadlinesFireInArmingOrder) {
    TManualTime time;
    std::string order;
    TTimer b(time, 50, false);
    TTimer a(time, 100, true);
    b.SetEnabled(true);
    a.OnTimer = [&] { order += 'a'; };
    b.OnTimer = [&] { order += 'b'; };
    time.Advance(100);
    EXPECT_EQ(order, "bab"); // b at 50; a (armed first) then b at 100
    {
        TTimer gone(time, 10, true);
        gone.OnTimer = [&] { order += 'x'; };
    }
    time.Advance(20);
    EXPECT_EQ(order.find('x'), std::string::npos);
}

TEST(ManualClock, LocalAndUtcMoveWithTheScheduler) {
    TManualTime time(DateTimeOf(2024, 3, 1, 23, 59, 0), 120);
    time.Advance(60 * 1000);
    EXPECT_DOUBLE_EQ(time.LocalNow(), DateTimeOf(2024, 3, 2));
    EXPECT_NEAR(time.UtcNow(), DateTimeOf(2024, 3, 1, 22, 0, 0), 1e-9);
    EXPECT_NEAR(time.UtcToLocal(DateTimeOf(2024, 2, 29, 23, 0, 0)), DateTimeOf(2024, 3, 1, 1),
                1e-9);
    EXPECT_EQ(time.ShortDate(DateTimeOf(2024, 2, 29, 13)), "2/29/2024");
    EXPECT_DOUBLE_EQ(DateTimeOf(1899, 12, 30), 0.0);
}

TEST(ModelObservers, ChangesAreToldOnceAndObserversMayLeaveWhileTold) {
    TEdit edit;
    edit.SetMaxLength(4);
    int told = 0;
    TModel::TObservation once;
    once = edit.Watch([&] {
        ++told;
        once.End();
    });
    int other = 0;
    TModel::TObservation always = edit.Watch([&] { ++other; });
    edit.SetText("abcdef");
    edit.SetText("abcd"); // the same text after the cut: no change
    edit.SetFontColor(clGray);
    EXPECT_EQ(edit.Text(), "abcd");
    EXPECT_EQ(told, 1);
    EXPECT_EQ(other, 2);
}

TEST(ModelObservers, AnObservationEndsWithItsHolderOrWithTheModel) {
    TModel::TObservation kept;
    int changes = 0;
    int ends = 0;
    {
        auto edit = std::make_unique<TEdit>();
        {
            TModel::TObservation dropped = edit->Watch([&] { ++changes; });
        }
        edit->SetText("a"); // the dropped holder hears nothing
        kept = edit->Watch([&] { ++changes; }, [&] { ++ends; });
        edit->SetText("b");
        EXPECT_TRUE(kept.Active());
    }
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(kept.Active());
    kept.End(); // the model is gone: nothing is reached
}

TEST(ModelObservers, AModelDestroyedByAnObserverTellsNoLaterObserver) {
    auto edit = std::make_unique<TEdit>();
    int later = 0;
    int ends = 0;
    TModel::TObservation first = edit->Watch([&] { edit.reset(); });
    TModel::TObservation second = edit->Watch([&] { ++later; }, [&] { ++ends; });
    edit->SetText("x");
    EXPECT_EQ(edit, nullptr);
    EXPECT_EQ(later, 0);
    EXPECT_EQ(ends, 1);
}

TEST(ScriptedSocket, ClosingAHeldConnectionNotifiesItsDisconnect) {
    TScriptedSocketFactory factory;
    auto socket = factory.CreateClientSocket();
    std::string events;
    socket->OnConnecting = [&](TClientSocket&) { events += "connecting "; };
    socket->OnConnect = [&](TClientSocket&) { events += "connect "; };
    socket->OnDisconnect = [&](TClientSocket&) { events += "disconnect "; };
    socket->OnError = [&](TClientSocket&, TErrorEvent e, int& code) {
        events += e == TErrorEvent::eeConnect ? "error-connect " : "error ";
        code = 0;
    };
    socket->Close(); // nothing held: nothing told
    socket->Open();
    socket->Open(); // already active
    factory.Last().AcceptConnection();
    EXPECT_TRUE(socket->Connected());
    socket->Close();
    EXPECT_FALSE(socket->Active());
    socket->Open();
    factory.Last().Fail(TErrorEvent::eeConnect);
    EXPECT_EQ(events, "connecting connect disconnect connecting error-connect ");
    EXPECT_EQ(factory.Last().OpenCount(), 2);
}

TEST(ScriptedSocket, SentPacketsComeBackWhole) {
    TScriptedSocketFactory factory;
    auto socket = factory.CreateClientSocket();
    socket->Open();
    factory.Last().AcceptConnection();
    TPacket p;
    ClearPacket(p);
    p.bytes[HEADER_SIZE] = 'x';
    ASSERT_EQ(SendPacket(p, *socket, HEADER_SIZE + 1, 7), HEADER_SIZE + 1);
    auto packets = factory.Last().SentPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].Type(), 7);
    EXPECT_EQ(packets[0].bytes[HEADER_SIZE], 'x');
}

} // namespace
} // namespace navlet::testing
