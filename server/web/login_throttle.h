// Slows password guessing: after a few wrong passwords for one account, or
// from one address, further attempts must wait, longer after each failure up
// to a ceiling, and the count is forgotten after a quiet while. An attempt
// that must wait is refused before its password is checked. An address that
// signed in to an account recently is not held up by the account's count at
// all, only by its own; and while guessers hold the account back, it keeps a
// spare attempt every few seconds for an address that has not failed, so
// that its owner gets in from a new place within seconds.
//
// Keys are plain strings (an account id, an address), so the session port and
// the web site can share one throttle. Thread-safe; time is passed in.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace navlet::web {

struct TThrottleRule {
    int freeFailures = 3;                  // wrong passwords before any wait
    std::chrono::seconds firstWait{1};     // doubled after each further failure
    std::chrono::seconds maxWait{30};      // the ceiling
    std::chrono::seconds forgetAfter{900}; // quiet time after which failures are forgotten
};

struct TThrottleRules {
    TThrottleRule account;
    TThrottleRule address{/*freeFailures=*/10, std::chrono::seconds(1), std::chrono::seconds(60),
                          std::chrono::seconds(900)};
    std::chrono::hours trustedFor{24};  // an address's success exempts it from the account's count
    std::chrono::seconds spareEvery{5}; // a held-back account's attempts for clean addresses
    size_t maxEntries = 100000;         // per kind; the stalest go first
};

class TLoginThrottle {
  public:
    using TClock = std::chrono::steady_clock;

    explicit TLoginThrottle(TThrottleRules rules = {}) : rules(rules) {}

    // Zero when an attempt for `account` from `address` may be checked now
    // (and then the attempt is counted as under way); otherwise how long it must wait.
    std::chrono::milliseconds Begin(const std::string& account, const std::string& address,
                                    TClock::time_point now);
    void Failed(const std::string& account, const std::string& address, TClock::time_point now);
    // A begun attempt that was not checked after all (refused elsewhere):
    // it counts for nothing, and the next attempt need not wait for it.
    void Abandoned(const std::string& account, const std::string& address, TClock::time_point now);
    void Succeeded(const std::string& account, const std::string& address, TClock::time_point now);

  private:
    struct TFailures {
        int count = 0;
        TClock::time_point last;
        TClock::time_point nextAllowed;
        TClock::time_point spareAt; // an account's next spare attempt
    };
    using TTable = std::map<std::string, TFailures>;

    static TClock::duration WaitAfter(const TThrottleRule& rule, int failures);
    // The entry of `key`, forgotten first when it has been quiet long enough.
    TFailures& Entry(TTable& table, const std::string& key, const TThrottleRule& rule,
                     TClock::time_point now);
    void Count(TTable& table, const std::string& key, const TThrottleRule& rule,
               TClock::time_point now);
    // Whether a held-back account gives this clean address its spare attempt
    // now (taken then).
    bool TakeSpare(const TFailures& byAddress, TFailures* byAccount, TClock::time_point now);
    bool Trusted(const std::string& account, const std::string& address, TClock::time_point now);

    TThrottleRules rules;
    std::mutex mutex;
    TTable accounts;
    TTable addresses;
    std::map<std::string, TClock::time_point> trusted; // "account address" -> last success
};

} // namespace navlet::web
