#include "client/web/kit/ansi.h"

namespace navlet::web {

std::string AnsiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = uint8_t(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        out += char(0xC0 | b >> 6);
        out += char(0x80 | (b & 0x3F));
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto b = uint8_t(text[i]);
        if (b < 0x80) {
            out += char(b);
            ++i;
            continue;
        }
        // The sequence's length from its lead byte; continuation bytes checked.
        const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        bool whole = length > 1 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k)
            whole = (uint8_t(text[i + k]) & 0xC0) == 0x80;
        if (whole && length == 2) {
            const uint32_t code = uint32_t(b & 0x1F) << 6 | (uint8_t(text[i + 1]) & 0x3F);
            out += code <= 0xFF ? char(code) : '?';
        } else {
            out += '?';
        }
        i += whole ? length : 1;
    }
    return out;
}

} // namespace navlet::web
