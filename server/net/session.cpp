#include "server/net/session.h"

#include <utility>

#include "protocol/messages.h"
#include "protocol/requests.h"
#include "server/log/refusals.h"
#include "server/net/session_server.h"
#include "server/net/ws_link.h"

namespace navlet::server {

namespace {

// At most this much is read from one session per loop turn, so that one busy
// peer cannot hold the loop.
constexpr size_t READ_PER_TURN = 64u << 10;
constexpr int SEND_BUFFER = 64 << 10;

const TWireRef& EndSessionWire() {
    static const TWireRef wire = [] {
        TPacket p;
        ClearPacket(p);
        return EncodeWire(p, WriteEndSession(p), MSG_END_SESSION);
    }();
    return wire;
}

// A ticker notice (a line from user 0 to chat 0x200) that the bar shows once.
TWireRef ReasonWire(std::string_view reason) {
    constexpr ChatId TICKER_NOTICE = 0x200;
    return ChatLineWire(MakeChatAddress(0, TICKER_NOTICE), reason);
}

} // namespace

TSession::TSession(TSessionServer& server, TSessionSocket socket, std::string address,
                   std::unique_ptr<TWsLink> ws)
    : server(server), socket(std::move(socket)), ws(std::move(ws)), client(*this),
      acceptedMs(server.NowMs()) {
    client.address = std::move(address);
    client.overWebSocket = this->ws != nullptr;
    if (this->ws)
        this->ws->lastInputMs = acceptedMs;
}

TSession::~TSession() = default;

void TSession::Start(std::string greeting, std::string early) {
    std::error_code ec;
    socket.non_blocking(true, ec);
    socket.set_option(asio::ip::tcp::no_delay(true), ec);
    socket.set_option(asio::socket_base::keep_alive(true), ec);
    // A fixed send buffer: the kernel's autotuning would let a peer that stops
    // reading pin megabytes; what does not fit waits in the bounded queue.
    socket.set_option(asio::socket_base::send_buffer_size(SEND_BUFFER), ec);
#ifdef TCP_KEEPIDLE
    // A signed-in bar may be silent for hours; keep-alive finds dead peers.
    int idle = 300, interval = 60, count = 5;
    setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
    if (!greeting.empty()) {
        output = std::move(greeting);
        if (ws)
            ws->framedEnd = output.size();
        Queued(TWhen::Now);
    }
    auto& buffer = server.ReadBuffer();
    if (!early.empty() && early.size() <= buffer.size()) {
        std::copy(early.begin(), early.end(), buffer.begin());
        if (!Consume(buffer.data(), early.size()))
            return;
    }
    WaitReadable();
}

void TSession::WaitReadable() {
    socket.async_wait(asio::socket_base::wait_read,
                      [self = shared_from_this()](const std::error_code& ec) {
                          if (ec || self->closed)
                              return;
                          self->ReadAvailable();
                      });
}

void TSession::ReadAvailable() {
    auto& buffer = server.ReadBuffer();
    size_t total = 0;
    while (!closed && total < READ_PER_TURN) {
        std::error_code ec;
        size_t n = socket.read_some(asio::buffer(buffer), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again)
            break;
        if (ec || n == 0) {
            if (ws)
                ws->closeReceived = true; // nobody is left to answer a close
            Close();
            return;
        }
        total += n;
        if (!Consume(buffer.data(), n))
            return;
    }
    if (closed)
        return;
    // Only an unfinished packet keeps the assembler's packet-sized buffer.
    if (assembler && assembler->Pending() == 0)
        assembler.reset();
    if (total >= READ_PER_TURN) {
        asio::post(server.Io(), [self = shared_from_this()] {
            if (!self->closed)
                self->ReadAvailable();
        });
        return;
    }
    WaitReadable();
}

bool TSession::Consume(uint8_t* data, size_t size) {
    return ws ? ConsumeFrames(data, size) : ConsumePackets(data, size);
}

bool TSession::ConsumePackets(const uint8_t* data, size_t size) {
    // Whole packets are assembled on the stack; only one left unfinished
    // costs the session an assembler of its own.
    TPacketAssembler local;
    TPacketAssembler& in = assembler ? *assembler : local;
    size_t at = 0;
    while (at < size) {
        size_t used = 0;
        TPacket packet;
        TAssembleResult r = in.Next(data + at, size - at, used, packet);
        at += used;
        if (r == TAssembleResult::Broken) {
            Refuse(); // a length that cannot be resynchronised
            return false;
        }
        if (r == TAssembleResult::Packet && !Dispatch(packet))
            return false;
        if (r == TAssembleResult::NeedMore)
            break;
    }
    if (&in == &local && local.Pending() > 0 && !closed)
        assembler = std::make_unique<TPacketAssembler>(local);
    return !closed;
}

bool TSession::Dispatch(const TPacket& packet) {
    if (ending || dropped)
        return false;
    // The packet pays for the frame that brought it, as over TCP.
    if (ws)
        ws->frameOwed = false;
    if (!client.SignedIn()) {
        if (client.serial != 0)
            return true; // the login is being checked; nothing else counts yet
        if (packet.Type() != REQ_LOGIN) {
            Refuse();
            return false;
        }
        server.Service().Login(client, ReadLogin(packet));
        return !closed;
    }
    const TSessionLimits& limits = server.Limits();
    if (!requestBudget.Take(server.NowMs(), limits.requestsPerSecond, limits.requestBurst)) {
        server.Service().EndSession(client, REASON_FLOOD); // a flood, not a bar
        return false;
    }
    server.Service().Handle(client, packet);
    return !closed && !ending && !dropped;
}

void TSession::NoteSignedIn() {
    if (!countedSigningIn || !client.SignedIn())
        return;
    countedSigningIn = false;
    server.SignedIn(*this);
}

void TSession::Deliver(const TWireRef& wire) {
    if (closed || ending || dropped || muted)
        return;
    NoteSignedIn();
    Queue(wire);
}

void TSession::DeliverPresence(const TWireRef& wire) {
    if (closed || ending || dropped || muted)
        return;
    NoteSignedIn();
    Queue(wire, TWhen::Soon);
}

void TSession::FlushWaitingPresence() {
    presenceWaiting = false;
    if (!flushQueued && !writeWaiting)
        Flush();
}

void TSession::Queue(const TWireRef& wire, TWhen when) {
    if (ws && ws->closeSent)
        return; // nothing may follow a close frame
    HoldOutputBuffer();
    output.append(reinterpret_cast<const char*>(wire.Bytes()), wire.Size());
    server.NoteQueued(wire.Size());
    Queued(when);
}

void TSession::HoldOutputBuffer() {
    // Without a spare the buffer grows as the turn needs: one made large at
    // once would stay with every session a presence storm touched until the
    // sweep, which idle memory pays for.
    if (output.capacity() <= std::string().capacity())
        server.TakeOutputBuffer(output);
}

void TSession::Queued(TWhen when) {
    // A turn that queues many lines at once (a site of thousands all
    // talking) may pass the bound before the end-of-turn flush has offered
    // any of it to the kernel: that is a burst, not a slow reader.
    if (PendingBytes() > server.Limits().maxPendingOutput && !writeWaiting && !dropped)
        WriteAhead();
    if (PendingBytes() > server.Limits().maxPendingOutput) {
        // A reader this slow is dropped; closing waits for the flush, since
        // the service may be walking a list that holds this session.
        dropped = true;
        DropOutput();
        if (log::NoteRefusal(log::TLevel::Warn, "session",
                             "sessions dropped for reading too slowly", client.address))
            log::Warn("session", "session dropped: reads too slowly",
                      {{"nick", client.SignedIn() ? std::string_view(client.account->account.nick)
                                                  : std::string_view()},
                       {"address", client.address},
                       {"transport", client.Transport()},
                       {"queued_bytes", server.Limits().maxPendingOutput},
                       {"write_waiting", writeWaiting ? "yes" : "no"},
                       {"last_write_ms_ago", std::to_string(server.NowMs() - lastWriteMs)}});
    }
    // While a write waits for room, the wait's end flushes; a drop cannot wait.
    if (flushQueued || (writeWaiting && !dropped))
        return;
    if (when == TWhen::Soon && !dropped && server.Limits().presenceWaitMs > 0) {
        if (!presenceWaiting) {
            presenceWaiting = true;
            server.QueuePresenceFlush(shared_from_this());
        }
        return;
    }
    flushQueued = true;
    server.QueueFlush(shared_from_this());
}

size_t TSession::Room() const {
    size_t batch = server.Limits().welcomeBatch;
    size_t pending = PendingBytes();
    return pending < batch ? batch - pending : 0;
}

void TSession::RefillWelcome() {
    if (closed || ending || dropped || !client.Welcoming())
        return;
    if (PendingBytes() < server.Limits().welcomeBatch / 4)
        server.Service().Drained(client);
}

void TSession::EndSession(std::string_view reason) {
    if (closed || ending || dropped)
        return;
    // The bar empties its ticker of notices at the end of a session, so the
    // reason goes first and the end waits until the ticker has shown it.
    bool notice = !reason.empty() && !muted;
    if (notice)
        Queue(ReasonWire(reason));
    ending = true;
    stageSinceMs = server.NowMs();
    if (!notice || server.Limits().reasonHoldMs <= 0)
        QueueEnd();
}

void TSession::Farewell(std::string_view reason) {
    muted = true;
    if (closed || ending || dropped)
        return;
    if (client.SignedIn() && !reason.empty())
        Queue(ReasonWire(reason));
    ending = true;
    endQueued = true;
    stageSinceMs = server.NowMs();
    if (ws)
        QueueControl(ws::TOpcode::Close, ws::ClosePayload(ws::CLOSE_GOING_AWAY));
    else if (PendingBytes() == 0)
        Queued(TWhen::Now); // nothing to write: the flush closes it
}

void TSession::EndAfterReason(int64_t nowMs) {
    if (ending && !endQueued && !closed && nowMs - stageSinceMs >= server.Limits().reasonHoldMs)
        QueueEnd();
}

void TSession::QueueEnd() {
    if (closed || dropped)
        return;
    endQueued = true;
    stageSinceMs = server.NowMs();
    Queue(EndSessionWire());
    if (ws && !dropped)
        QueueControl(ws::TOpcode::Close, ws::ClosePayload(ws::CLOSE_NORMAL));
}

void TSession::Flush() {
    flushQueued = false;
    if (closed)
        return;
    if (dropped) {
        Close();
        return;
    }
    FrameOutput();
    // Wrote already since the last sweep: busy enough to keep a buffer.
    const bool busy = wroteSinceSweep;
    while (outputHead < output.size()) {
        std::error_code ec;
        size_t left = output.size() - outputHead;
        size_t written = socket.write_some(asio::buffer(output.data() + outputHead, left), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            WaitWritable();
            RefillWelcome();
            return;
        }
        if (ec) {
            Close();
            return;
        }
        outputHead += written;
        wroteSinceSweep = true;
        lastWriteMs = server.NowMs();
        if (written < left) {
            // The kernel took part of it: wait for room.
            ForgetWritten();
            WaitWritable();
            RefillWelcome();
            return;
        }
    }
    // A small buffer stays for the next turn of a busy session (allocating
    // it anew each turn cost as much as the fan-out itself); a session's
    // first write since the sweep keeps none, so that a storm's one record to
    // each leaves idle sessions without. A larger one goes to the spares,
    // where the next session with as much to write takes it; the sweep frees
    // the spares no turn took.
    if (output.capacity() > TSessionServer::KEPT_OUTPUT)
        server.GiveOutputBuffer(output);
    else if (busy)
        output.clear();
    else
        std::string().swap(output);
    outputHead = 0;
    if (ws)
        ws->framedEnd = 0;
    if (endQueued) {
        Close();
        return;
    }
    RefillWelcome();
}

// Writes what the kernel takes now. It never closes, since the service may
// be walking a list that holds this session: errors and the wait for room
// are left to the flush at the end of the turn.
void TSession::WriteAhead() {
    if (closed)
        return;
    FrameOutput();
    while (outputHead < output.size()) {
        std::error_code ec;
        size_t left = output.size() - outputHead;
        size_t written = socket.write_some(asio::buffer(output.data() + outputHead, left), ec);
        if (ec)
            break;
        outputHead += written;
        wroteSinceSweep = true;
        lastWriteMs = server.NowMs();
        if (written < left)
            break;
    }
    ForgetWritten();
}

// What was written goes from the front once it is half the buffer, so that a
// reader that keeps just behind does not grow it forever.
void TSession::ForgetWritten() {
    if (outputHead < output.size() / 2)
        return;
    output.erase(0, outputHead);
    if (ws)
        ws->framedEnd -= outputHead;
    outputHead = 0;
}

void TSession::ReleaseIdleOutput() {
    if (!wroteSinceSweep && output.empty())
        std::string().swap(output);
    wroteSinceSweep = false;
}

void TSession::DropOutput() {
    server.GiveOutputBuffer(output);
    outputHead = 0;
    if (ws)
        ws->framedEnd = 0;
}

void TSession::WaitWritable() {
    writeWaiting = true;
    socket.async_wait(asio::socket_base::wait_write,
                      [self = shared_from_this()](const std::error_code& ec) {
                          self->writeWaiting = false;
                          if (ec || self->closed)
                              return;
                          self->Flush();
                      });
}

void TSession::Close() {
    if (closed)
        return;
    closed = true;
    server.Service().Disconnect(client);
    bool lingers = ws && ws->closeSent && !ws->closeReceived && !dropped && !muted;
    DropOutput();
    if (lingers)
        Linger(); // the closing handshake: the peer's close frame, for a moment
    else
        CloseSocket();
    server.Remove(*this);
}

void TSession::Refuse() {
    // A browser shows a WebSocket that merely drops as an abnormal end; a
    // close frame tells it the stream was at fault.
    if (ws)
        CloseWebSocket(ws::CLOSE_PROTOCOL);
    else
        Close();
}

void TSession::CloseSocket() {
    if (ws && ws->linger) {
        ws->linger->cancel();
        server.DoneLingering(*this);
    }
    std::error_code ec;
    socket.shutdown(TSessionSocket::shutdown_both, ec);
    socket.close(ec);
}

} // namespace navlet::server
