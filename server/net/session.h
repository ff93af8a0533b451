// One bar's connection: reads whole packets through the assembler, hands them
// to the service, and writes what the service queues in one call per loop
// turn. Idle sessions hold no buffers: reads go through the server's shared
// buffer, the assembler (a packet's worth) exists only while a packet is
// unfinished, and the output buffer of a session with nothing to write goes
// at the sweep.
#pragma once

#include <asio.hpp>
#include <memory>
#include <string>

#include "protocol/assembler.h"
#include "server/core/client.h"
#include "server/websocket/ws_frame.h"

namespace navlet::server {

class TSessionServer;
struct TWsLink;

// Bound to the loop's own executor type: a socket and each of its pending
// waits are 48 bytes smaller than with the polymorphic executor, which every
// idle session pays for.
using TSessionSocket = asio::basic_stream_socket<asio::ip::tcp, asio::io_context::executor_type>;

class TSession final : public TSessionSink, public std::enable_shared_from_this<TSession> {
  public:
    // With `ws`, the session's byte stream travels in WebSocket messages.
    TSession(TSessionServer& server, TSessionSocket socket, std::string address,
             std::unique_ptr<TWsLink> ws = nullptr);
    ~TSession();

    // `greeting` goes out first as it is (a WebSocket's 101 answer); `early`
    // is input that came before the session began (after the upgrade's head).
    void Start(std::string greeting = {}, std::string early = {});
    // Closes at once: the service forgets the user, queued output is dropped.
    void Close();
    // Takes no more output: when the whole server closes, the departures
    // that sessions would tell each other are not worth queueing.
    void Mute() { muted = true; }
    // Writes out what is queued; called by the server once per loop turn.
    void Flush();

    void Deliver(const TWireRef& wire) override;
    void DeliverPresence(const TWireRef& wire) override;
    // The presence wait is over; called by the server.
    void FlushWaitingPresence();
    // Gives back the output buffer when nothing waits and nothing was
    // written since the last sweep; called by the sweep, so a busy session
    // keeps its (small) buffer and one quiet for a second keeps none.
    void ReleaseIdleOutput();
    void EndSession(std::string_view reason) override;
    // The server is going away: a signed-in bar gets `reason` as a ticker
    // notice, then the connection closes once that is written, without the
    // end-of-session message, so the bar reconnects by itself later. The
    // session takes no other output from now on.
    void Farewell(std::string_view reason);
    size_t Room() const override;
    // Sends the end-of-session message once a reason notice has had its time;
    // called by the server's sweep.
    void EndAfterReason(int64_t nowMs);
    // A WebSocket peer quiet for a while is pinged; true when it has been
    // quiet past the idle limit and must be closed. Called by the sweep.
    bool KeepAlive(int64_t nowMs);
    // Ends a lingering closing handshake at once (the server shuts down).
    void CloseSocket();

    const std::string& Address() const { return client.address; }
    bool OverWebSocket() const { return ws != nullptr; }
    bool SignedIn() const { return client.SignedIn(); }
    bool Closed() const { return closed; }
    bool Ending() const { return ending; }
    int64_t AcceptedMs() const { return acceptedMs; }
    // When the end-of-session message was queued; 0 while it was not.
    int64_t ClosingSinceMs() const { return endQueued ? stageSinceMs : 0; }
    // Whether the login arrived and its password is being checked.
    bool CheckingLogin() const { return !client.SignedIn() && client.serial != 0 && !ending; }
    bool CountedSigningIn() const { return countedSigningIn; }
    // Its place in the server's list of sessions.
    size_t Slot() const { return slot; }
    void SetSlot(size_t at) { slot = uint32_t(at); }

  private:
    void WaitReadable();
    void ReadAvailable();
    // Takes input bytes (in `data`, which may be changed) as the transport
    // carries them; false when the session must stop reading.
    bool Consume(uint8_t* data, size_t size);
    bool ConsumePackets(const uint8_t* data, size_t size);
    // Ends a session whose packet stream is at fault.
    void Refuse();
    // The WebSocket side (session_ws.cpp).
    bool ConsumeFrames(uint8_t* data, size_t size);
    // Frames the output that the turn queued as one binary message.
    void FrameOutput();
    void QueueControl(ws::TOpcode opcode, std::string_view payload);
    // Sends a close frame with `code` and ends the session once it is written.
    void CloseWebSocket(uint16_t code);
    // Counts a frame against the request budget, and one that carries no
    // session bytes against the allowance for those too; false (the session
    // is ending) when over either.
    enum class TFrameCarries { SessionBytes, Nothing };
    bool TakeFrameBudget(TFrameCarries carries);
    // Ends a session that sends more than any bar would.
    void Flooded();
    void Linger();
    void LingerRead();
    // Reads once while lingering; false when the socket is closed.
    bool LingerTake();
    // False when the session must stop reading (closed, ending or broken).
    bool Dispatch(const TPacket& packet);
    void WaitWritable();
    void NoteSignedIn();
    enum class TWhen { Now, Soon };
    void Queue(const TWireRef& wire, TWhen when = TWhen::Now);
    // Bounds the queue and schedules its write.
    // A session without an output buffer takes a spare, if there is one.
    void HoldOutputBuffer();
    void Queued(TWhen when);
    void WriteAhead();
    void ForgetWritten();
    void QueueEnd();
    // Lets a welcome in progress queue its next part once the queue is low.
    void RefillWelcome();
    size_t PendingBytes() const { return output.size() - outputHead; }
    void DropOutput();

    TSessionServer& server;
    TSessionSocket socket;
    std::unique_ptr<TWsLink> ws;                 // null for TCP
    std::unique_ptr<TPacketAssembler> assembler; // only while a packet is unfinished
    TClient client;
    TRateBudget requestBudget;
    // Queued messages as they go on the wire: appending a fanned-out line
    // costs a copy of its few bytes, and the turn's write takes them as one.
    // A small buffer stays between turns, a larger one is the server's.
    std::string output;
    size_t outputHead = 0; // bytes at the front already written
    int64_t acceptedMs = 0;
    // When the reason notice was queued, then when the end was (endQueued).
    int64_t stageSinceMs = 0;
    bool closed = false;
    bool muted = false;
    bool ending = false;    // ended: nothing more is read or delivered
    bool endQueued = false; // end-of-session queued: close once written
    bool dropped = false;   // over a bound: close at the next flush
    bool flushQueued = false;
    bool presenceWaiting = false; // queued with the server's presence wait
    bool writeWaiting = false;
    bool wroteSinceSweep = false;
    int64_t lastWriteMs = 0; // when the kernel last took bytes of ours
    bool countedSigningIn = true;
    uint32_t slot = 0;
};

} // namespace navlet::server
