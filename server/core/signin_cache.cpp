#include "server/core/signin_cache.h"

#include <sodium.h>

#include <algorithm>

namespace navlet::server {

TSignInCache::TSignInCache() {
    // sodium_init is idempotent and thread-safe; without it there is no
    // safe random key, and an empty cache is always correct.
    if (sodium_init() < 0) {
        key.fill(0);
        usable = false;
        return;
    }
    randombytes_buf(key.data(), key.size());
}

namespace {

void AddNumber(crypto_generichash_state& state, uint64_t n) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = uint8_t(n >> (8 * i));
    crypto_generichash_update(&state, bytes, sizeof bytes);
}

} // namespace

TSignInCache::TDigest TSignInCache::Digest(uint64_t account, std::string_view storedHash,
                                           std::string_view password) const {
    TDigest out;
    static_assert(sizeof out >= crypto_generichash_BYTES_MIN);
    crypto_generichash_state state;
    crypto_generichash_init(&state, key.data(), key.size(), out.size());
    AddNumber(state, account);
    // Its length first, so that no other split of the same bytes matches.
    AddNumber(state, storedHash.size());
    crypto_generichash_update(&state, reinterpret_cast<const uint8_t*>(storedHash.data()),
                              storedHash.size());
    crypto_generichash_update(&state, reinterpret_cast<const uint8_t*>(password.data()),
                              password.size());
    crypto_generichash_final(&state, out.data(), out.size());
    return out;
}

bool TSignInCache::Knows(uint64_t account, std::string_view storedHash, std::string_view password,
                         int64_t nowMs) const {
    auto it = entries.find(account);
    if (!usable || it == entries.end() || nowMs - it->second.madeMs > LIFETIME_MS)
        return false;
    TDigest digest = Digest(account, storedHash, password);
    return sodium_memcmp(digest.data(), it->second.digest.data(), digest.size()) == 0;
}

void TSignInCache::Remember(uint64_t account, std::string_view storedHash,
                            std::string_view password, int64_t nowMs) {
    if (!usable)
        return;
    if (entries.size() >= MAX_ENTRIES && !entries.count(account)) {
        Prune(nowMs);
        if (entries.size() >= MAX_ENTRIES)
            entries.erase(std::min_element(entries.begin(), entries.end(), [](auto& a, auto& b) {
                return a.second.madeMs < b.second.madeMs;
            }));
    }
    entries[account] = TEntry{Digest(account, storedHash, password), nowMs};
}

void TSignInCache::Prune(int64_t nowMs) {
    std::erase_if(entries,
                  [nowMs](const auto& e) { return nowMs - e.second.madeMs > LIFETIME_MS; });
}

} // namespace navlet::server
