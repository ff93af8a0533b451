// The Qt scheduler runs the core's timer models: ticks at their interval,
// a tick that stops its own timer, a restart on a new interval, and no
// platform timer left once the models are gone.
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>

#include <gtest/gtest.h>

#include "client/core/components.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {
namespace {

void RunFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(TQtSchedulerTest, CoreTimersTickUntilDisabled) {
    TQtScheduler scheduler;
    int ticks = 0;
    {
        TTimer timer(scheduler, /*intervalMs=*/20, /*enabled=*/false);
        timer.OnTimer = [&] { ++ticks; };
        RunFor(60);
        EXPECT_EQ(ticks, 0) << "a disabled timer never ticks";
        timer.SetEnabled(true);
        RunFor(230);
        EXPECT_GE(ticks, 5);
        EXPECT_LE(ticks, 12);
        timer.SetEnabled(false);
        const int stopped = ticks;
        RunFor(80);
        EXPECT_EQ(ticks, stopped);
        EXPECT_EQ(scheduler.ActiveCount(), 0u);
        timer.SetEnabled(true);
        EXPECT_EQ(scheduler.ActiveCount(), 1u);
    }
    EXPECT_EQ(scheduler.ActiveCount(), 0u) << "a destroyed timer model stops its timer";
}

TEST(TQtSchedulerTest, ATickMayStopItsOwnTimerAndStartAnother) {
    TQtScheduler scheduler;
    TTimer first(scheduler, 10, true);
    TTimer second(scheduler, 10, false);
    int firstTicks = 0;
    int secondTicks = 0;
    first.OnTimer = [&] {
        ++firstTicks;
        first.SetEnabled(false);
        second.SetEnabled(true);
    };
    second.OnTimer = [&] {
        ++secondTicks;
        second.SetInterval(15); // a new interval from inside its own tick
        if (secondTicks == 3)
            second.SetEnabled(false);
    };
    RunFor(200);
    EXPECT_EQ(firstTicks, 1);
    EXPECT_EQ(secondTicks, 3);
    EXPECT_EQ(scheduler.ActiveCount(), 0u);
}

TEST(TQtSchedulerTest, StoppingTwiceOrAnUnknownHandleIsHarmless) {
    TQtScheduler scheduler;
    int ticks = 0;
    const TTimerHandle h = scheduler.Start(10, [&] { ++ticks; });
    scheduler.Stop(h);
    scheduler.Stop(h);
    scheduler.Stop(12345);
    RunFor(40);
    EXPECT_EQ(ticks, 0);
}

TEST(TQtClockTest, DateTimesAreDaysSinceTheEndOf1899) {
    const QDateTime noon(QDate(2000, 1, 1), QTime(12, 0), Qt::UTC);
    EXPECT_DOUBLE_EQ(DateTimeToDays(noon), 36526.5);
    EXPECT_EQ(DaysToDateTime(36526.5, Qt::UTC), noon);
    TQtClock clock;
    const double utc = clock.UtcNow();
    const double local = clock.LocalNow();
    // Local time is the UTC time moved by the zone's offset.
    EXPECT_NEAR(clock.UtcToLocal(utc), local, 2.0 / 86400);
    EXPECT_FALSE(clock.ShortDate(local).empty());
}

TEST(TQtModuleFactsTest, LocalesMapToTheirWindowsIds) {
    EXPECT_EQ(LcidOfLocale(QLocale(QLocale::Italian, QLocale::Italy)), 0x0410u);
    EXPECT_EQ(LcidOfLocale(QLocale(QLocale::Portuguese, QLocale::Brazil)), 0x0416u);
    EXPECT_EQ(LcidOfLocale(QLocale(QLocale::Portuguese, QLocale::Portugal)), 0x0816u);
    EXPECT_EQ(LcidOfLocale(QLocale(QLocale::English, QLocale::UnitedKingdom)), 0x0809u);
    EXPECT_EQ(LcidOfLocale(QLocale(QLocale::Turkish, QLocale::Turkey)), 0x041Fu);
    EXPECT_EQ(LcidOfLocale(QLocale(QLocale::Japanese, QLocale::Japan)), 0x0409u)
        << "another language counts as English";
}

} // namespace
} // namespace navlet::qt
