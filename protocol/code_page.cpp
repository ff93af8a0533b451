#include "protocol/code_page.h"

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

} // namespace navlet
