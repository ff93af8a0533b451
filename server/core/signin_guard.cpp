#include "server/core/signin_guard.h"

#include <sodium.h>

#include <algorithm>

namespace navlet::server {
namespace {

constexpr size_t GOOD_ACCOUNTS = 1 << 16; // the stalest go first
constexpr int64_t GOOD_FOR_MS = int64_t(24) * 3600 * 1000;

} // namespace

TSignInGuard::TSignInGuard() {
    static_assert(sizeof key == crypto_shorthash_KEYBYTES);
    // sodium_init is idempotent and thread-safe.
    if (sodium_init() < 0)
        return;
    randombytes_buf(key.data(), key.size());
    keyed = true;
}

// SipHash under a key an outsider never sees: nobody can pick an address
// whose hash matches an owner's.
uint64_t TSignInGuard::AddressKey(const std::string& address) const {
    if (!keyed)
        return 0;
    uint8_t out[crypto_shorthash_BYTES];
    crypto_shorthash(out, reinterpret_cast<const uint8_t*>(address.data()), address.size(),
                     key.data());
    uint64_t hash = 0;
    for (size_t i = 0; i < sizeof out; ++i)
        hash = (hash << 8) | out[i];
    return hash != 0 ? hash : 1;
}

bool TSignInGuard::Good(uint64_t account, const std::string& address) const {
    auto it = good.find(account);
    if (it == good.end())
        return false;
    const uint64_t hash = AddressKey(address);
    const auto& addresses = it->second.addresses;
    return hash != 0 && std::find(addresses.begin(), addresses.end(), hash) != addresses.end();
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
    const uint64_t hash = AddressKey(address);
    auto& addresses = entry.addresses;
    if (hash == 0 || std::find(addresses.begin(), addresses.end(), hash) != addresses.end())
        return;
    // Into the first free place, or the oldest goes.
    auto free = std::find(addresses.begin(), addresses.end(), uint64_t(0));
    if (free == addresses.end()) {
        std::move(addresses.begin() + 1, addresses.end(), addresses.begin());
        free = addresses.end() - 1;
    }
    *free = hash;
}

void TSignInGuard::Prune(int64_t nowMs) {
    std::lock_guard lock(mutex);
    byAddress.Prune(nowMs);
    byAccount.Prune(nowMs);
    failedLately.Prune(nowMs);
    std::erase_if(good, [nowMs](const auto& e) { return nowMs - e.second.lastMs > GOOD_FOR_MS; });
}

} // namespace navlet::server
