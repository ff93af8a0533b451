// The one slow-down of password guessing (the bar's sign-ins and the web
// site's profile form) on a hand-driven clock.
#include <gtest/gtest.h>

#include "server/core/failure_counter.h"
#include "server/core/signin_guard.h"

namespace navlet::server {
namespace {

constexpr int64_t HOUR_MS = 3600 * 1000;

// Past its ten failures an address gets one attempt per drain step, for
// any account; other addresses are not held up.
TEST(SignInGuard, AnAddressPastItsLimitGetsOneAttemptPerDrainStep) {
    TSignInGuard guard;
    int64_t now = 1000 * HOUR_MS;
    for (uint64_t account = 1; account <= 11; ++account)
        guard.Failed(account, "10.9.9.9", now);
    int64_t wait = guard.WaitMs(100, "10.9.9.9", now);
    EXPECT_GT(wait, 0);
    EXPECT_LE(wait, 6001);
    EXPECT_GT(guard.WaitMs(0, "10.9.9.9", now), 0); // an unknown nick too
    EXPECT_EQ(guard.WaitMs(100, "10.9.9.8", now), 0);
    now += wait;
    EXPECT_EQ(guard.WaitMs(100, "10.9.9.9", now), 0);
    guard.Failed(100, "10.9.9.9", now);
    EXPECT_GT(guard.WaitMs(100, "10.9.9.9", now + 5000), 0);
    // Refused attempts keep it held back; quiet, it drains for good.
    guard.Hammered("10.9.9.9", now + 5000);
    EXPECT_GT(guard.WaitMs(100, "10.9.9.9", now + 6500), 0);
    guard.Prune(now + HOUR_MS);
    EXPECT_EQ(guard.WaitMs(100, "10.9.9.9", now + HOUR_MS), 0);
}

// An address that signed in to the account is not held back by the
// account's count; that trust ends after a day without a success there.
TEST(SignInGuard, TheOwnersOwnAddressIsNotHeldBackByTheAccountsCount) {
    TSignInGuard guard;
    int64_t now = 1000 * HOUR_MS;
    guard.Succeeded(7, "owner", now);
    auto guessers = [&] {
        for (int i = 0; i < 21; ++i)
            guard.Failed(7, "guesser-" + std::to_string(i), now);
    };
    guessers();
    EXPECT_EQ(guard.WaitMs(7, "owner", now), 0);
    EXPECT_GT(guard.WaitMs(7, "elsewhere", now), 0); // no spare before its period
    EXPECT_EQ(guard.WaitMs(8, "elsewhere", now), 0); // another account is not held up
    now += 25 * HOUR_MS;
    guard.Prune(now);
    guessers();
    EXPECT_GT(guard.WaitMs(7, "owner", now), 0);
}

// The account's latest four good addresses stay trusted; a fifth pushes out
// the first one seen (coming back does not refresh it).
TEST(SignInGuard, TrustsTheLatestFourAddressesOfAnAccount) {
    TSignInGuard guard;
    int64_t now = 1000 * HOUR_MS;
    for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.1"})
        guard.Succeeded(7, address, now);
    guard.Succeeded(7, "10.0.0.5", now);
    guard.Succeeded(8, "10.0.0.1", now); // another account's trust is its own
    for (int i = 0; i < 21; ++i)
        guard.Failed(7, "10.1.0." + std::to_string(i), now);
    EXPECT_GT(guard.WaitMs(7, "10.0.0.1", now), 0);
    for (const char* address : {"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"})
        EXPECT_EQ(guard.WaitMs(7, address, now), 0) << address;
    EXPECT_GT(guard.WaitMs(7, "10.0.0.6", now), 0);
}

// A flood of fresh keys keeps the table within its bound: the stalest goes.
TEST(FailureCounter, StaysWithinItsBoundDroppingTheStalest) {
    TFailureCounter counter(/*limit=*/2, /*drainMsPerFailure=*/HOUR_MS, /*maxKeys=*/4);
    int64_t now = 1000;
    counter.Fail("first", now);
    counter.Fail("first", now);
    EXPECT_TRUE(counter.Over("first", now));
    for (int i = 0; i < 4; ++i)
        counter.Fail("other" + std::to_string(i), ++now);
    EXPECT_EQ(counter.Size(), 4u);
    EXPECT_FALSE(counter.Over("first", now));
    EXPECT_TRUE(counter.Failing("other0", now));
}

} // namespace
} // namespace navlet::server
