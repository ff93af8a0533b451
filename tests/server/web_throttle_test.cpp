// The password throttle on a hand-driven clock.
#include <gtest/gtest.h>

#include "server/web/login_throttle.h"

namespace navlet::web {
namespace {

using namespace std::chrono_literals;
using TClock = TLoginThrottle::TClock;

class Throttle : public ::testing::Test {
  protected:
    std::chrono::milliseconds Try(const std::string& account, const std::string& address,
                                  bool right) {
        auto wait = throttle.Begin(account, address, now);
        if (wait.count() > 0)
            return wait;
        if (right)
            throttle.Succeeded(account, address, now);
        else
            throttle.Failed(account, address, now);
        return wait;
    }

    TThrottleRules rules = [] {
        TThrottleRules r;
        r.account = {/*freeFailures=*/3, 1s, 8s, 600s};
        r.address = {/*freeFailures=*/5, 2s, 60s, 600s};
        return r;
    }();
    TLoginThrottle throttle{rules};
    TClock::time_point now = TClock::time_point() + 1000h;
};

TEST_F(Throttle, WaitsDoubleAfterTheFreeFailuresUpToTheCeiling) {
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Try("7", "10.0.0." + std::to_string(i), false), 0ms);
    // From anywhere, the account now waits 1, 2, 4, 8, 8 s after each failure.
    for (auto wait : {1s, 2s, 4s, 8s, 8s}) {
        EXPECT_EQ(throttle.Begin("7", "10.0.1.1", now), wait);
        now += wait - 1ms;
        EXPECT_EQ(throttle.Begin("7", "10.0.1.1", now), 1ms);
        now += 1ms;
        EXPECT_EQ(Try("7", "10.0.1.1", false), 0ms);
    }
    // Other accounts are not held up; a quiet while forgets everything.
    EXPECT_EQ(Try("8", "10.0.2.1", true), 0ms);
    now += 600s;
    EXPECT_EQ(throttle.Begin("7", "10.0.3.1", now), 0ms);
}

TEST_F(Throttle, AttemptsPastTheFreeOnesGoOneAtATime) {
    for (int i = 0; i < 3; ++i)
        Try("7", "10.0.0.1", false);
    now += 1s;
    EXPECT_EQ(throttle.Begin("7", "10.0.0.2", now), 0ms);
    // A second guess sent alongside waits for the first one's answer.
    EXPECT_GT(throttle.Begin("7", "10.0.0.3", now), 0ms);
}

TEST_F(Throttle, AnAddressIsSlowedAcrossAccounts) {
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Try(std::to_string(i), "10.9.9.9", false), 0ms);
    EXPECT_EQ(throttle.Begin("100", "10.9.9.9", now), 2s);
    EXPECT_EQ(throttle.Begin("100", "10.9.9.8", now), 0ms);
}

TEST_F(Throttle, TheOwnersOwnAddressIsNotLockedOutByAGuesser) {
    EXPECT_EQ(Try("7", "owner", true), 0ms);
    for (int i = 0; i < 10; ++i) {
        now += 10s;
        Try("7", "guesser-" + std::to_string(i % 3), false);
    }
    // A new address gets the account's spare attempt, a second one waits.
    EXPECT_EQ(throttle.Begin("7", "elsewhere", now), 0ms);
    EXPECT_GT(throttle.Begin("7", "elsewhere too", now), 0ms);
    EXPECT_EQ(Try("7", "owner", true), 0ms);
    // The trust ends after a day without a success from there.
    now += 25h;
    for (int i = 0; i < 4; ++i)
        Try("7", "guesser", false);
    EXPECT_GT(throttle.Begin("7", "owner", now), 0ms);
}

// Three addresses guessing steadily keep the account held back, but an
// address that has not failed gets a spare attempt every few seconds: the
// owner is in within seconds, the guessers' own addresses get none.
TEST_F(Throttle, GuessersFromAFewAddressesDoNotLockTheOwnerOut) {
    auto guess = [&] {
        for (int g = 0; g < 3; ++g) {
            if (throttle.Begin("7", "guesser-" + std::to_string(g), now) == 0ms)
                throttle.Failed("7", "guesser-" + std::to_string(g), now);
        }
    };
    for (int i = 0; i < 4; ++i) {
        guess();
        now += 1s;
    }
    std::chrono::seconds waited{0};
    while (throttle.Begin("7", "owner-new", now) > 0ms && waited < 36s) {
        guess();
        now += 1s;
        waited += 1s;
    }
    EXPECT_LE(waited, rules.spareEvery);
    throttle.Succeeded("7", "owner-new", now);
    // The spare is for clean addresses only, one per period for them all.
    now += 1s;
    for (int i = 0; i < 6; ++i)
        throttle.Failed("7", "guesser-1", now);
    now += rules.spareEvery;
    EXPECT_GT(throttle.Begin("7", "guesser-1", now), 0ms);
    EXPECT_EQ(throttle.Begin("7", "fresh-1", now), 0ms);
    throttle.Failed("7", "fresh-1", now);
    EXPECT_GT(throttle.Begin("7", "fresh-2", now), 0ms);
}

TEST_F(Throttle, TablesStayWithinTheirBoundDroppingTheStalest) {
    rules.maxEntries = 4;
    TLoginThrottle small(rules);
    for (int i = 0; i < 3; ++i)
        small.Failed("first", "a", now);
    EXPECT_GT(small.Begin("first", "a", now), 0ms);
    for (int i = 0; i < 4; ++i) {
        now += 1ms;
        small.Failed("other" + std::to_string(i), "b" + std::to_string(i), now);
    }
    EXPECT_EQ(small.Begin("first", "a", now), 0ms);
}

} // namespace
} // namespace navlet::web
