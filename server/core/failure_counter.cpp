#include "server/core/failure_counter.h"

#include <algorithm>

namespace navlet::server {

double TFailureCounter::CountNow(const TEntry& entry, int64_t nowMs) const {
    double drained = double(nowMs - entry.atMs) / double(drainMs);
    return std::max(0.0, entry.count - drained);
}

bool TFailureCounter::Over(const std::string& key, int64_t nowMs) const {
    auto it = entries.find(key);
    return it != entries.end() && CountNow(it->second, nowMs) >= limit;
}

int64_t TFailureCounter::WaitMs(const std::string& key, int64_t nowMs) const {
    auto it = entries.find(key);
    if (it == entries.end() || CountNow(it->second, nowMs) < limit)
        return 0;
    // The count drops below the limit just after (count - limit) drain steps.
    double steps = it->second.count - limit;
    return std::max<int64_t>(1, it->second.atMs + int64_t(steps * double(drainMs)) - nowMs + 1);
}

bool TFailureCounter::Failing(const std::string& key, int64_t nowMs) const {
    auto it = entries.find(key);
    return it != entries.end() && CountNow(it->second, nowMs) > 0.0;
}

bool TFailureCounter::TakeSpare(const std::string& key, int64_t nowMs, int64_t everyMs) {
    auto it = entries.find(key);
    if (it == entries.end() || nowMs - it->second.spareMs < everyMs)
        return false;
    it->second.spareMs = nowMs;
    return true;
}

void TFailureCounter::Fail(const std::string& key, int64_t nowMs) {
    if (entries.size() >= maxKeys && !entries.count(key)) {
        Prune(nowMs);
        // Still full: a flood of fresh keys. The oldest state goes; each
        // key's own count stays exact while it is kept.
        if (entries.size() >= maxKeys)
            entries.erase(
                std::min_element(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
                    return a.second.atMs < b.second.atMs;
                }));
    }
    TEntry& entry = entries[key];
    if (CountNow(entry, nowMs) <= 0.0)
        entry.spareMs = nowMs; // the spare allowance counts from the first failure
    // Failures past the limit still count, but never by more than one drain
    // step beyond it: an attacker cannot bank a lock-out for hours.
    entry.count = std::min(CountNow(entry, nowMs) + 1.0, limit + 1.0);
    entry.atMs = nowMs;
}

void TFailureCounter::Prune(int64_t nowMs) {
    std::erase_if(entries, [&](const auto& e) { return CountNow(e.second, nowMs) <= 0.0; });
}

} // namespace navlet::server
