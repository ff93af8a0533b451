// Who is signed in to the web site in which browser: an account that proved
// its password on the site (sign-up, profile change) gets a random token in a
// cookie. Kept in memory only, bounded, each for a few hours; a restart signs
// everybody out of the site, which costs them nothing but a password entry.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/chat_address.h"

namespace navlet::web {

inline constexpr std::string_view OWNER_COOKIE = "navlet_owner";

class TOwnerSessions {
  public:
    using TClock = std::chrono::steady_clock;

    explicit TOwnerSessions(std::chrono::seconds lifetime = std::chrono::hours(12),
                            size_t maxSessions = 20000)
        : lifetime(lifetime), maxSessions(maxSessions) {}

    // A new token for `user`; empty when no random source could be had.
    std::string SignIn(UserId user, TClock::time_point now);
    // The user a request's Cookie header names, while its token lives, and
    // the token its forms carry: a form posted from another site has the
    // browser's cookie but cannot read the page that holds this one.
    struct TOwner {
        UserId user = 0;
        std::string formToken;
    };
    std::optional<TOwner> Session(std::string_view cookieHeader, TClock::time_point now);
    std::optional<UserId> Owner(std::string_view cookieHeader, TClock::time_point now) {
        auto session = Session(cookieHeader, now);
        return session ? std::optional<UserId>(session->user) : std::nullopt;
    }
    // Ends every session of `user`, as after a change of password.
    void SignOutEverywhere(UserId user);
    // The Set-Cookie value that hands `token` to the browser.
    std::string CookieFor(const std::string& token) const;

  private:
    struct TSession {
        UserId user = 0;
        TClock::time_point expires;
        std::string formToken;
    };

    std::chrono::seconds lifetime;
    size_t maxSessions;
    std::mutex mutex;
    std::map<std::string, TSession, std::less<>> sessions;
};

// Whether a form's token is the session's, compared in constant time.
bool SameToken(std::string_view a, std::string_view b);

// The value of cookie `name` in a Cookie header ("a=1; b=2"); empty when absent.
std::string_view CookieValue(std::string_view header, std::string_view name);

} // namespace navlet::web
