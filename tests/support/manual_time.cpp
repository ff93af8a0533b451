#include "tests/support/manual_time.h"

#include <cmath>
#include <cstdio>

namespace navlet::testing {

namespace {

constexpr double MS_PER_DAY = 86400000.0;
constexpr double MINUTES_PER_DAY = 1440.0;
// Days from 30 December 1899 to 1 January 1970.
constexpr int64_t UNIX_EPOCH_DAYS = 25569;

// Days since 1 January 1970 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2));
}

} // namespace

double DateTimeOf(int year, int month, int day, int hour, int minute, int second) {
    return double(DaysFromCivil(year, month, day) + UNIX_EPOCH_DAYS) +
           (hour * 3600 + minute * 60 + second) / 86400.0;
}

TManualTime::TManualTime(double start, int offset) : localStart(start), utcOffsetMinutes(offset) {}

void TManualTime::Advance(uint64_t ms) {
    const uint64_t target = nowMs + ms;
    for (;;) {
        auto due = timers.end();
        for (auto it = timers.begin(); it != timers.end(); ++it) {
            if (it->second.deadline > target)
                continue;
            if (due == timers.end() || it->second.deadline < due->second.deadline ||
                (it->second.deadline == due->second.deadline &&
                 it->second.sequence < due->second.sequence))
                due = it;
        }
        if (due == timers.end())
            break;
        nowMs = due->second.deadline;
        // Re-arm before the tick, so that the tick may stop or restart it.
        due->second.deadline += due->second.interval;
        due->second.sequence = nextSequence++;
        std::shared_ptr<std::function<void()>> tick = due->second.tick;
        (*tick)();
    }
    nowMs = target;
}

uint64_t TManualTime::NextDeadline() const {
    uint64_t next = 0;
    for (const auto& [handle, entry] : timers)
        if (next == 0 || entry.deadline < next)
            next = entry.deadline;
    return next;
}

double TManualTime::LocalNow() const {
    return localStart + double(nowMs) / MS_PER_DAY;
}

double TManualTime::UtcNow() const {
    return LocalNow() - utcOffsetMinutes / MINUTES_PER_DAY;
}

double TManualTime::UtcToLocal(double utc) const {
    return utc + utcOffsetMinutes / MINUTES_PER_DAY;
}

std::string TManualTime::ShortDate(double local) const {
    int year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(int64_t(std::floor(local)) - UNIX_EPOCH_DAYS, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d/%04d", month, day, year);
    return text;
}

TTimerHandle TManualTime::Start(uint32_t intervalMs, std::function<void()> tick) {
    const TTimerHandle handle = nextHandle++;
    // An interval of 0 would fire forever within one Advance.
    intervalMs = intervalMs == 0 ? 1 : intervalMs;
    timers[handle] = TEntry{intervalMs, nowMs + intervalMs, nextSequence++,
                            std::make_shared<std::function<void()>>(std::move(tick))};
    return handle;
}

void TManualTime::Stop(TTimerHandle handle) {
    timers.erase(handle);
}

} // namespace navlet::testing
