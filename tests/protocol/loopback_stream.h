// An in-memory byte stream for codec tests: what is sent can be received,
// in whatever pieces a test chooses.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "protocol/packet.h"

namespace navlet::test {

class TLoopbackStream : public TByteStream {
  public:
    int Send(const uint8_t* data, int size) override {
        wire.insert(wire.end(), data, data + size);
        ++sends;
        return size;
    }
    // Each call returns at most `receiveLimit` bytes, like a short read.
    int Receive(uint8_t* data, int size) override {
        int n = std::min({size, int(wire.size()), receiveLimit});
        std::copy_n(wire.begin(), n, data);
        wire.erase(wire.begin(), wire.begin() + n);
        return n;
    }

    std::deque<uint8_t> wire;
    int receiveLimit = 1 << 30;
    int sends = 0;
};

} // namespace navlet::test
