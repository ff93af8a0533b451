#include "server/web/login_throttle.h"

#include <algorithm>
#include <cstdint>

namespace navlet::web {
namespace {

std::string PairKey(const std::string& account, const std::string& address) {
    return account + ' ' + address;
}

// Drops the entry whose last use is oldest, keeping a table within its bound.
template <typename Table, typename LastUse>
void DropStalest(Table& table, size_t maxEntries, LastUse lastUse) {
    if (table.size() < maxEntries || table.empty())
        return;
    auto stalest = std::min_element(table.begin(), table.end(), [&](const auto& a, const auto& b) {
        return lastUse(a.second) < lastUse(b.second);
    });
    table.erase(stalest);
}

} // namespace

TLoginThrottle::TClock::duration TLoginThrottle::WaitAfter(const TThrottleRule& rule,
                                                           int failures) {
    if (failures < rule.freeFailures)
        return TClock::duration::zero();
    int doublings = std::min(failures - rule.freeFailures, 20);
    std::chrono::seconds wait = rule.firstWait * (int64_t(1) << doublings);
    return std::chrono::duration_cast<TClock::duration>(std::min(wait, rule.maxWait));
}

TLoginThrottle::TFailures& TLoginThrottle::Entry(TTable& table, const std::string& key,
                                                 const TThrottleRule& rule,
                                                 TClock::time_point now) {
    auto it = table.find(key);
    if (it == table.end()) {
        DropStalest(table, rules.maxEntries, [](const TFailures& f) { return f.last; });
        it = table.emplace(key, TFailures{0, now, now, now}).first;
    }
    if (now - it->second.last >= rule.forgetAfter)
        it->second = TFailures{0, now, now, now};
    return it->second;
}

bool TLoginThrottle::Trusted(const std::string& account, const std::string& address,
                             TClock::time_point now) {
    auto it = trusted.find(PairKey(account, address));
    return it != trusted.end() && now - it->second < rules.trustedFor;
}

std::chrono::milliseconds TLoginThrottle::Begin(const std::string& account,
                                                const std::string& address,
                                                TClock::time_point now) {
    std::lock_guard lock(mutex);
    TFailures& byAddress = Entry(addresses, address, rules.address, now);
    TFailures* byAccount =
        Trusted(account, address, now) ? nullptr : &Entry(accounts, account, rules.account, now);
    TClock::time_point allowed = byAddress.nextAllowed;
    if (byAccount)
        allowed = std::max(allowed, byAccount->nextAllowed);
    if (now < allowed && !TakeSpare(byAddress, byAccount, now))
        return std::chrono::ceil<std::chrono::milliseconds>(allowed - now);
    // Past the free failures, one attempt at a time: parallel guesses wait
    // for this one's answer instead of slipping through together.
    byAddress.nextAllowed = now + WaitAfter(rules.address, byAddress.count);
    if (byAccount)
        byAccount->nextAllowed = now + WaitAfter(rules.account, byAccount->count);
    return std::chrono::milliseconds::zero();
}

bool TLoginThrottle::TakeSpare(const TFailures& byAddress, TFailures* byAccount,
                               TClock::time_point now) {
    if (!byAccount || byAddress.count > 0 || now < byAddress.nextAllowed ||
        now < byAccount->spareAt)
        return false;
    byAccount->spareAt = now + rules.spareEvery;
    return true;
}

void TLoginThrottle::Count(TTable& table, const std::string& key, const TThrottleRule& rule,
                           TClock::time_point now) {
    TFailures& failures = Entry(table, key, rule, now);
    ++failures.count;
    if (failures.count == rule.freeFailures)
        failures.spareAt = now + rules.spareEvery; // held back from now on
    failures.last = now;
    failures.nextAllowed = now + WaitAfter(rule, failures.count);
}

void TLoginThrottle::Failed(const std::string& account, const std::string& address,
                            TClock::time_point now) {
    std::lock_guard lock(mutex);
    Count(addresses, address, rules.address, now);
    Count(accounts, account, rules.account, now);
}

void TLoginThrottle::Abandoned(const std::string& account, const std::string& address,
                               TClock::time_point now) {
    std::lock_guard lock(mutex);
    for (auto [table, key] : {std::pair{&accounts, &account}, std::pair{&addresses, &address}}) {
        auto it = table->find(*key);
        if (it != table->end())
            it->second.nextAllowed = std::min(it->second.nextAllowed, now);
    }
}

void TLoginThrottle::Succeeded(const std::string& account, const std::string& address,
                               TClock::time_point now) {
    std::lock_guard lock(mutex);
    accounts.erase(account);
    addresses.erase(address);
    std::string pair = PairKey(account, address);
    if (!trusted.count(pair))
        DropStalest(trusted, rules.maxEntries, [](TClock::time_point t) { return t; });
    trusted[pair] = now;
}

} // namespace navlet::web
