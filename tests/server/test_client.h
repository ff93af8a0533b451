// A protocol-level stand-in for the bar: blocking loopback socket, requests
// built with the shared builders, messages read through the assembler. Every
// wait is bounded.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"
#include "server/websocket/ws_frame.h"

namespace navlet::test {

inline constexpr uint32_t ALL_LANGUAGES = 0x80001FFF;

// How a client reaches the service: the bar's TCP port, or WebSocket at
// `path` on the web site's port (the port given to Connect is then that one).
struct TTransport {
    bool webSocket = false;
    std::string path = "/session";
    std::string origin;  // sent as Origin unless empty
    std::string headers; // more fields of the upgrade, each ending in CRLF
};

class TTestClient {
  public:
    TTestClient() = default;
    ~TTestClient();
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    // The transport of new clients: WebSocket with NAVLET_BLACKBOX_TRANSPORT=ws
    // in the environment (the black-box suite runs once with each), else TCP.
    static const TTransport& DefaultTransport();
    // Connections to `port` (a web site's) go over WebSocket whatever the
    // client's transport: a black-box run can mix both.
    static void ReachOverWebSocket(uint16_t port);
    void UseTransport(TTransport t) { transport = std::move(t); }
    bool OverWebSocket() const { return transport.webSocket; }

    // A small receive buffer (bytes, 0 = the system's) makes a slow reader.
    // Over WebSocket it also completes the upgrade (false when refused).
    bool Connect(uint16_t port, int receiveBuffer = 0);
    void Close();
    // Session bytes: over WebSocket, in one binary message.
    bool SendRaw(const void* data, size_t size);
    // Bytes on the socket as they are (hand-made frames).
    bool SendWire(const void* data, size_t size);
    // Over WebSocket: one masked frame.
    bool SendFrame(ws::TOpcode opcode, std::string_view payload, bool fin = true);
    // The code of the server's close frame (0 while none came).
    uint16_t CloseCode() const { return closeCode; }
    // Pings the server answered (their pongs).
    int Pongs() const { return pongs; }
    // Whether the client answers the server's close and pings (a peer that
    // never does is a hostile case).
    void AnswerControlFrames(bool answer) { answerControl = answer; }
    // Encodes the built packet as `type` and writes it.
    bool Send(TPacket& packet, int length, uint8_t type);

    // The text code the next login asks for.
    void UseTextCode(TTextCode code) { textCode = code; }
    bool SendLogin(std::string_view nick, std::string_view password, std::string_view site,
                   uint32_t mask = ALL_LANGUAGES, std::string_view version = "1.4.0.0");
    // Logs in and waits for the own presence record (the key field not 0).
    bool Login(std::string_view nick, std::string_view password, std::string_view site,
               uint32_t mask = ALL_LANGUAGES);

    // The next message, waiting at most timeoutMs. False on time-out or close.
    bool Next(TPacket& out, int timeoutMs = 2000);
    // Skips messages until one of `type` comes.
    bool WaitFor(uint8_t type, TPacket& out, int timeoutMs = 2000);
    // Collects whatever comes until the line has been quiet for quietMs.
    std::deque<TPacket> Drain(int quietMs = 150);
    // True when the server closes the connection within timeoutMs (messages
    // before the close are read and dropped).
    bool WaitClosed(int timeoutMs = 2000);

    UserId Id() const { return self.user; }
    uint64_t ChatKey() const { return self.chatKey; }
    const TPresenceMsg& Self() const { return self; }

  private:
    bool ReadSome(int timeoutMs);
    void TakeStream(const uint8_t* data, size_t size);
    bool Upgrade(uint16_t port);
    void TakeFrames(uint8_t* data, size_t size);

    TTransport transport = DefaultTransport();
    TTextCode textCode = TTextCode::Cp1252;
    std::unique_ptr<ws::TFrameDecoder> decoder;
    uint16_t closeCode = 0;
    int pongs = 0;
    bool answerControl = true;
    int fd = -1;
    bool eof = false;
    TPacketAssembler assembler;
    std::deque<TPacket> ready;
    TPresenceMsg self;
};

// One admin command over the admin port; returns the whole answer.
std::string AdminCommand(uint16_t port, const std::string& line);
// Sends `lines` (each ending in LF) at once and reads until `answers` final
// lines came (or three seconds passed); returns how many came.
int AdminBatch(uint16_t port, const std::string& lines, int answers);

} // namespace navlet::test
