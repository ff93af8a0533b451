// The session protocol's packet frame: a fixed 344-byte buffer with a 16-byte
// header, a 16-bit checksum of the plain payload and an XOR scrambling of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace navlet {

inline constexpr int MAX_PACKET = 344;
inline constexpr int HEADER_SIZE = 16;
inline constexpr int PACKET_KEY_SIZE = 14;

// Header field offsets.
inline constexpr int OFF_TYPE = 0;
inline constexpr int OFF_SUBTYPE = 1;
inline constexpr int OFF_CHECKSUM = 2;
inline constexpr int OFF_KEY_OFFSET = 4;
inline constexpr int OFF_LENGTH = 6;
inline constexpr int OFF_ARG = 8;
inline constexpr int OFF_STAMP = 12;

// The scrambling key; the server holds the same 14 bytes.
extern const uint8_t PacketKey[PACKET_KEY_SIZE];

struct TPacket {
    uint8_t bytes[MAX_PACKET];

    uint8_t Type() const { return bytes[OFF_TYPE]; }
    uint8_t Subtype() const { return bytes[OFF_SUBTYPE]; }
    uint16_t Length() const { return U16(OFF_LENGTH); }

    // Little-endian field access; the offset plus the width must lie inside the buffer.
    uint16_t U16(int off) const { return uint16_t(bytes[off] | bytes[off + 1] << 8); }
    uint32_t U32(int off) const {
        return uint32_t(bytes[off]) | uint32_t(bytes[off + 1]) << 8 |
               uint32_t(bytes[off + 2]) << 16 | uint32_t(bytes[off + 3]) << 24;
    }
    uint64_t U64(int off) const { return uint64_t(U32(off)) | uint64_t(U32(off + 4)) << 32; }
    double F64(int off) const {
        uint64_t raw = U64(off);
        double d;
        std::memcpy(&d, &raw, sizeof d);
        return d;
    }
    void PutU16(int off, uint16_t v) {
        bytes[off] = uint8_t(v);
        bytes[off + 1] = uint8_t(v >> 8);
    }
    void PutU32(int off, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[off + i] = uint8_t(v >> (8 * i));
    }
    void PutU64(int off, uint64_t v) {
        PutU32(off, uint32_t(v));
        PutU32(off + 4, uint32_t(v >> 32));
    }
    void PutF64(int off, double d) {
        uint64_t raw;
        std::memcpy(&raw, &d, sizeof raw);
        PutU64(off, raw);
    }
};

// A connected byte stream as the codec sees it. Send returns the bytes taken
// (0 when not connected or when the send would block, negative on an error the
// owner reports through its own channel). Receive returns the bytes read in
// one call, 0 or negative when nothing came.
class TByteStream {
  public:
    virtual ~TByteStream() = default;
    virtual int Send(const uint8_t* data, int size) = 0;
    virtual int Receive(uint8_t* data, int size) = 0;
};

// Codes of ReceivePacket.
inline constexpr int RECEIVE_SHORT_HEADER = -1;  // fewer than 16 header bytes came
inline constexpr int RECEIVE_TOO_LONG = -2;      // declared length above MAX_PACKET
inline constexpr int RECEIVE_SHORT_PAYLOAD = -3; // fewer payload bytes than declared
inline constexpr int RECEIVE_BAD_CHECKSUM = -4;  // checksum of the plain payload differs

// Sets all 344 bytes to 0 and returns the buffer.
TPacket& ClearPacket(TPacket& packet);

// Checksum of bytes 16 to length - 1; 0 for length <= 16. One table lookup per
// byte, equal to the square-root definition (PacketChecksumBySqrt).
uint16_t PacketChecksum(const TPacket& packet, int length);
// The definition itself: a byte of the double sqrt(b) per payload byte. For tests.
uint16_t PacketChecksumBySqrt(const TPacket& packet, int length);

// XORs bytes 16 to length - 1 with the key, shifted by the header's keyOffset.
// The same call scrambles and unscrambles.
void ScramblePacket(TPacket& packet, int length);

// The sender's keyOffset generator: a per-thread LCG starting at 1, never reseeded.
uint16_t NextKeyOffset();

// Completes the header (type, keyOffset, length, checksum) and scrambles the
// payload: after it the first `length` bytes are what goes on the wire.
void EncodePacket(TPacket& packet, int length, uint8_t type, uint16_t keyOffset);

// EncodePacket with the next generated keyOffset, then one send of `length`
// bytes. Returns what the stream's Send returned.
int SendPacket(TPacket& packet, TByteStream& stream, int length, uint8_t type);

// Reads one packet with one receive call per step, as old callers expect of a
// complete buffer. Returns the type (0 to 255) or a RECEIVE_* code. Connections
// that read from a live stream use TPacketAssembler instead.
int ReceivePacket(TPacket& packet, TByteStream& stream);

// Unscrambles a complete packet in place and checks its checksum. Returns the
// type, or RECEIVE_BAD_CHECKSUM. A header-only packet is returned unverified.
int DecodePacket(TPacket& packet);

} // namespace navlet
