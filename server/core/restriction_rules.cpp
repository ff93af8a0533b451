#include "server/core/restriction_rules.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>

#include "protocol/ascii.h"

namespace navlet::server {

namespace {
constexpr int64_t MAX_DURATION_S = 3650LL * 86400;
} // namespace

bool TAddressRange::Contains(const std::array<uint8_t, 16>& address) const {
    int whole = bits / 8, rest = bits % 8;
    if (std::memcmp(address.data(), bytes.data(), size_t(whole)) != 0)
        return false;
    if (rest == 0)
        return true;
    uint8_t mask = uint8_t(0xFF << (8 - rest));
    return (address[size_t(whole)] & mask) == bytes[size_t(whole)];
}

bool ParseAddress(std::string_view text, std::array<uint8_t, 16>& bytes) {
    if (text.empty() || text.size() > 45)
        return false;
    std::string z(text);
    bytes = {};
    in_addr v4{};
    if (inet_pton(AF_INET, z.c_str(), &v4) == 1) {
        bytes[10] = bytes[11] = 0xFF;
        std::memcpy(bytes.data() + 12, &v4, 4);
        return true;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, z.c_str(), &v6) != 1)
        return false;
    std::memcpy(bytes.data(), &v6, 16);
    return true;
}

bool ParseAddressRange(std::string_view text, TAddressRange& range, std::string* canonical) {
    size_t slash = text.find('/');
    std::string_view address = text.substr(0, slash);
    bool v4 = address.find(':') == std::string_view::npos;
    if (!ParseAddress(address, range.bytes))
        return false;
    int bits = v4 ? 32 : 128;
    if (slash != std::string_view::npos) {
        std::string_view n = text.substr(slash + 1);
        auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), bits);
        if (n.empty() || ec != std::errc() || end != n.data() + n.size() || bits < 0 ||
            bits > (v4 ? 32 : 128))
            return false;
    }
    range.bits = v4 ? bits + 96 : bits;
    for (int i = range.bits; i < 128; ++i)
        range.bytes[size_t(i / 8)] &= uint8_t(~(0x80 >> (i % 8)));
    if (!canonical)
        return true;
    char out[INET6_ADDRSTRLEN] = {};
    if (v4)
        inet_ntop(AF_INET, range.bytes.data() + 12, out, sizeof out);
    else
        inet_ntop(AF_INET6, range.bytes.data(), out, sizeof out);
    *canonical = std::string(out) + "/" + std::to_string(bits);
    return true;
}

std::optional<int64_t> ParseRestrictionDuration(std::string_view text) {
    if (FoldCase(text) == "forever")
        return 0;
    if (text.size() < 2)
        return std::nullopt;
    int64_t unit = 0;
    switch (text.back()) {
    case 'm':
        unit = 60;
        break;
    case 'h':
        unit = 3600;
        break;
    case 'd':
        unit = 86400;
        break;
    default:
        return std::nullopt;
    }
    int64_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size() - 1, n);
    if (ec != std::errc() || end != text.data() + text.size() - 1 || n <= 0 ||
        n > MAX_DURATION_S / unit)
        return std::nullopt;
    return n * unit;
}

} // namespace navlet::server
