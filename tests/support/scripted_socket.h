// A client socket whose peer is the test: it decides when the connection is
// made or fails, feeds the bytes the bar reads and reads what the bar sent.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "client/kit/socket.h"
#include "protocol/assembler.h"

namespace navlet::testing {

class TScriptedSocket : public TClientSocket {
  public:
    enum class TState { Closed, Connecting, Connected };

    // TClientSocket
    void Open() override;  // Connecting; notifies OnConnecting
    void Close() override; // a socket with a handle notifies OnDisconnect first
    bool Active() const override { return state != TState::Closed; }
    bool Connected() const override { return state == TState::Connected; }
    int Send(const uint8_t* data, int size) override;
    int Receive(uint8_t* data, int size) override;

    // The peer's side.
    TState State() const { return state; }
    int OpenCount() const { return opens; }
    void AcceptConnection();                      // Connecting -> Connected; notifies OnConnect
    void Feed(const std::vector<uint8_t>& bytes); // queues bytes; notifies OnRead
    void FeedPacket(TPacket packet, int length, uint8_t type); // encoded, then fed
    void PeerClose(); // the peer hangs up: Closed; notifies OnDisconnect
    // Notifies OnError; when the handler leaves the code set, the socket
    // closes itself as the platform socket would.
    void Fail(TErrorEvent event, int errorCode = 10061);
    // A connection that could not be secured, for the reason given.
    void FailSecurity(const std::string& fault) {
        securityFault = fault;
        Fail(TErrorEvent::eeSecurity, 10053);
    }

    // Everything the bar sent, and the whole packets in it so far.
    const std::vector<uint8_t>& Sent() const { return sent; }
    std::vector<TPacket> SentPackets() const;
    void ClearSent() { sent.clear(); }
    // Answer of the next Send calls: a negative or 0 value refuses them.
    int sendLimit = -1; // -1 = take everything

  private:
    TState state = TState::Closed;
    int opens = 0;
    std::deque<uint8_t> inbound;
    std::vector<uint8_t> sent;
};

class TScriptedSocketFactory : public TSocketFactory {
  public:
    std::unique_ptr<TClientSocket> CreateClientSocket() override;
    // Sockets made so far, in order; owned by the bars that asked for them.
    std::vector<TScriptedSocket*> made;
    TScriptedSocket& Last() { return *made.back(); }
};

} // namespace navlet::testing
