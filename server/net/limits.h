// Bounds that keep one hostile or broken client from hurting the others.
#pragma once

#include <cstddef>
#include <cstdint>

namespace navlet::server {

struct TSessionLimits {
    size_t maxConnections = 20000;        // all together
    size_t maxPerAddress = 100;           // connections of one peer address
    size_t maxSigningInPerAddress = 20;   // of those, not yet signed in
    int64_t signInDeadlineMs = 20000;     // from accept to an accepted login
    int64_t closingDeadlineMs = 10000;    // for the last bytes of an ended session
    int64_t reasonHoldMs = 7000;          // a reason notice shows before the end follows
    size_t maxPendingOutput = 256u << 10; // bytes queued for a slow reader
    // A long welcome is queued up to this much at a time, and more follows
    // once less than a quarter of it waits: well under the bound above, so
    // live lines still fit beside it.
    size_t welcomeBatch = 96u << 10;
    // Other users' arrivals and departures wait this long for company before
    // they are written (anything else written sooner takes them along).
    int64_t presenceWaitMs = 50;
    // All requests of a signed-in session; over WebSocket each frame is one
    // too, before sign-in as well, unless a packet it brings pays for it.
    double requestsPerSecond = 200;
    double requestBurst = 400;
    // WebSocket frames that carry none of the session's bytes (empty data
    // frames, pings, pongs) cost a read each and deliver nothing. A browser
    // sends one pong per ping of ours and no other, so a few are allowed,
    // refilled at one per 5 s; past them the session is closed.
    double wsEmptyFramesPerSecond = 0.2;
    double wsEmptyFrameBurst = 10;
    // WebSocket sessions: a peer quiet this long is pinged (proxies cut
    // quiet connections; browsers answer pings by themselves), one quiet
    // for the second bound is gone; the peer's close frame is awaited this
    // long after ours.
    int64_t wsPingAfterMs = 30000;
    int64_t wsIdleLimitMs = 75000;
    int64_t wsCloseWaitMs = 2000;
};

} // namespace navlet::server
