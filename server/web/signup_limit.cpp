#include "server/web/signup_limit.h"

#include <algorithm>

namespace navlet::web {

TSignUpLimit::TClock::duration TSignUpLimit::Refill(TBucket& bucket, double burst, double perSecond,
                                                    TClock::time_point now) {
    double seconds = std::chrono::duration<double>(now - bucket.at).count();
    bucket.tokens = std::min(burst, bucket.tokens + std::max(0.0, seconds) * perSecond);
    bucket.at = now;
    if (bucket.tokens >= 1.0)
        return TClock::duration::zero();
    return std::chrono::duration_cast<TClock::duration>(
        std::chrono::duration<double>((1.0 - bucket.tokens) / perSecond));
}

void TSignUpLimit::SetRules(const TSignUpRules& next) {
    std::lock_guard lock(mutex);
    rules = next;
}

std::chrono::milliseconds TSignUpLimit::Take(const std::string& address, TClock::time_point now) {
    std::lock_guard lock(mutex);
    if (!started) {
        total = TBucket{rules.totalBurst, now};
        started = true;
    }
    auto it = addresses.find(address);
    if (it == addresses.end()) {
        if (addresses.size() >= rules.maxAddresses)
            addresses.erase(std::min_element(
                addresses.begin(), addresses.end(),
                [](const auto& a, const auto& b) { return a.second.at < b.second.at; }));
        it = addresses.emplace(address, TBucket{rules.perAddressBurst, now}).first;
    }
    double perAddressRate = 1.0 / double(std::max<int64_t>(1, rules.perAddressEvery.count()));
    TClock::duration wait = std::max(Refill(it->second, rules.perAddressBurst, perAddressRate, now),
                                     Refill(total, rules.totalBurst, rules.totalPerSecond, now));
    if (wait > TClock::duration::zero())
        return std::chrono::ceil<std::chrono::milliseconds>(wait);
    it->second.tokens -= 1.0;
    total.tokens -= 1.0;
    return std::chrono::milliseconds::zero();
}

} // namespace navlet::web
