// Arbitrary bytes as a WebSocket stream, read by both sides in pieces whose
// sizes the input chooses: the decoder never reads or writes outside what it
// is given, never hands out more of a message than its bound, hands out an
// empty piece only for a whole empty frame, and stays broken once broken.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "server/websocket/ws_frame.h"

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

void Read(navlet::ws::TRole role, std::vector<uint8_t> bytes, size_t step) {
    using navlet::ws::TFrameEvent;
    navlet::ws::TFrameDecoder decoder(role);
    size_t at = 0, message = 0;
    bool broken = false;
    while (at < bytes.size()) {
        size_t size = std::min(step, bytes.size() - at);
        size_t used = 0;
        TFrameEvent event = decoder.Next(bytes.data() + at, size, used);
        Check(used <= size);
        Check(!broken || event.kind == TFrameEvent::TKind::Error);
        at += used;
        switch (event.kind) {
        case TFrameEvent::TKind::NeedMore:
            Check(used == size);
            break;
        case TFrameEvent::TKind::Data:
            Check(event.data >= bytes.data() && event.data + event.size <= bytes.data() + at);
            Check(event.size > 0 || event.frameStart); // only a whole empty frame is empty
            message += event.size;
            Check(message <= navlet::ws::MAX_MESSAGE);
            if (event.messageEnd)
                message = 0;
            break;
        case TFrameEvent::TKind::Error:
            Check(event.code == navlet::ws::CLOSE_PROTOCOL ||
                  event.code == navlet::ws::CLOSE_TOO_BIG);
            broken = true;
            break;
        default:
            Check(event.size <= navlet::ws::MAX_CONTROL);
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    size_t step = size_t(data[0] % 16) + 1;
    std::vector<uint8_t> bytes(data + 1, data + size);
    Read(navlet::ws::TRole::Server, bytes, step);
    Read(navlet::ws::TRole::Client, bytes, bytes.size());
    return 0;
}
