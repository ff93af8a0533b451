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
    TChatLineMsg line;
    line.address = address;
    line.command = command;
    line.text = std::string(text);
    return EncodeWire(p, WriteChatLine(p, line), MSG_CHAT_LINE);
}

std::string BlankControls(std::string_view text) {
    std::string out(text);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return uint8_t(c) < 0x20 || uint8_t(c) == 0x7F; },
        ' ');
    return out;
}

} // namespace navlet::server
