#include "server/websocket/ws_frame.h"

#include <algorithm>
#include <cstring>

namespace navlet::ws {
namespace {

bool IsControl(TOpcode opcode) {
    return (uint8_t(opcode) & 0x8) != 0;
}

bool IsKnown(uint8_t opcode) {
    return opcode <= 0x2 || (opcode >= 0x8 && opcode <= 0xA);
}

// Codes a peer may send in a close frame (RFC 6455 7.4): the defined ones
// that are not reserved for local use, and the ranges for libraries and
// applications.
bool IsValidCloseCode(uint16_t code) {
    if (code >= 3000 && code <= 4999)
        return true;
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014);
}

} // namespace

TFrameEvent TFrameDecoder::Fail(uint16_t code, size_t size, size_t& used) {
    errorCode = code;
    used = size;
    TFrameEvent event;
    event.kind = TFrameEvent::TKind::Error;
    event.code = code;
    return event;
}

uint16_t TFrameDecoder::CheckStart() const {
    uint8_t b0 = head[0], b1 = head[1];
    if ((b0 & 0x70) != 0)
        return CLOSE_PROTOCOL; // reserved bits: no extension was agreed
    uint8_t op = b0 & 0x0F;
    if (!IsKnown(op))
        return CLOSE_PROTOCOL;
    bool isMasked = (b1 & 0x80) != 0;
    if (isMasked != (role == TRole::Server))
        return CLOSE_PROTOCOL;
    if (IsControl(TOpcode(op)) && ((b0 & 0x80) == 0 || (b1 & 0x7F) > MAX_CONTROL))
        return CLOSE_PROTOCOL; // control frames are short and never fragmented
    return 0;
}

size_t TFrameDecoder::HeaderSize() const {
    uint8_t len7 = head[1] & 0x7F;
    size_t size = 2 + (len7 == 126 ? 2 : len7 == 127 ? 8 : 0);
    return size + ((head[1] & 0x80) ? 4 : 0);
}

uint16_t TFrameDecoder::BeginFrame() {
    fin = (head[0] & 0x80) != 0;
    opcode = TOpcode(head[0] & 0x0F);
    masked = (head[1] & 0x80) != 0;
    uint8_t len7 = head[1] & 0x7F;
    size_t at = 2;
    uint64_t length = len7;
    if (len7 == 126) {
        length = (uint64_t(head[2]) << 8) | head[3];
        at = 4;
    } else if (len7 == 127) {
        length = 0;
        for (size_t i = 0; i < 8; ++i)
            length = (length << 8) | head[2 + i];
        at = 10;
        if (length >> 63)
            return CLOSE_PROTOCOL;
    }
    if (masked)
        std::memcpy(mask, head + at, 4);
    maskAt = 0;
    payloadLeft = length;
    if (IsControl(opcode)) {
        controlHave = 0;
        return 0;
    }
    if (opcode == TOpcode::Continuation) {
        if (!inMessage)
            return CLOSE_PROTOCOL;
    } else {
        if (inMessage)
            return CLOSE_PROTOCOL; // a new message inside a fragmented one
        inMessage = true;
        messageText = opcode == TOpcode::Text;
        messageSize = 0;
    }
    // Refused on the header, before a byte of the payload is kept.
    if (length > maxMessage - messageSize)
        return CLOSE_TOO_BIG;
    messageSize += size_t(length);
    return 0;
}

void TFrameDecoder::Unmask(uint8_t* data, size_t size) {
    if (!masked)
        return;
    for (size_t i = 0; i < size; ++i)
        data[i] ^= mask[(maskAt + i) & 3];
    maskAt = (maskAt + size) & 3;
}

TFrameEvent TFrameDecoder::ControlDone() {
    inFrame = false;
    headHave = 0;
    TFrameEvent event;
    event.data = control.get();
    event.size = controlHave;
    if (opcode == TOpcode::Ping) {
        event.kind = TFrameEvent::TKind::Ping;
        return event;
    }
    if (opcode == TOpcode::Pong) {
        event.kind = TFrameEvent::TKind::Pong;
        return event;
    }
    event.kind = TFrameEvent::TKind::Close;
    event.code = CLOSE_NO_STATUS;
    if (controlHave == 1)
        event.code = 0;
    else if (controlHave >= 2)
        event.code = uint16_t((control[0] << 8) | control[1]);
    if (event.code == 0 || (controlHave >= 2 && !IsValidCloseCode(event.code))) {
        errorCode = CLOSE_PROTOCOL;
        event.kind = TFrameEvent::TKind::Error;
        event.code = CLOSE_PROTOCOL;
    }
    return event;
}

TFrameEvent TFrameDecoder::Next(uint8_t* data, size_t size, size_t& used) {
    if (errorCode != 0)
        return Fail(errorCode, size, used);
    // The last control event's payload is handed out by now.
    if (control && !(inFrame && IsControl(opcode)))
        control.reset();
    used = 0;
    while (used < size || (inFrame && payloadLeft == 0)) {
        if (!inFrame) {
            size_t want = headHave < 2 ? 2 : HeaderSize();
            size_t take = std::min(want - headHave, size - used);
            std::memcpy(head + headHave, data + used, take);
            headHave += take;
            used += take;
            if (headHave < want)
                break;
            if (headHave == 2) {
                if (uint16_t code = CheckStart())
                    return Fail(code, size, used);
                if (HeaderSize() > 2)
                    continue;
            }
            if (uint16_t code = BeginFrame())
                return Fail(code, size, used);
            inFrame = true;
            headHave = 0;
        }
        size_t take = size_t(std::min<uint64_t>(payloadLeft, size - used));
        if (IsControl(opcode)) {
            if (take > 0 && !control)
                control = std::make_unique<uint8_t[]>(MAX_CONTROL);
            if (take > 0) {
                std::memcpy(control.get() + controlHave, data + used, take);
                Unmask(control.get() + controlHave, take);
            }
            controlHave += take;
            used += take;
            payloadLeft -= take;
            if (payloadLeft == 0)
                return ControlDone();
            break;
        }
        uint8_t* piece = data + used;
        Unmask(piece, take);
        used += take;
        payloadLeft -= take;
        bool frameDone = payloadLeft == 0;
        if (frameDone)
            inFrame = false;
        // A header whose payload has not come yet is no piece; an empty
        // frame is one.
        if (take == 0 && !frameDone)
            continue;
        TFrameEvent event;
        event.kind = TFrameEvent::TKind::Data;
        event.data = piece;
        event.size = take;
        event.text = messageText;
        event.messageEnd = frameDone && fin;
        event.frameStart = !frameShown;
        frameShown = !frameDone;
        if (event.messageEnd)
            inMessage = false;
        return event;
    }
    return {};
}

size_t WriteFrameHeader(uint8_t* out, TOpcode opcode, uint64_t size, bool fin,
                        const uint8_t* mask) {
    out[0] = uint8_t((fin ? 0x80 : 0) | uint8_t(opcode));
    uint8_t maskBit = mask ? 0x80 : 0;
    size_t at = 2;
    if (size < 126) {
        out[1] = uint8_t(maskBit | size);
    } else if (size <= 0xFFFF) {
        out[1] = uint8_t(maskBit | 126);
        out[2] = uint8_t(size >> 8);
        out[3] = uint8_t(size);
        at = 4;
    } else {
        out[1] = uint8_t(maskBit | 127);
        for (size_t i = 0; i < 8; ++i)
            out[2 + i] = uint8_t(size >> (56 - 8 * i));
        at = 10;
    }
    if (mask) {
        std::memcpy(out + at, mask, 4);
        at += 4;
    }
    return at;
}

void AppendFrame(std::string& out, TOpcode opcode, std::string_view payload, bool fin,
                 const uint8_t* mask) {
    uint8_t header[MAX_FRAME_HEADER];
    size_t n = WriteFrameHeader(header, opcode, payload.size(), fin, mask);
    out.append(reinterpret_cast<const char*>(header), n);
    size_t start = out.size();
    out.append(payload);
    if (mask) {
        for (size_t i = 0; i < payload.size(); ++i)
            out[start + i] = char(uint8_t(out[start + i]) ^ mask[i & 3]);
    }
}

std::string ClosePayload(uint16_t code) {
    return std::string{char(code >> 8), char(code & 0xFF)};
}

} // namespace navlet::ws
