#include "client/core/privacy.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "protocol/ascii.h"

namespace navlet {

namespace {

constexpr size_t MAX_PATTERNS = 256;
constexpr size_t MAX_PATTERN_LENGTH = 255;

// '*' matches any run of characters; everything else itself.
bool Glob(std::string_view pattern, std::string_view text) {
    size_t p = 0, t = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool HostPatternNames(std::string_view pattern, const std::string& host) {
    const std::string folded = FoldCase(pattern);
    if (Glob(folded, host))
        return true;
    return folded.starts_with("*.") && Glob(std::string_view(folded).substr(2), host);
}

// Four decimal parts of 0 to 255, or false.
bool ParseIpv4(std::string_view host, std::array<int, 4>& parts) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t end = i < 3 ? host.find('.', at) : host.size();
        if (end == std::string_view::npos || end == at || end - at > 3)
            return false;
        int value = 0;
        for (size_t k = at; k < end; ++k) {
            if (host[k] < '0' || host[k] > '9')
                return false;
            value = value * 10 + (host[k] - '0');
        }
        if (value > 255)
            return false;
        parts[size_t(i)] = value;
        at = end + 1;
    }
    return true;
}

bool IsLocalIpv6(std::string_view host) {
    if (host.size() < 3 || host.front() != '[' || host.back() != ']')
        return false;
    const std::string_view inner = host.substr(1, host.size() - 2);
    if (inner == "::1" || inner == "::")
        return true;
    // fe80::/10 link-local, fc00::/7 unique local.
    const size_t colon = inner.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 4)
        return false;
    const unsigned long word =
        std::strtoul(std::string(inner.substr(0, colon)).c_str(), nullptr, 16);
    return (word & 0xFFC0) == 0xFE80 || (word & 0xFE00) == 0xFC00;
}

} // namespace

std::string PageHostName(std::string_view address) {
    std::string_view host = address.substr(0, address.find('/'));
    if (host.starts_with('[')) {
        const size_t close = host.find(']');
        if (close != std::string_view::npos)
            host = host.substr(0, close + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    return FoldCase(host);
}

bool PatternNamesPage(std::string_view pattern, std::string_view address) {
    const size_t slash = pattern.find('/');
    if (!HostPatternNames(pattern.substr(0, slash), PageHostName(address)))
        return false;
    if (slash == std::string_view::npos)
        return true;
    std::string_view wantedPath = pattern.substr(slash);
    while (wantedPath.size() > 1 && wantedPath.back() == '/')
        wantedPath.remove_suffix(1);
    const size_t pathAt = address.find('/');
    const std::string_view path =
        pathAt == std::string_view::npos ? std::string_view("/") : address.substr(pathAt);
    if (wantedPath == "/")
        return true;
    // The path itself or a page below it: "/login" names "/login/oauth", not "/logins".
    return path.starts_with(wantedPath) &&
           (path.size() == wantedPath.size() || path[wantedPath.size()] == '/');
}

bool IsLoopbackHost(std::string_view hostName) {
    const std::string host = FoldCase(hostName);
    if (host == "localhost" || host.ends_with(".localhost") || host == "[::1]")
        return true;
    std::array<int, 4> ip{};
    return ParseIpv4(host, ip) && ip[0] == 127;
}

bool IsLocalNetworkHost(std::string_view hostName) {
    if (IsLoopbackHost(hostName))
        return true;
    const std::string host = FoldCase(hostName);
    std::array<int, 4> ip{};
    if (ParseIpv4(host, ip))
        return ip[0] == 10 || ip[0] == 0 || (ip[0] == 172 && ip[1] >= 16 && ip[1] <= 31) ||
               (ip[0] == 192 && ip[1] == 168) || (ip[0] == 169 && ip[1] == 254);
    return IsLocalIpv6(host);
}

const std::vector<std::string>& BuiltInNeverReported() {
    static const std::vector<std::string> patterns = {
        "*.local",
        "*.internal",
        "*.lan",
        "accounts.google.com",
        "login.microsoftonline.com",
        "login.live.com",
        "appleid.apple.com",
        "*.okta.com",
        "*.auth0.com",
        "github.com/login",
        "*paypal.com",
    };
    return patterns;
}

std::vector<std::string> ParsePatternList(std::string_view text) {
    std::vector<std::string> patterns;
    size_t at = 0;
    while (at < text.size() && patterns.size() < MAX_PATTERNS) {
        const size_t start = text.find_first_not_of(" \t\r\n,;", at);
        if (start == std::string_view::npos)
            break;
        size_t end = text.find_first_of(" \t\r\n,;", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view one = text.substr(start, end - start);
        if (one.size() <= MAX_PATTERN_LENGTH &&
            std::find(patterns.begin(), patterns.end(), one) == patterns.end())
            patterns.emplace_back(one);
        at = end;
    }
    return patterns;
}

std::string JoinPatternList(const std::vector<std::string>& patterns) {
    std::string text;
    for (const std::string& pattern : patterns) {
        if (!text.empty())
            text += ' ';
        text += pattern;
    }
    return text;
}

} // namespace navlet
