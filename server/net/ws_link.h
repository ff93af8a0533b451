// What a session over WebSocket keeps beside a TCP session's state: the frame
// decoder, where the framed part of the output ends, the quiet-peer ping, the
// closing handshake and the allowance for frames that carry nothing.
#pragma once

#include <asio.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "server/core/client.h"
#include "server/websocket/ws_frame.h"

namespace navlet::server {

struct TWsLink {
    ws::TFrameDecoder decoder{ws::TRole::Server};
    // Output before this offset is in frames already; what follows is the
    // turn's packets, framed as one message when the turn writes.
    size_t framedEnd = 0;
    int64_t lastInputMs = 0;
    bool pinged = false;        // since the last input
    bool closeSent = false;     // nothing may follow our close frame
    bool closeReceived = false; // or the peer has gone
    // The latest data frame has brought no whole packet yet: a packet pays
    // for the frame that brings it, else the next frame counts it.
    bool frameOwed = false;
    TRateBudget emptyFrames; // frames that carry no session bytes
    // After our close frame, the wait for the peer's (bounded).
    std::unique_ptr<asio::steady_timer> linger;
};

} // namespace navlet::server
