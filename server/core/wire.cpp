#include "server/core/wire.h"

#include <cstring>

namespace navlet::server {

TWireRef EncodeWire(TPacket& packet, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    auto wire = std::make_shared<TWire>();
    wire->size = uint16_t(length);
    std::memcpy(wire->bytes, packet.bytes, size_t(length));
    return wire;
}

} // namespace navlet::server
