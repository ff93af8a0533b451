#include "client/core/peer_text.h"

#include <algorithm>

#include "protocol/ascii.h"

namespace navlet {

namespace {

constexpr std::string_view WEB_SCHEMES[] = {"http://", "https://"};

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsFolded(text.substr(0, prefix.size()), prefix);
}

bool HasWebScheme(std::string_view address) {
    return std::any_of(std::begin(WEB_SCHEMES), std::end(WEB_SCHEMES),
                       [address](std::string_view s) { return StartsWithFolded(address, s); });
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Letters of a code page (from 0x80 up) stand for a name's non-ASCII letters.
bool IsLabelByte(char c) {
    return IsAsciiAlnum(c) || c == '-' || c == '_' || (uint8_t(c) >= 0x80 && !IsControlByte(c));
}

// Dot-separated labels, none empty and none with a hyphen at either end.
bool IsHostName(std::string_view host) {
    if (host.empty())
        return false;
    size_t start = 0;
    for (;;) {
        const size_t dot = host.find('.', start);
        const std::string_view label =
            host.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty() || label.front() == '-' || label.back() == '-' ||
            !std::all_of(label.begin(), label.end(), IsLabelByte))
            return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

bool IsBracketedIpv6(std::string_view host) {
    if (host.size() < 4 || host.front() != '[' || host.back() != ']')
        return false;
    const std::string_view inside = host.substr(1, host.size() - 2);
    return inside.find(':') != std::string_view::npos &&
           std::all_of(inside.begin(), inside.end(),
                       [](char c) { return HexDigitValue(c) >= 0 || c == ':' || c == '.'; });
}

bool IsPort(std::string_view port) {
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    long value = 0;
    for (char c : port)
        value = value * 10 + (c - '0');
    return value >= 1 && value <= 65535;
}

// host, host:port, [v6] or [v6]:port.
bool IsAuthority(std::string_view authority) {
    const size_t close = authority.rfind(']');
    const size_t colon = authority.rfind(':');
    const bool hasPort =
        colon != std::string_view::npos && (close == std::string_view::npos || colon > close);
    const std::string_view host = hasPort ? authority.substr(0, colon) : authority;
    if (hasPort && !IsPort(authority.substr(colon + 1)))
        return false;
    return IsHostName(host) || IsBracketedIpv6(host);
}

} // namespace

bool IsControlByte(char c) {
    const uint8_t b = uint8_t(c);
    return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

std::string Blanked(std::string text) {
    std::replace_if(text.begin(), text.end(), IsControlByte, ' ');
    return text;
}

std::string BlankedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = uint8_t(text[i]);
        // A C1 control is 0xC2 0x80-0x9F; other bytes from 0x80 are parts
        // of letters.
        if (b == 0xC2 && i + 1 < text.size() && uint8_t(text[i + 1]) <= 0x9F &&
            uint8_t(text[i + 1]) >= 0x80) {
            out += ' ';
            ++i;
            continue;
        }
        out += b < 0x20 || b == 0x7F ? ' ' : char(b);
    }
    return out;
}

std::string WithWebScheme(std::string_view address) {
    if (HasWebScheme(address))
        return std::string(address);
    return "http://" + std::string(address);
}

std::optional<std::string> OpenableLink(std::string_view link) {
    if (link.empty())
        return std::string();
    if (std::any_of(link.begin(), link.end(), [](char c) { return c == ' ' || IsControlByte(c); }))
        return std::nullopt;
    std::string_view rest = link;
    for (std::string_view scheme : WEB_SCHEMES) {
        if (StartsWithFolded(rest, scheme)) {
            rest.remove_prefix(scheme.size());
            break;
        }
    }
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (!IsAuthority(authority))
        return std::nullopt;
    return WithWebScheme(link);
}

} // namespace navlet
