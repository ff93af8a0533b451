#include "server/web/owner_sessions.h"

#include <algorithm>
#include <random>

namespace navlet::web {
namespace {

constexpr size_t TOKEN_BYTES = 24;

// Hex of bytes from the system's random source (std::random_device reads
// the kernel's); empty when it cannot be had.
std::string RandomToken() {
    try {
        std::random_device source;
        std::string token;
        for (size_t i = 0; i < TOKEN_BYTES; ++i) {
            unsigned byte = source() & 0xFF;
            constexpr char HEX[] = "0123456789abcdef";
            token += HEX[byte >> 4];
            token += HEX[byte & 0xF];
        }
        return token;
    } catch (...) {
        return {};
    }
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string_view CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        size_t semicolon = header.find(';');
        std::string_view pair = Trim(header.substr(0, semicolon));
        header =
            semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
        size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name)
            return pair.substr(eq + 1);
    }
    return {};
}

bool SameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty())
        return false;
    unsigned char differ = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

std::string TOwnerSessions::SignIn(UserId user, TClock::time_point now) {
    std::string token = RandomToken();
    std::string formToken = RandomToken();
    if (token.empty() || formToken.empty())
        return {};
    std::lock_guard lock(mutex);
    if (sessions.size() >= maxSessions) {
        std::erase_if(sessions, [now](const auto& s) { return s.second.expires <= now; });
        if (sessions.size() >= maxSessions) {
            auto soonest = std::min_element(
                sessions.begin(), sessions.end(),
                [](const auto& a, const auto& b) { return a.second.expires < b.second.expires; });
            sessions.erase(soonest);
        }
    }
    sessions[token] = TSession{user, now + lifetime, std::move(formToken)};
    return token;
}

std::optional<TOwnerSessions::TOwner> TOwnerSessions::Session(std::string_view cookieHeader,
                                                              TClock::time_point now) {
    std::string_view token = CookieValue(cookieHeader, OWNER_COOKIE);
    if (token.size() != 2 * TOKEN_BYTES)
        return std::nullopt;
    std::lock_guard lock(mutex);
    auto it = sessions.find(token);
    if (it == sessions.end())
        return std::nullopt;
    if (it->second.expires <= now) {
        sessions.erase(it);
        return std::nullopt;
    }
    return TOwner{it->second.user, it->second.formToken};
}

void TOwnerSessions::SignOutEverywhere(UserId user) {
    std::lock_guard lock(mutex);
    std::erase_if(sessions, [user](const auto& s) { return s.second.user == user; });
}

std::string TOwnerSessions::CookieFor(const std::string& token) const {
    return std::string(OWNER_COOKIE) + "=" + token +
           "; Path=/; Max-Age=" + std::to_string(lifetime.count()) + "; HttpOnly; SameSite=Lax";
}

} // namespace navlet::web
