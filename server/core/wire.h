// An encoded message as it goes on the wire, shared by every receiver of a
// fanned-out line: it is encoded once and each session queues a reference.
// Only the packet's own length is allocated, not the 344-byte frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/chat_address.h"
#include "protocol/code_page.h"
#include "protocol/messages.h"
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

// A chat line from `address` (user 0: the server), encoded once for all
// its receivers, with `text` as it is (a text both codes read alike).
TWireRef ChatLineWire(ChatAddress address, std::string_view text, uint8_t command = CHAT_PLAIN);

// Texts live in the server as UTF-8, whatever code their session speaks; the
// cluster's node messages, the site's recent lines and kept calls hold them
// so. Each receiver gets them in its own code.

// Turns a text received from a session of `code` into the server's UTF-8, in
// place: an all-ASCII text (the usual line) is neither copied nor changed.
void TextFromSession(TTextCode code, std::string& text);
// The server's UTF-8 `text` as a session of `code` reads it, in at most
// `maxBytes` bytes (the field's width less its zero), cut between characters.
std::string TextForSession(TTextCode code, std::string_view text, size_t maxBytes);

// A chat line encoded at most once per text code, when the first receiver of
// that code asks for it; an all-ASCII line is one encoding for both. The
// text must outlive the object.
class TCodedLine {
  public:
    TCodedLine(ChatAddress address, std::string_view text, uint8_t command = CHAT_PLAIN)
        : address(address), text(text), command(command) {}
    // Inline: a crowded site asks once per receiver, and nearly always for
    // the encoding it already made.
    const TWireRef& For(TTextCode code) {
        const TWireRef& made = wires[ascii == 1 ? 0 : int(code)];
        return ascii >= 0 && made ? made : Encode(code);
    }

  private:
    const TWireRef& Encode(TTextCode code);

    ChatAddress address;
    std::string_view text;
    uint8_t command;
    int ascii = -1; // not looked at yet
    TWireRef wires[2];
};

// A peer's text as the other bars get it: each control character (below
// 0x20, and 0x7F) becomes a blank, so that a CR LF cannot start a row of its
// own without the sender's nick. Every other byte stays as it came.
std::string BlankControls(std::string_view text);
// The same in place, for a text the caller owns: no copy.
void BlankControlsIn(std::string& text);

} // namespace navlet::server
