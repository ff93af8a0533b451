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

using TChecksumTable = std::array<std::array<uint16_t, 8>, 256>;

TChecksumTable BuildChecksumTable() {
    TChecksumTable table{};
    for (int b = 0; b < 256; ++b)
        for (int lane = 0; lane < 8; ++lane)
            table[b][lane] = SqrtContribution(uint8_t(b), lane);
    return table;
}

const TChecksumTable& ChecksumTable() {
    static const TChecksumTable table = BuildChecksumTable();
    return table;
}

int ClampLength(int length) { return length > MAX_PACKET ? MAX_PACKET : length; }

} // namespace

TPacket& ClearPacket(TPacket& packet) {
    std::memset(packet.bytes, 0, sizeof packet.bytes);
    return packet;
}

uint16_t PacketChecksum(const TPacket& packet, int length) {
    const TChecksumTable& table = ChecksumTable();
    length = ClampLength(length);
    uint16_t sum = 0;
    for (int i = HEADER_SIZE; i < length; ++i)
        sum = uint16_t(sum + table[packet.bytes[i]][i & 7]);
    return sum;
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
    int k = int((uint32_t(HEADER_SIZE) + packet.U16(OFF_KEY_OFFSET)) % PACKET_KEY_SIZE);
    for (int i = HEADER_SIZE; i < length; ++i) {
        packet.bytes[i] ^= PacketKey[k];
        if (++k == PACKET_KEY_SIZE)
            k = 0;
    }
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
