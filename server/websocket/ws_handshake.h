// The HTTP/1.1 upgrade to a WebSocket (RFC 6455 version 13), both sides, as
// pure functions: the server's checks of a request head already read within
// the web site's bounds, its 101 answer, and the client's request and its
// check of the answer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "server/web/request/request_head.h"

namespace navlet::ws {

// Which web origins may open a session. Browsers send `Origin` with every
// WebSocket request, and any page can make a browser open one, so a page of
// a foreign site must not be able to use a visitor's browser as a bar.
class TOriginPolicy {
  public:
    // Browser extensions (chrome-extension://, moz-extension://) only.
    static TOriginPolicy Default();
    // Entries: an origin ("https://example.org"), "SCHEME://*" for any
    // origin of that scheme, or "*" for any origin at all.
    explicit TOriginPolicy(std::vector<std::string> entries) : entries(std::move(entries)) {}

    // A request without Origin comes from no browser page and is allowed; so
    // is the site's own origin (an origin whose host part equals `host`, the
    // request's Host field).
    bool Allows(std::string_view origin, std::string_view host) const;

  private:
    std::vector<std::string> entries;
};

// 0 when `request` may become a WebSocket; else the status to refuse it with:
// 400 for a request that is no valid version-13 upgrade (method, Upgrade,
// Connection, Sec-WebSocket-Version, Sec-WebSocket-Key), 403 for an origin
// the policy refuses.
int CheckUpgradeRequest(const web::THttpRequest& request, const TOriginPolicy& origins);

// The Sec-WebSocket-Accept value for a client's key.
std::string AcceptKey(std::string_view key);
// The whole 101 answer, blank line included.
std::string UpgradeResponse(std::string_view key);

// A client's upgrade request for `path` on `host` (with `origin` unless empty).
std::string UpgradeRequest(std::string_view host, std::string_view path, std::string_view key,
                           std::string_view origin = {});
// True when `head` (up to its blank line) is a 101 answer accepting `key`.
bool CheckUpgradeResponse(std::string_view head, std::string_view key);
// A fresh key: 16 bytes from `seed`, base64-encoded.
std::string MakeKey(uint64_t seed);

std::string Base64(std::string_view bytes);
// The 20-byte SHA-1 digest of `bytes`.
std::string Sha1(std::string_view bytes);

} // namespace navlet::ws
