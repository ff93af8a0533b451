// Recent failed password attempts per key (an account, a peer address): each
// failure adds one and the count drains at a steady pace, so a key is held
// back only while failures keep coming faster than the drain. Not
// thread-safe: the service's thread owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace navlet::server {

class TFailureCounter {
  public:
    // `limit` failures at once, then one per `drainMsPerFailure`.
    TFailureCounter(double limit, int64_t drainMsPerFailure, size_t maxKeys = 1u << 16)
        : limit(limit), drainMs(drainMsPerFailure), maxKeys(maxKeys) {}

    bool Over(const std::string& key, int64_t nowMs) const;
    // How long until `key` is no longer over the limit; 0 when it is not.
    int64_t WaitMs(const std::string& key, int64_t nowMs) const;
    // Whether `key` has failed lately at all.
    bool Failing(const std::string& key, int64_t nowMs) const;
    // True (and taken) when `everyMs` have passed since the first of the
    // key's recent failures, or since the spare attempt taken last.
    bool TakeSpare(const std::string& key, int64_t nowMs, int64_t everyMs);
    void Fail(const std::string& key, int64_t nowMs);
    // Forgets keys that have drained; also done when the table is full.
    void Prune(int64_t nowMs);
    size_t Size() const { return entries.size(); }

  private:
    struct TEntry {
        double count = 0;
        int64_t atMs = 0;
        int64_t spareMs = 0; // the first recent failure, or the last spare attempt
    };
    double CountNow(const TEntry& entry, int64_t nowMs) const;

    double limit;
    int64_t drainMs;
    size_t maxKeys;
    std::unordered_map<std::string, TEntry> entries;
};

} // namespace navlet::server
