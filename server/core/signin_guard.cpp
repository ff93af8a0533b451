#include "server/core/signin_guard.h"

#include <algorithm>

namespace navlet::server {
namespace {

constexpr size_t GOOD_ADDRESSES = 4;      // per account
constexpr size_t GOOD_ACCOUNTS = 1 << 16; // the stalest go first
constexpr int64_t GOOD_FOR_MS = int64_t(24) * 3600 * 1000;

} // namespace

bool TSignInGuard::Good(uint64_t account, const std::string& address) const {
    auto it = good.find(account);
    return it != good.end() && std::find(it->second.addresses.begin(), it->second.addresses.end(),
                                         address) != it->second.addresses.end();
}

int64_t TSignInGuard::WaitMs(uint64_t account, const std::string& address, int64_t nowMs) {
    std::lock_guard lock(mutex);
    if (int64_t wait = byAddress.WaitMs(address, nowMs))
        return wait;
    if (account == 0 || Good(account, address))
        return 0;
    std::string key = std::to_string(account);
    int64_t wait = byAccount.WaitMs(key, nowMs);
    if (wait == 0)
        return 0;
    if (!failedLately.Failing(address, nowMs) && byAccount.TakeSpare(key, nowMs, SPARE_EVERY_MS))
        return 0;
    return std::max<int64_t>(wait, 1);
}

void TSignInGuard::Failed(uint64_t account, const std::string& address, int64_t nowMs) {
    std::lock_guard lock(mutex);
    if (!address.empty()) {
        byAddress.Fail(address, nowMs);
        failedLately.Fail(address, nowMs);
    }
    if (account != 0)
        byAccount.Fail(std::to_string(account), nowMs);
}

void TSignInGuard::Hammered(const std::string& address, int64_t nowMs) {
    std::lock_guard lock(mutex);
    if (!address.empty())
        byAddress.Fail(address, nowMs);
}

void TSignInGuard::Succeeded(uint64_t account, const std::string& address, int64_t nowMs) {
    if (account == 0 || address.empty())
        return;
    std::lock_guard lock(mutex);
    if (good.size() >= GOOD_ACCOUNTS && !good.count(account))
        good.erase(std::min_element(good.begin(), good.end(), [](const auto& a, const auto& b) {
            return a.second.lastMs < b.second.lastMs;
        }));
    TGood& entry = good[account];
    entry.lastMs = nowMs;
    auto& addresses = entry.addresses;
    if (std::find(addresses.begin(), addresses.end(), address) != addresses.end())
        return;
    if (addresses.size() >= GOOD_ADDRESSES)
        addresses.erase(addresses.begin());
    addresses.push_back(address);
}

void TSignInGuard::Prune(int64_t nowMs) {
    std::lock_guard lock(mutex);
    byAddress.Prune(nowMs);
    byAccount.Prune(nowMs);
    failedLately.Prune(nowMs);
    std::erase_if(good, [nowMs](const auto& e) { return nowMs - e.second.lastMs > GOOD_FOR_MS; });
}

} // namespace navlet::server
