// An encoded message as it goes on the wire, shared by every receiver of a
// fanned-out line: it is encoded once and each session queues a reference.
// Only the packet's own length is allocated, not the 344-byte frame.
#pragma once

#include <cstdint>
#include <memory>

#include "protocol/packet.h"

namespace navlet::server {

class TWireRef {
  public:
    TWireRef() = default;
    TWireRef(std::shared_ptr<const uint8_t[]> data, uint16_t size)
        : data(std::move(data)), size(size) {}

    uint16_t Size() const { return size; }
    const uint8_t* Bytes() const { return data.get(); }
    explicit operator bool() const { return data != nullptr; }

  private:
    std::shared_ptr<const uint8_t[]> data;
    uint16_t size = 0;
};

// Encodes the first `length` bytes of `packet` as a message of `type` (the
// packet is scrambled in place) and returns the bytes to send.
TWireRef EncodeWire(TPacket& packet, int length, uint8_t type);

} // namespace navlet::server
