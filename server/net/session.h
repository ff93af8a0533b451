// One bar's connection: reads whole packets through the assembler, hands them
// to the service, and writes what the service queues, gathered once per loop
// turn. Idle sessions hold no buffers: reads go through the server's shared
// buffer and only an unfinished packet stays with the assembler.
#pragma once

#include <asio.hpp>
#include <memory>
#include <string>
#include <vector>

#include "protocol/assembler.h"
#include "server/core/client.h"

namespace navlet::server {

class TSessionServer;

class TSession final : public TSessionSink, public std::enable_shared_from_this<TSession> {
  public:
    TSession(TSessionServer& server, asio::ip::tcp::socket socket, std::string address);
    ~TSession();

    void Start();
    // Closes at once: the service forgets the user, queued output is dropped.
    void Close();
    // Takes no more output: when the whole server closes, the departures
    // that sessions would tell each other are not worth queueing.
    void Mute() { muted = true; }
    // Writes out what is queued; called by the server once per loop turn.
    void Flush();

    void Deliver(const TWireRef& wire) override;
    void EndSession() override;

    const std::string& Address() const { return address; }
    bool SignedIn() const { return client.SignedIn(); }
    bool Closed() const { return closed; }
    int64_t AcceptedMs() const { return acceptedMs; }
    int64_t ClosingSinceMs() const { return closingSinceMs; }
    bool CountedSigningIn() const { return countedSigningIn; }

  private:
    void WaitReadable();
    void ReadAvailable();
    // False when the session must stop reading (closed, ending or broken).
    bool Dispatch(const TPacket& packet);
    void WaitWritable();
    void NoteSignedIn();

    TSessionServer& server;
    asio::ip::tcp::socket socket;
    std::string address;
    TPacketAssembler assembler;
    TClient client;
    TRateBudget requestBudget;
    std::vector<TWireRef> pending;
    size_t pendingHead = 0; // first entry not fully written
    size_t headOffset = 0;  // bytes of it already written
    size_t pendingBytes = 0;
    int64_t acceptedMs = 0;
    int64_t closingSinceMs = 0;
    bool closed = false;
    bool muted = false;
    bool ending = false;  // end-of-session queued: close once written
    bool dropped = false; // over a bound: close at the next flush
    bool flushQueued = false;
    bool writeWaiting = false;
    bool countedSigningIn = true;
};

} // namespace navlet::server
