#include "protocol/code_page.h"

#include <algorithm>

namespace navlet {

namespace {

// Windows-1252's characters for the bytes 0x80 to 0x9F; where it assigns
// none, the C1 control of the byte's own value.
constexpr char16_t HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

char32_t CharFromCp1252(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return HIGH[byte - 0x80];
    return byte;
}

std::optional<uint8_t> Cp1252FromChar(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return uint8_t(c);
    for (int i = 0; i < 32; ++i)
        if (HIGH[i] == c)
            return uint8_t(0x80 + i);
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

TUtf8Char ReadUtf8(std::string_view text, size_t at) {
    const auto b = uint8_t(text[at]);
    if (b < 0x80)
        return {b, 1};
    int size = 0;
    char32_t code = 0;
    char32_t least = 0; // below this the form is overlong
    if (b >= 0xC2 && b <= 0xDF) {
        size = 2;
        code = b & 0x1F;
        least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        size = 3;
        code = b & 0x0F;
        least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        size = 4;
        code = b & 0x07;
        least = 0x10000;
    } else {
        return {0, 0};
    }
    for (int k = 1; k < size; ++k) {
        if (at + size_t(k) >= text.size())
            return {0, -1};
        const auto c = uint8_t(text[at + size_t(k)]);
        if ((c & 0xC0) != 0x80)
            return {0, 0};
        code = code << 6 | (c & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {0, 0};
    return {code, size};
}

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (uint8_t(c) >= 0x80)
            return false;
    return true;
}

namespace {

// Walks UTF-8 by character: `onChar` gets each whole character's value, or
// nothing for a broken byte; a sequence cut short at the end is not walked.
template <typename OnChar> void EachUtf8(std::string_view text, OnChar onChar) {
    for (size_t i = 0; i < text.size();) {
        const TUtf8Char c = ReadUtf8(text, i);
        if (c.size < 0)
            return;
        onChar(c.size > 0 ? std::optional<char32_t>(c.code) : std::nullopt);
        i += c.size > 0 ? size_t(c.size) : 1;
    }
}

} // namespace

std::string Utf8FromCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text)
        AppendUtf8(out, CharFromCp1252(uint8_t(c)));
    return out;
}

std::string Cp1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    EachUtf8(text, [&out](std::optional<char32_t> c) {
        out += char(c ? Cp1252FromChar(*c).value_or(uint8_t('?')) : uint8_t('?'));
    });
    return out;
}

std::string WholeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    EachUtf8(text, [&out](std::optional<char32_t> c) {
        if (c)
            AppendUtf8(out, *c);
        else
            out += '?';
    });
    return out;
}

std::string Utf8FromEither(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const TUtf8Char c = ReadUtf8(text, i);
        if (c.size <= 0)
            return Utf8FromCp1252(text);
        i += size_t(c.size);
    }
    return std::string(text);
}

size_t Utf8OffsetOfUtf16(std::string_view text, size_t units) {
    size_t at = 0;
    for (size_t unit = 0; at < text.size();) {
        const TUtf8Char c = ReadUtf8(text, at);
        unit += c.size == 4 ? 2 : 1;
        if (unit > units)
            break; // an offset inside a pair stays before it
        at += c.size > 0 ? size_t(c.size) : 1;
    }
    return std::min(at, text.size());
}

size_t Utf16OffsetOfUtf8(std::string_view text, size_t bytes) {
    size_t units = 0;
    for (size_t at = 0; at < text.size() && at < bytes;) {
        const TUtf8Char c = ReadUtf8(text, at);
        units += c.size == 4 ? 2 : 1;
        at += c.size > 0 ? size_t(c.size) : 1;
    }
    return units;
}

size_t Utf8Prefix(std::string_view text, size_t bytes) {
    if (bytes >= text.size())
        return text.size();
    // Back over continuation bytes to the start of the character that the
    // cut would split.
    size_t end = bytes;
    while (end > 0 && (uint8_t(text[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

} // namespace navlet
