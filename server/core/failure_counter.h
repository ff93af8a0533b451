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
    void Fail(const std::string& key, int64_t nowMs);
    // Forgets keys that have drained; also done when the table is full.
    void Prune(int64_t nowMs);
    size_t Size() const { return entries.size(); }

  private:
    struct TEntry {
        double count = 0;
        int64_t atMs = 0;
    };
    double CountNow(const TEntry& entry, int64_t nowMs) const;

    double limit;
    int64_t drainMs;
    size_t maxKeys;
    std::unordered_map<std::string, TEntry> entries;
};

} // namespace navlet::server
