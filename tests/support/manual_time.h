// Time for tests: a clock and a scheduler that move only when the test says.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "client/kit/clock.h"
#include "client/kit/scheduler.h"

namespace navlet::testing {

// Days since 30 December 1899 of a civil date, for building clock values.
double DateTimeOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

class TManualTime : public TClock, public TScheduler {
  public:
    // Starts at `localStart` with local time `utcOffsetMinutes` ahead of UTC.
    explicit TManualTime(double localStart = DateTimeOf(2024, 1, 15, 12, 0, 0),
                         int utcOffsetMinutes = 60);

    // Moves time forward by `ms`, firing every tick that falls due, in deadline
    // order; equal deadlines fire in the order they were armed.
    void Advance(uint64_t ms);
    uint64_t NowMs() const { return nowMs; }
    // Timers running now.
    size_t ActiveTimers() const { return timers.size(); }
    // Deadline of the next tick, or 0 with no timer running.
    uint64_t NextDeadline() const;

    // TClock
    double LocalNow() const override;
    double UtcNow() const override;
    double UtcToLocal(double utc) const override;
    std::string ShortDate(double local) const override; // "M/D/YYYY"

    // TScheduler
    TTimerHandle Start(uint32_t intervalMs, std::function<void()> tick) override;
    void Stop(TTimerHandle handle) override;

  private:
    struct TEntry {
        uint32_t interval;
        uint64_t deadline;
        uint64_t sequence;
        std::shared_ptr<std::function<void()>> tick;
    };

    double localStart;
    int utcOffsetMinutes;
    uint64_t nowMs = 0;
    uint64_t nextSequence = 1;
    TTimerHandle nextHandle = 1;
    std::map<TTimerHandle, TEntry> timers;
};

} // namespace navlet::testing
