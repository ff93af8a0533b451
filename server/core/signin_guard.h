// The slow-down of password guessing, shared by the bar's sign-ins and the
// web site's profile form: failed attempts hold back their address and their
// account for a while. An address that signed in to the account with the
// right password lately is not held back by the account's count, and while
// the account is held back it keeps a steady spare allowance for addresses
// that have not failed, so that its owner gets in within seconds from a new
// place while a guesser's addresses, once they fail, gain nothing.
// Thread-safe: the web site checks from its own threads.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "server/core/failure_counter.h"

namespace navlet::server {

class TSignInGuard {
  public:
    static constexpr int64_t SPARE_EVERY_MS = 5000;
    static constexpr size_t GOOD_ADDRESSES = 4; // per account

    TSignInGuard();

    // 0 when an attempt for `account` (0: none known) from `address` may be
    // checked now; otherwise how long it must wait. A spare attempt is taken
    // when it is given.
    int64_t WaitMs(uint64_t account, const std::string& address, int64_t nowMs);
    // A wrong password, for the account (when known) and the address.
    void Failed(uint64_t account, const std::string& address, int64_t nowMs);
    // An attempt refused because it was held back: the address keeps
    // hammering, so it stays held back; the account is not charged.
    void Hammered(const std::string& address, int64_t nowMs);
    void Succeeded(uint64_t account, const std::string& address, int64_t nowMs);
    void Prune(int64_t nowMs);

  private:
    // An account's latest few good addresses, as keyed hashes (0: none):
    // every account that signed in lately has one, and the addresses' own
    // text would cost several times as much.
    struct TGood {
        std::array<uint64_t, GOOD_ADDRESSES> addresses{}; // oldest first
        int64_t lastMs = 0;
    };
    bool Good(uint64_t account, const std::string& address) const;
    // Never 0; equal for equal addresses. Without a key (libsodium failed)
    // always 0, so that no address counts as good.
    uint64_t AddressKey(const std::string& address) const;

    std::array<uint8_t, 16> key{}; // random, for this process
    bool keyed = false;
    std::mutex mutex;
    TFailureCounter byAddress{/*limit=*/10, /*drainMsPerFailure=*/6000};
    TFailureCounter byAccount{/*limit=*/20, /*drainMsPerFailure=*/3000};
    // Addresses that failed within about a quarter of an hour: they get no
    // spare attempt even when their own count has drained.
    TFailureCounter failedLately{/*limit=*/1, /*drainMsPerFailure=*/15 * 60 * 1000};
    std::unordered_map<uint64_t, TGood> good;
};

} // namespace navlet::server
