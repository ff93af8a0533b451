// Refusals that a peer can cause at will (wrong passwords, sign-ups past the
// allowance, connections past a bound) are logged in full only the first few
// times per address in a window; the rest are counted, and the count goes in
// one line when the window ends ("412 sign-ins refused for too many attempts
// from 127.0.51.1 in the last 60 s"). So a flood costs a bounded number of
// lines per minute, whatever its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "server/log/log.h"

namespace navlet::server::log {

class TRefusalLog {
  public:
    struct TLimits {
        int64_t windowMs = 60000;
        int fullPerWindow = 3;      // lines in full per kind and address
        size_t maxAddresses = 1024; // past it, new addresses share one count
    };
    TRefusalLog() = default;
    explicit TRefusalLog(TLimits limits) : limits(limits) {}

    // Counts one refusal of `kind` (a plural phrase, "sign-ins refused for
    // too many attempts") from `address`; true when it is to be logged in
    // full. False, counting nothing, when `level` is not in force.
    bool Note(TLevel level, std::string_view subsystem, std::string_view kind,
              std::string_view address, int64_t nowMs);
    // Logs the summaries of the windows that are over and forgets them.
    // Call about once a second.
    void Flush(int64_t nowMs);
    size_t Tracked() const;

    // The key under which addresses past maxAddresses are counted.
    static constexpr std::string_view OTHERS = "other addresses";

  private:
    struct TWindow {
        int64_t startMs = 0;
        uint64_t count = 0;
        TLevel level = TLevel::Info;
        std::string subsystem;
    };
    using TKey = std::pair<std::string, std::string>; // kind, address
    void Summarise(const TKey& key, const TWindow& window) const;

    TLimits limits;
    mutable std::mutex mutex;
    std::map<TKey, TWindow> windows;
};

// The process's one refusal log, on the steady clock.
bool NoteRefusal(TLevel level, std::string_view subsystem, std::string_view kind,
                 std::string_view address);
void FlushRefusals();

} // namespace navlet::server::log
