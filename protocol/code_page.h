// The bar's text is single-byte Windows-1252, the ANSI code page of every
// language the bar offers. Each kit and the server convert with this one
// table, so a byte means the same character on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace navlet {

// The character of a byte. The five bytes Windows-1252 leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same
// value, as the platform's own conversion has it, so they round-trip too.
char32_t CharFromCp1252(uint8_t byte);

// The byte of a character, or nothing for a character the code page cannot
// hold (most of Unicode, emoji among them).
std::optional<uint8_t> Cp1252FromChar(char32_t c);

// Appends the UTF-8 form of a Unicode scalar value.
void AppendUtf8(std::string& out, char32_t c);

} // namespace navlet
