#include "protocol/fields.h"

#include <algorithm>

namespace navlet {

int PutField(TPacket& packet, int off, int width, std::string_view text) {
    width = std::min(width, MAX_PACKET - off);
    if (width <= 0)
        return 0;
    size_t n = std::min(text.size(), size_t(width));
    std::memcpy(packet.bytes + off, text.data(), n);
    std::memset(packet.bytes + off + n, 0, size_t(width) - n);
    packet.bytes[off + width - 1] = 0;
    return int(strnlen(reinterpret_cast<const char*>(packet.bytes + off), size_t(width)));
}

std::string GetField(const TPacket& packet, int off, int width, int length) {
    int end = std::min({off + width, length, MAX_PACKET});
    if (end <= off)
        return {};
    auto begin = reinterpret_cast<const char*>(packet.bytes + off);
    return std::string(begin, strnlen(begin, size_t(end - off)));
}

} // namespace navlet
