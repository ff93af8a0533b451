// Bounds sign-ups, each of which costs a full password hash and a stored
// account: a few per address, then one per interval, and so many per second
// for all addresses together. Thread-safe; time is passed in.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace navlet::web {

struct TSignUpRules {
    double perAddressBurst = 3;
    std::chrono::seconds perAddressEvery{60};
    double totalBurst = 20;
    double totalPerSecond = 2;
    size_t maxAddresses = 100000; // the stalest go first
};

class TSignUpLimit {
  public:
    using TClock = std::chrono::steady_clock;

    explicit TSignUpLimit(TSignUpRules rules = {}) : rules(rules) {}

    // Zero when a sign-up from `address` may go ahead now (and it is then
    // counted); otherwise how long it must wait.
    std::chrono::milliseconds Take(const std::string& address, TClock::time_point now);
    // New rates from now on; what each address has used so far still counts.
    void SetRules(const TSignUpRules& next);

  private:
    struct TBucket {
        double tokens = 0;
        TClock::time_point at;
    };
    // Tops up `bucket` for the time passed; the wait for one token.
    static TClock::duration Refill(TBucket& bucket, double burst, double perSecond,
                                   TClock::time_point now);

    TSignUpRules rules;
    std::mutex mutex;
    TBucket total;
    bool started = false;
    std::unordered_map<std::string, TBucket> addresses;
};

} // namespace navlet::web
