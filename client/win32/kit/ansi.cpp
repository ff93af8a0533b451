#include "client/win32/kit/ansi.h"

#include <optional>

#include "protocol/code_page.h"

namespace navlet::win32 {

namespace {

// Walks UTF-16 by code point; a lone surrogate counts as a character the
// code page cannot hold.
template <typename OnChar> void ForEachChar(const wchar_t* text, int length, OnChar onChar) {
    for (int i = 0; i < length; ++i) {
        char32_t c = char16_t(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
            const char32_t low = char16_t(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        onChar(c >= 0xD800 && c <= 0xDFFF ? std::nullopt : Cp1252FromChar(c));
    }
}

} // namespace

std::wstring WideFromAnsi(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char byte : text)
        wide += wchar_t(CharFromCp1252(uint8_t(byte))); // all within the BMP
    return wide;
}

std::string AnsiFromWide(const wchar_t* text, int length) {
    std::string ansi;
    if (!text || length <= 0)
        return ansi;
    ForEachChar(text, length, [&ansi](std::optional<uint8_t> byte) {
        ansi += char(byte.value_or(uint8_t('?')));
    });
    return ansi;
}

std::string AnsiFromWide(const std::wstring& text) {
    return AnsiFromWide(text.data(), int(text.size()));
}

TAnsiText TypedAnsiFromWide(const std::wstring& text) {
    TAnsiText out;
    ForEachChar(text.data(), int(text.size()), [&out](std::optional<uint8_t> byte) {
        if (byte)
            out.text += char(*byte);
        else
            ++out.refused;
    });
    return out;
}

} // namespace navlet::win32
