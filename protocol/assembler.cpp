#include "protocol/assembler.h"

#include <algorithm>

namespace navlet {

TAssembleResult TPacketAssembler::Next(const uint8_t* data, size_t size, size_t& consumed,
                                       TPacket& out) {
    consumed = 0;
    if (broken)
        return TAssembleResult::Broken;

    auto take = [&](int upTo) {
        size_t n = std::min(size - consumed, size_t(upTo - have));
        std::memcpy(partial.bytes + have, data + consumed, n);
        have = uint16_t(have + n);
        consumed += n;
    };

    if (have < HEADER_SIZE) {
        take(HEADER_SIZE);
        if (have < HEADER_SIZE)
            return TAssembleResult::NeedMore;
    }
    int length = partial.Length();
    if (length < HEADER_SIZE || length > MAX_PACKET) {
        broken = true;
        return TAssembleResult::Broken;
    }
    take(length);
    if (have < length)
        return TAssembleResult::NeedMore;

    have = 0;
    std::memcpy(out.bytes, partial.bytes, size_t(length));
    std::memset(out.bytes + length, 0, size_t(MAX_PACKET - length));
    if (DecodePacket(out) < 0)
        return TAssembleResult::BadChecksum;
    return TAssembleResult::Packet;
}

} // namespace navlet
