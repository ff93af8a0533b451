// The bots of navlet-load on one epoll loop in one thread: sign-in, presence,
// chat and the measurements around them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "protocol/assembler.h"
#include "tools/load/load_options.h"
#include "tools/load/load_stats.h"
#include "tools/load/tls_link.h"

namespace navlet::load {

struct TBot;

struct TLoadCounters {
    uint64_t signedIn = 0, refused = 0, closed = 0, broken = 0;
    uint64_t presenceOthers = 0; // records of other users received by all bots
    uint64_t linesSent = 0, linesSkipped = 0, linesDelivered = 0;
    uint64_t deliveredInChat = 0;    // deliveries during the chat phase proper
    uint64_t expectedDeliveries = 0; // sum over sent lines of the other bots on the site
    uint64_t ignoresHeld = 0;        // ignores the server confirmed, all bots together
    uint64_t tlsFailed = 0;          // handshakes that failed (bot dropped)
    int64_t firstConnectNs = 0, lastSignInNs = 0, lastPresenceNs = 0;
};

class TLoadRun {
  public:
    explicit TLoadRun(const TLoadOptions& options);
    ~TLoadRun();
    TLoadRun(const TLoadRun&) = delete;
    TLoadRun& operator=(const TLoadRun&) = delete;

    // Runs every phase and writes the report to `out`. Returns 0 when every bot
    // signed in, 1 otherwise (the report is written either way).
    int Run(std::ostream& out);

  private:
    bool Setup(std::ostream& out);
    void StartConnections(int64_t now);
    void StartConnection(TBot& bot);
    void HandleEvent(TBot& bot, uint32_t events, int64_t now);
    void FinishConnect(TBot& bot, int64_t now);
    // Over TLS: the handshake's next step; on success the session begins.
    void ContinueHandshake(TBot& bot, int64_t now);
    // The upgrade or the login, once the connection carries the session.
    void BeginSession(TBot& bot, int64_t now);
    // Which events the loop waits for on the bot's socket.
    void Watch(TBot& bot, bool writable);
    // Bytes through the socket or its TLS; false on a broken connection.
    bool WriteSome(TBot& bot, const uint8_t* data, size_t size, size_t& put);
    void ReadFrom(TBot& bot, int64_t now);
    // One read from the socket or its TLS: bytes, none for now, or the end.
    enum class TReadResult { Data, Empty, End };
    TReadResult ReadSome(TBot& bot, uint8_t* data, size_t size, size_t& got);
    // The session's bytes, as the transport carries them; false when the
    // bot was dropped.
    bool TakeInput(TBot& bot, uint8_t* data, size_t size, int64_t now);
    bool TakePackets(TBot& bot, const uint8_t* data, size_t size, int64_t now);
    bool TakeUpgrade(TBot& bot, uint8_t* data, size_t size, int64_t now);
    bool TakeFrames(TBot& bot, uint8_t* data, size_t size, int64_t now);
    void SendLogin(TBot& bot, int64_t now);
    // A packet (in a masked binary frame over WebSocket).
    bool SendPacketBytes(TBot& bot, const uint8_t* data, size_t size);
    void HandlePacket(TBot& bot, const TPacket& packet, int64_t now);
    void SendDueLines(int64_t now);
    void SendDueIgnores();
    // Every signed-in bot ignores --ignores accounts; waits for the server's
    // confirmations, a bounded time.
    void HoldIgnores();
    bool SendBytes(TBot& bot, const uint8_t* data, size_t size);
    void FlushPending(TBot& bot);
    void Drop(TBot& bot, uint64_t& counter);
    // What a turn of the loop sends besides answers.
    enum class TWork { None, Chat, Ignores };
    // Runs the loop until `until` (monotonic ns) or `done` answers true.
    void Loop(int64_t until, const std::function<bool()>& done, TWork work);
    void BeginChat();

    TLoadOptions options;
    std::vector<std::unique_ptr<TBot>> bots;
    std::vector<TBot*> chatters; // signed-in bots at the start of the chat
    std::unique_ptr<TTlsClient> tls;
    std::string tlsFailure; // why the first handshake failed
    int epollFd = -1;
    uint32_t serverAddress = 0; // network order
    uint16_t serverPort = 0;    // network order
    bool loopbackServer = false;
    int nextToConnect = 0;
    int pendingLogins = 0;
    size_t chatCursor = 0;
    int64_t chatStartNs = 0;
    bool measuringChat = false;
    std::vector<uint32_t> sitePopulation; // signed-in bots per site at the chat's start
    TLoadCounters counters;
    TLatencyHistogram latency;
};

} // namespace navlet::load
