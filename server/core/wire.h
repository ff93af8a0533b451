// An encoded message as it goes on the wire, shared by every receiver of a
// fanned-out line: it is encoded once and each session queues a reference.
#pragma once

#include <cstdint>
#include <memory>

#include "protocol/packet.h"

namespace navlet::server {

struct TWire {
    uint16_t size = 0;
    uint8_t bytes[MAX_PACKET];
};
using TWireRef = std::shared_ptr<const TWire>;

// Encodes the first `length` bytes of `packet` as a message of `type` (the
// packet is scrambled in place) and returns the bytes to send.
TWireRef EncodeWire(TPacket& packet, int length, uint8_t type);

} // namespace navlet::server
