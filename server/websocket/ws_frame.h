// WebSocket frames (RFC 6455) as pure functions over bytes: a decoder that
// takes whatever a read returned and hands out message pieces and control
// frames, and writers for frame headers. No socket, no allocation while
// decoding: a data frame's payload is unmasked in place and handed out as it
// arrives, so a message costs nothing but the bound on its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace navlet::ws {

enum class TOpcode : uint8_t {
    Continuation = 0x0,
    Text = 0x1,
    Binary = 0x2,
    Close = 0x8,
    Ping = 0x9,
    Pong = 0xA,
};

// Close codes we send or read.
inline constexpr uint16_t CLOSE_NORMAL = 1000;
inline constexpr uint16_t CLOSE_GOING_AWAY = 1001;
inline constexpr uint16_t CLOSE_PROTOCOL = 1002;
inline constexpr uint16_t CLOSE_POLICY = 1008;
inline constexpr uint16_t CLOSE_NO_STATUS = 1005; // a close frame without a code
inline constexpr uint16_t CLOSE_TOO_BIG = 1009;

// A whole message (all its fragments) may hold at most this much.
inline constexpr size_t MAX_MESSAGE = 64u << 10;
// What our clients take from the server: it sends a turn's output as one
// message, which its output bound (256 KiB of packets) keeps below this.
inline constexpr size_t MAX_SERVER_MESSAGE = 1u << 20;
inline constexpr size_t MAX_CONTROL = 125;
inline constexpr size_t MAX_FRAME_HEADER = 14;

// Which side reads: a server takes only masked frames, a client only unmasked.
enum class TRole { Server, Client };

struct TFrameEvent {
    enum class TKind {
        NeedMore, // everything given was taken; call again with more bytes
        Data,     // a piece of a data message: `data`/`size` (0 bytes for an empty frame)
        Ping,     // whole control frames: their payload in `data`/`size`
        Pong,
        Close, // `code` is the peer's (CLOSE_NO_STATUS when it gave none)
        Error, // the stream is broken; close with `code` (sticky)
    };
    TKind kind = TKind::NeedMore;
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool text = false;       // Data: the message is a text message
    bool messageEnd = false; // Data: the last piece of its message
    // Data: the first piece of its frame. Every data frame yields at least
    // one event, an empty one too, so that a reader can count frames: a
    // frame costs a read its header whatever it carries.
    bool frameStart = false;
    uint16_t code = 0;
};

class TFrameDecoder {
  public:
    explicit TFrameDecoder(TRole role, size_t maxMessage = MAX_MESSAGE)
        : role(role), maxMessage(maxMessage) {}

    // Reads from `data` (at most `size` bytes; data payloads are unmasked in
    // place and the event points into `data`, control payloads into the
    // decoder until the next call) and sets `used` to the bytes taken. Each call yields at most
    // one event; call again with the rest until NeedMore. After an Error every
    // call is an Error that takes all bytes.
    TFrameEvent Next(uint8_t* data, size_t size, size_t& used);

    bool Broken() const { return errorCode != 0; }
    // Whether a fragmented message has begun and not yet ended.
    bool InMessage() const { return inMessage; }

  private:
    TFrameEvent Fail(uint16_t code, size_t size, size_t& used);
    // Checks the first two header bytes; 0 or the close code.
    uint16_t CheckStart() const;
    // Checks the whole header and begins the frame; 0 or the close code.
    uint16_t BeginFrame();
    size_t HeaderSize() const;
    TFrameEvent ControlDone();
    void Unmask(uint8_t* data, size_t size);

    TRole role;
    size_t maxMessage;
    uint8_t head[MAX_FRAME_HEADER] = {};
    size_t headHave = 0;
    bool inFrame = false;    // header read, payload under way
    bool frameShown = false; // a piece of the current data frame was handed out
    TOpcode opcode = TOpcode::Continuation;
    bool fin = false;
    bool masked = false;
    uint8_t mask[4] = {};
    size_t maskAt = 0;
    uint64_t payloadLeft = 0;
    bool inMessage = false; // a data message has begun (its first frame read)
    bool messageText = false;
    size_t messageSize = 0;
    // A control frame's payload, only from its first byte to the next call
    // after it: a quiet peer's decoder keeps none.
    std::unique_ptr<uint8_t[]> control;
    size_t controlHave = 0;
    uint16_t errorCode = 0;
};

// Writes a frame header for `size` payload bytes into `out` (at least
// MAX_FRAME_HEADER bytes) and returns its length. With `mask` (a client's
// four bytes) the header says so; the caller masks the payload.
size_t WriteFrameHeader(uint8_t* out, TOpcode opcode, uint64_t size, bool fin = true,
                        const uint8_t* mask = nullptr);
// Appends a whole frame; with `mask` the payload is masked as it is appended.
void AppendFrame(std::string& out, TOpcode opcode, std::string_view payload, bool fin = true,
                 const uint8_t* mask = nullptr);
// A close frame's payload: the code, big-endian, and no reason.
std::string ClosePayload(uint16_t code);

} // namespace navlet::ws
