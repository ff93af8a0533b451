// Whole-packet assembly for one connection. TCP may split a packet across
// reads or put several into one; the assembler takes bytes as they arrive and
// hands out whole, unscrambled, verified packets only.
#pragma once

#include "protocol/packet.h"

namespace navlet {

enum class TAssembleResult {
    Packet,      // `out` holds one plain packet; bytes past its length are zero
    NeedMore,    // every given byte was taken; the packet so far waits for more
    BadChecksum, // one whole packet was dropped; the stream goes on
    Broken,      // a declared length below 16 or above 344: the owner must close
};

class TPacketAssembler {
  public:
    // Takes bytes from data[0..size) up to the end of at most one packet and
    // sets `consumed` to how many it took. Call again with the rest until it
    // answers NeedMore. Once Broken, every later call answers Broken.
    TAssembleResult Next(const uint8_t* data, size_t size, size_t& consumed, TPacket& out);

    // Bytes of an unfinished packet held from earlier calls.
    int Pending() const { return have; }
    void Reset() {
        have = 0;
        broken = false;
    }

  private:
    TPacket partial;
    uint16_t have = 0;
    bool broken = false;
};

} // namespace navlet
