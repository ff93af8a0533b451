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

void TextFromSession(TTextCode code, std::string& text) {
    if (IsAscii(text))
        return;
    text = code == TTextCode::Cp1252 ? Utf8FromCp1252(text) : WholeUtf8(text);
}

std::string TextForSession(TTextCode code, std::string_view text, size_t maxBytes) {
    if (code == TTextCode::Cp1252) {
        std::string out = Cp1252FromUtf8(text);
        if (out.size() > maxBytes)
            out.resize(maxBytes);
        return out;
    }
    return std::string(text.substr(0, Utf8Prefix(text, maxBytes)));
}

const TWireRef& TCodedLine::Encode(TTextCode code) {
    if (ascii < 0)
        ascii = IsAscii(text) ? 1 : 0;
    // An ASCII line reads alike in both codes: one encoding serves all.
    TWireRef& wire = wires[ascii ? 0 : int(code)];
    if (wire)
        return wire;
    constexpr size_t TEXT_ROOM = MAX_PACKET - 33; // the message's text to its zero
    wire = ascii ? ChatLineWire(address, text, command)
                 : ChatLineWire(address, TextForSession(code, text, TEXT_ROOM), command);
    return wire;
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
