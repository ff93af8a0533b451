// A protocol-level stand-in for the bar: blocking loopback socket, requests
// built with the shared builders, messages read through the assembler. Every
// wait is bounded.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"

namespace navlet::test {

inline constexpr uint32_t ALL_LANGUAGES = 0x80001FFF;

class TTestClient {
  public:
    TTestClient() = default;
    ~TTestClient();
    TTestClient(const TTestClient&) = delete;
    TTestClient& operator=(const TTestClient&) = delete;

    // A small receive buffer (bytes, 0 = the system's) makes a slow reader.
    bool Connect(uint16_t port, int receiveBuffer = 0);
    void Close();
    bool SendRaw(const void* data, size_t size);
    // Encodes the built packet as `type` and writes it.
    bool Send(TPacket& packet, int length, uint8_t type);

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
