#include "server/core/wire.h"

#include <algorithm>
#include <cstring>

namespace navlet::server {

TWireRef EncodeWire(TPacket& packet, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    std::shared_ptr<uint8_t[]> bytes = std::make_shared_for_overwrite<uint8_t[]>(size_t(length));
    std::memcpy(bytes.get(), packet.bytes, size_t(length));
    return TWireRef(std::move(bytes), uint16_t(length));
}

TWireRef ChatLineWire(ChatAddress address, std::string_view text, uint8_t command) {
    TPacket p;
    ClearPacket(p);
    // Written from the caller's text: a fanned-out line is not copied first.
    return EncodeWire(p, WriteChatLine(p, address, command, text), MSG_CHAT_LINE);
}

std::string BlankControls(std::string_view text) {
    std::string out(text);
    BlankControlsIn(out);
    return out;
}

void BlankControlsIn(std::string& text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F; },
        ' ');
}

} // namespace navlet::server
