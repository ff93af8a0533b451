#include "server/core/wire.h"

#include <cstring>

namespace navlet::server {

TWireRef EncodeWire(TPacket& packet, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    std::shared_ptr<uint8_t[]> bytes = std::make_shared_for_overwrite<uint8_t[]>(size_t(length));
    std::memcpy(bytes.get(), packet.bytes, size_t(length));
    return TWireRef(std::move(bytes), uint16_t(length));
}

} // namespace navlet::server
