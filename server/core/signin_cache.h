// Remembers recent successful password checks in memory, so that a bar that
// signs in again with the same password (a new window, a reconnection after
// a network blip) does not pay for a second hash run. Only a keyed fast hash
// of the account, its stored hash and the password is kept, under a random
// key made for this process; nothing is ever written anywhere. The stored
// hash binds an entry to the password it was checked against: a password
// changed where this process does not hear of it (the web site's form,
// another node) no longer matches. Not thread-safe: the service's thread
// owns it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace navlet::server {

class TSignInCache {
  public:
    static constexpr int64_t LIFETIME_MS = 4 * 3600 * 1000;
    static constexpr size_t MAX_ENTRIES = 1 << 16; // the oldest go first

    TSignInCache();

    // Whether `password` passed the check against `storedHash` of `account`
    // within the lifetime.
    bool Knows(uint64_t account, std::string_view storedHash, std::string_view password,
               int64_t nowMs) const;
    void Remember(uint64_t account, std::string_view storedHash, std::string_view password,
                  int64_t nowMs);
    // A password change, or the account gone.
    void Forget(uint64_t account) { entries.erase(account); }
    // Drops what has outlived its lifetime.
    void Prune(int64_t nowMs);
    size_t Size() const { return entries.size(); }

  private:
    // A keyed BLAKE2b of 128 bits: without the key nobody can make one match,
    // and every account signed in lately has an entry.
    using TDigest = std::array<uint8_t, 16>;
    struct TEntry {
        TDigest digest;
        int64_t madeMs = 0;
    };
    TDigest Digest(uint64_t account, std::string_view storedHash, std::string_view password) const;

    std::array<uint8_t, 32> key;
    bool usable = true;
    std::unordered_map<uint64_t, TEntry> entries; // the latest good password per account
};

} // namespace navlet::server
