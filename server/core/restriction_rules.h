// The words of restrictions as operators type them and listeners meet
// them: address ranges and durations. Pure functions, shared by the admin
// grammar (fuzzed alone) and the service.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace navlet::server {

// An IPv4 or IPv6 address range. IPv4 is held as IPv4-mapped IPv6, so that a
// dual-stack listener's "::ffff:10.0.0.1" falls in "10.0.0.0/8".
struct TAddressRange {
    std::array<uint8_t, 16> bytes{};
    int bits = 0; // of the 128
    bool Contains(const std::array<uint8_t, 16>& address) const;
};

// Reads "ADDR" or "ADDR/BITS" (IPv4 or IPv6); the host bits are cleared.
// `canonical`, when given, gets the range as it is stored ("10.0.0.0/8").
bool ParseAddressRange(std::string_view text, TAddressRange& range,
                       std::string* canonical = nullptr);
// A peer's address as the listeners give it; false when it is none.
bool ParseAddress(std::string_view text, std::array<uint8_t, 16>& bytes);

// "10m", "2h", "7d" or "forever" (0) in seconds; nullopt for anything else.
// At most ten years.
std::optional<int64_t> ParseRestrictionDuration(std::string_view text);

} // namespace navlet::server
