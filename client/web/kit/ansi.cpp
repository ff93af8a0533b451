#include "client/web/kit/ansi.h"

#include <optional>

#include "protocol/code_page.h"

namespace navlet::web {

namespace {

// Walks UTF-8 by character; a broken sequence is one character the code page
// cannot hold.
template <typename OnChar> void ForEachChar(std::string_view text, OnChar onChar) {
    for (size_t i = 0; i < text.size();) {
        const auto b = uint8_t(text[i]);
        if (b < 0x80) {
            onChar(std::optional<uint8_t>(b));
            ++i;
            continue;
        }
        // The sequence's length from its lead byte; continuation bytes checked.
        const size_t length = b >= 0xF8 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        bool whole = length > 1 && i + length <= text.size();
        char32_t code = length == 4 ? (b & 0x07) : length == 3 ? (b & 0x0F) : (b & 0x1F);
        for (size_t k = 1; whole && k < length; ++k) {
            whole = (uint8_t(text[i + k]) & 0xC0) == 0x80;
            code = code << 6 | (uint8_t(text[i + k]) & 0x3F);
        }
        onChar(whole ? Cp1252FromChar(code) : std::nullopt);
        i += whole ? length : 1;
    }
}

} // namespace

std::string AnsiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        AppendUtf8(out, CharFromCp1252(uint8_t(c)));
    return out;
}

std::string Utf8ToAnsi(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachChar(text, [&out](std::optional<uint8_t> byte) { out += char(byte.value_or('?')); });
    return out;
}

TAnsiText TypedUtf8ToAnsi(std::string_view text) {
    TAnsiText out;
    ForEachChar(text, [&out](std::optional<uint8_t> byte) {
        if (byte)
            out.text += char(*byte);
        else
            ++out.refused;
    });
    return out;
}

} // namespace navlet::web
