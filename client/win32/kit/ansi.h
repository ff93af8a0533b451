// The bar's strings are single-byte Windows-1252 text; the wide-character
// calls of the platform take UTF-16. Both ways go through the code page's one
// table, whatever the system's own ANSI code page is, so every kit reads a
// byte as the same character.
#pragma once

#include <string>

namespace navlet::win32 {

std::wstring WideFromAnsi(const std::string& text);
// A character the code page cannot hold becomes "?".
std::string AnsiFromWide(const std::wstring& text);
std::string AnsiFromWide(const wchar_t* text, int length);

// Typed text in the code page, and how many characters it could not hold
// (left out of `text`).
struct TAnsiText {
    std::string text;
    int refused = 0;
};
TAnsiText TypedAnsiFromWide(const std::wstring& text);

} // namespace navlet::win32
