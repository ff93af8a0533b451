#include "protocol/packet.h"

#include <array>
#include <cmath>

namespace navlet {

const uint8_t PacketKey[PACKET_KEY_SIZE] = {0x4E, 0x61, 0x76, 0x6C, 0x65, 0x74, 0x9A,
                                            0x3C, 0xD1, 0x17, 0x62, 0xE8, 0x05, 0xB4};

namespace {

// The contribution of payload byte b at an index with i mod 8 = lane: the
// complement of byte `lane` of the double sqrt(b), read as a signed byte.
uint16_t SqrtContribution(uint8_t b, int lane) {
    double d = std::sqrt(double(b));
    uint64_t raw;
    std::memcpy(&raw, &d, sizeof raw);
    auto picked = int8_t(uint8_t(raw >> (8 * lane)));
    return uint16_t(~int16_t(picked));
}

// One row of 256 contributions per lane, so each lane reads a contiguous row.
using TChecksumTable = std::array<std::array<uint16_t, 256>, 8>;

TChecksumTable BuildChecksumTable() {
    TChecksumTable table{};
    for (int lane = 0; lane < 8; ++lane)
        for (int b = 0; b < 256; ++b)
            table[lane][b] = SqrtContribution(uint8_t(b), lane);
    return table;
}

// The key repeated so that any start position can be followed by a whole
// payload without wrapping.
using TKeyStream = std::array<uint8_t, PACKET_KEY_SIZE + MAX_PACKET>;

TKeyStream BuildKeyStream() {
    TKeyStream stream{};
    for (size_t i = 0; i < stream.size(); ++i)
        stream[i] = PacketKey[i % PACKET_KEY_SIZE];
    return stream;
}

const TKeyStream& KeyStream() {
    static const TKeyStream stream = BuildKeyStream();
    return stream;
}

const TChecksumTable& ChecksumTable() {
    static const TChecksumTable table = BuildChecksumTable();
    return table;
}

int ClampLength(int length) {
    return length > MAX_PACKET ? MAX_PACKET : length;
}

} // namespace

TPacket& ClearPacket(TPacket& packet) {
    std::memset(packet.bytes, 0, sizeof packet.bytes);
    return packet;
}

uint16_t PacketChecksum(const TPacket& packet, int length) {
    const TChecksumTable& table = ChecksumTable();
    length = ClampLength(length);
    // The payload starts at lane 0 (16 mod 8), so whole blocks of 8 bytes
    // visit the lanes in order; summing in 32 bits and cutting once is the
    // same as adding modulo 65536 at each step.
    const uint8_t* b = packet.bytes;
    uint32_t sum = 0;
    int i = HEADER_SIZE;
    for (; i + 8 <= length; i += 8) {
        sum += uint32_t(table[0][b[i]]) + table[1][b[i + 1]] + table[2][b[i + 2]] +
               table[3][b[i + 3]] + table[4][b[i + 4]] + table[5][b[i + 5]] + table[6][b[i + 6]] +
               table[7][b[i + 7]];
    }
    for (; i < length; ++i)
        sum += table[i & 7][b[i]];
    return uint16_t(sum);
}

uint16_t PacketChecksumBySqrt(const TPacket& packet, int length) {
    length = ClampLength(length);
    uint16_t sum = 0;
    for (int i = HEADER_SIZE; i < length; ++i)
        sum = uint16_t(sum + SqrtContribution(packet.bytes[i], i % 8));
    return sum;
}

void ScramblePacket(TPacket& packet, int length) {
    length = ClampLength(length);
    size_t start = (uint32_t(HEADER_SIZE) + packet.U16(OFF_KEY_OFFSET)) % PACKET_KEY_SIZE;
    const uint8_t* key = KeyStream().data() + start;
    uint8_t* payload = packet.bytes + HEADER_SIZE;
    int n = length - HEADER_SIZE;
    int i = 0;
    for (; i + 8 <= n; i += 8) { // eight bytes per step
        uint64_t word, mask;
        std::memcpy(&word, payload + i, 8);
        std::memcpy(&mask, key + i, 8);
        word ^= mask;
        std::memcpy(payload + i, &word, 8);
    }
    for (; i < n; ++i)
        payload[i] ^= key[i];
}

uint16_t NextKeyOffset() {
    thread_local uint32_t state = 1;
    state = state * 22695477u + 1u;
    return uint16_t((state >> 16) & 0x7FFF);
}

void EncodePacket(TPacket& packet, int length, uint8_t type, uint16_t keyOffset) {
    packet.bytes[OFF_TYPE] = type;
    packet.PutU16(OFF_KEY_OFFSET, keyOffset);
    packet.PutU16(OFF_LENGTH, uint16_t(length));
    packet.PutU16(OFF_CHECKSUM, PacketChecksum(packet, length));
    ScramblePacket(packet, length);
}

int SendPacket(TPacket& packet, TByteStream& stream, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    return stream.Send(packet.bytes, ClampLength(length));
}

int DecodePacket(TPacket& packet) {
    int length = packet.Length();
    if (length == HEADER_SIZE)
        return packet.Type();
    ScramblePacket(packet, length);
    if (PacketChecksum(packet, length) != packet.U16(OFF_CHECKSUM))
        return RECEIVE_BAD_CHECKSUM;
    return packet.Type();
}

int ReceivePacket(TPacket& packet, TByteStream& stream) {
    if (stream.Receive(packet.bytes, HEADER_SIZE) < HEADER_SIZE)
        return RECEIVE_SHORT_HEADER;
    int length = packet.Length();
    if (length > MAX_PACKET)
        return RECEIVE_TOO_LONG;
    if (length == HEADER_SIZE)
        return packet.Type();
    // A declared length below 16 reads no payload and is checked against 0.
    int payload = length - HEADER_SIZE;
    if (payload > 0 && stream.Receive(packet.bytes + HEADER_SIZE, payload) < payload)
        return RECEIVE_SHORT_PAYLOAD;
    return DecodePacket(packet);
}

} // namespace navlet
