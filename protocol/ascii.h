// ASCII case folding, the one way the bar and the server compare nicks, site
// hosts, commands and registry names without regard to case. Only A to Z
// fold: bytes from 0x80 up are a code page's letters, which the bar and the
// server would fold differently, so they stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace navlet {

constexpr char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The value of a hexadecimal digit in either case, or -1 for any other byte.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = FoldAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string FoldCase(std::string_view text);

// True when `a` and `b` differ at most in the case of A to Z.
bool EqualsFolded(std::string_view a, std::string_view b);

} // namespace navlet
