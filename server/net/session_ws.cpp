// The WebSocket side of a session: frames in, the packet stream out of their
// payloads; the turn's output as one binary message; pings, pongs and the
// closing handshake, each bounded.
#include <chrono>

#include "server/log/counters.h"
#include "server/net/session.h"
#include "server/net/session_server.h"
#include "server/net/ws_link.h"

namespace navlet::server {

bool TSession::ConsumeFrames(uint8_t* data, size_t size) {
    ws->lastInputMs = server.NowMs();
    ws->pinged = false;
    using TKind = ws::TFrameEvent::TKind;
    size_t at = 0;
    for (;;) {
        size_t used = 0;
        ws::TFrameEvent event = ws->decoder.Next(data + at, size - at, used);
        at += used;
        switch (event.kind) {
        case TKind::NeedMore:
            return !closed;
        case TKind::Data:
            if (event.text) {
                CloseWebSocket(ws::CLOSE_PROTOCOL); // the session's bytes are binary
                return false;
            }
            // Only an empty frame comes as a piece of nothing.
            if (event.frameStart && !TakeFrameBudget(event.size == 0 ? TFrameCarries::Nothing
                                                                     : TFrameCarries::SessionBytes))
                return false;
            // A packet may span messages and a message may hold several.
            if (!ConsumePackets(event.data, event.size))
                return false;
            break;
        case TKind::Ping:
            if (!TakeFrameBudget(TFrameCarries::Nothing))
                return false;
            QueueControl(ws::TOpcode::Pong,
                         std::string_view(reinterpret_cast<const char*>(event.data), event.size));
            break;
        case TKind::Pong:
            if (!TakeFrameBudget(TFrameCarries::Nothing))
                return false;
            break;
        case TKind::Close:
            ws->closeReceived = true;
            CloseWebSocket(event.code == ws::CLOSE_NO_STATUS ? ws::CLOSE_NORMAL : event.code);
            return false;
        case TKind::Error:
            CloseWebSocket(event.code);
            return false;
        }
        if (closed || ending || dropped)
            return false;
    }
}

// Each frame costs the loop a read whatever it carries, so each is a
// request, before sign-in too: past the rate it is a flood, not a browser.
// A data frame that brings a packet is paid for by the packet (a browser's
// request, one packet in one message, costs what it costs over TCP); one
// that brings none is counted when the next frame comes.
bool TSession::TakeFrameBudget(TFrameCarries carries) {
    const TSessionLimits& limits = server.Limits();
    int64_t now = server.NowMs();
    bool owed = ws->frameOwed;
    ws->frameOwed = false;
    bool over = owed && !requestBudget.Take(now, limits.requestsPerSecond, limits.requestBurst);
    if (!over && carries == TFrameCarries::Nothing)
        over = !requestBudget.Take(now, limits.requestsPerSecond, limits.requestBurst) ||
               !ws->emptyFrames.Take(now, limits.wsEmptyFramesPerSecond, limits.wsEmptyFrameBurst);
    if (over) {
        Flooded();
        return false;
    }
    ws->frameOwed = carries == TFrameCarries::SessionBytes;
    return true;
}

void TSession::Flooded() {
    if (client.SignedIn())
        server.Service().EndSession(client, REASON_FLOOD);
    else
        CloseWebSocket(ws::CLOSE_POLICY);
}

void TSession::FrameOutput() {
    if (!ws || output.size() == ws->framedEnd)
        return;
    uint8_t header[ws::MAX_FRAME_HEADER];
    size_t n = ws::WriteFrameHeader(header, ws::TOpcode::Binary, output.size() - ws->framedEnd);
    output.insert(ws->framedEnd, reinterpret_cast<const char*>(header), n);
    ws->framedEnd = output.size();
}

void TSession::QueueControl(ws::TOpcode opcode, std::string_view payload) {
    if (closed || dropped || ws->closeSent)
        return;
    HoldOutputBuffer();
    FrameOutput();
    ws::AppendFrame(output, opcode, payload);
    ws->framedEnd = output.size();
    if (opcode == ws::TOpcode::Close)
        ws->closeSent = true;
    Queued(TWhen::Now);
}

void TSession::CloseWebSocket(uint16_t code) {
    if (closed)
        return;
    QueueControl(ws::TOpcode::Close, ws::ClosePayload(code));
    counters::WebSocketClose(code);
    // Nothing more is read or delivered; the close ends it once written,
    // within the bound of any ended session.
    ending = true;
    endQueued = true;
    stageSinceMs = server.NowMs();
}

bool TSession::KeepAlive(int64_t nowMs) {
    if (!ws || closed || ending)
        return false;
    int64_t quiet = nowMs - ws->lastInputMs;
    const TSessionLimits& limits = server.Limits();
    if (quiet >= limits.wsIdleLimitMs)
        return true;
    if (quiet >= limits.wsPingAfterMs && !ws->pinged) {
        ws->pinged = true;
        QueueControl(ws::TOpcode::Ping, {});
    }
    return false;
}

void TSession::Linger() {
    auto self = shared_from_this();
    server.Lingering(self);
    ws->linger = std::make_unique<asio::steady_timer>(server.Io());
    ws->linger->expires_after(std::chrono::milliseconds(server.Limits().wsCloseWaitMs));
    ws->linger->async_wait([self](const std::error_code& ec) {
        if (!ec)
            self->CloseSocket();
    });
    LingerRead();
}

// Reads (and drops) what the peer still sends until its close frame comes,
// it goes, or the wait is over.
void TSession::LingerRead() {
    socket.async_wait(asio::socket_base::wait_read,
                      [self = shared_from_this()](const std::error_code& ec) {
                          if (ec || !self->socket.is_open())
                              self->CloseSocket();
                          else if (self->LingerTake())
                              self->LingerRead();
                      });
}

bool TSession::LingerTake() {
    auto& buffer = server.ReadBuffer();
    std::error_code ec;
    size_t n = socket.read_some(asio::buffer(buffer), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again)
        return true;
    if (ec || n == 0) {
        CloseSocket();
        return false;
    }
    // After a broken frame nothing more is read as frames: what still comes
    // is dropped until the peer goes or the wait ends, so that closing with
    // unread input does not reset the close frame away.
    if (ws->decoder.Broken())
        return true;
    size_t at = 0;
    for (;;) {
        size_t used = 0;
        ws::TFrameEvent event = ws->decoder.Next(buffer.data() + at, n - at, used);
        at += used;
        using TKind = ws::TFrameEvent::TKind;
        if (event.kind == TKind::NeedMore)
            return true;
        if (event.kind == TKind::Close || event.kind == TKind::Error) {
            CloseSocket();
            return false;
        }
    }
}

} // namespace navlet::server
