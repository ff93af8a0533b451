// Fixed-width string fields of packets: single-byte text, zero-terminated.
#pragma once

#include <string>
#include <string_view>

#include "protocol/packet.h"

namespace navlet {

// Copies at most `width` bytes of `text` into the field and forces the field's
// last byte to 0, so at most width - 1 characters go out. Returns the length
// of the text the field now holds.
int PutField(TPacket& packet, int off, int width, std::string_view text);

// Reads the string at `off`: it ends at its zero byte, at `width` bytes, or at
// the packet's `length`, whichever comes first. Nothing past the packet is read.
std::string GetField(const TPacket& packet, int off, int width, int length);

// A string that runs to the end of the message: bounded by the packet only.
inline std::string GetTail(const TPacket& packet, int off, int length) {
    return GetField(packet, off, MAX_PACKET, length);
}

} // namespace navlet
