// The bar's text is single-byte Windows-1252, the ANSI code page of every
// language the bar offers. Each kit and the server convert with this one
// table, so a byte means the same character on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// How a session's text travels: Windows-1252 for every bar that does not say
// otherwise at login, UTF-8 for those that do and a server that agrees.
enum class TTextCode : uint8_t { Cp1252, Utf8 };

// One character of UTF-8 at `at`: its scalar value and byte count, or a
// count of 0 for a broken sequence (a stray or missing continuation byte, an
// overlong form, a surrogate, past U+10FFFF) and -1 for a sequence that the
// text's end cuts short.
struct TUtf8Char {
    char32_t code = 0;
    int size = 0;
};
TUtf8Char ReadUtf8(std::string_view text, size_t at);

bool IsAscii(std::string_view text);

// Windows-1252 text as UTF-8.
std::string Utf8FromCp1252(std::string_view text);
// UTF-8 text in Windows-1252: what the code page lacks, and each byte of a
// broken sequence, becomes "?"; a sequence cut short at the end (a field cut
// mid-character) is left out.
std::string Cp1252FromUtf8(std::string_view text);
// UTF-8 text with each byte of a broken sequence as "?" and a sequence cut
// short at the end left out, so that what is relayed is whole characters.
std::string WholeUtf8(std::string_view text);
// Text that claims no code: UTF-8 when it reads as UTF-8, else Windows-1252
// (text kept or sent by servers older than UTF-8 sessions).
std::string Utf8FromEither(std::string_view text);

// Offsets in UTF-8 `text` and in its UTF-16 form (the toolkits' and the
// page's strings), both ways; a broken byte counts as one unit.
size_t Utf8OffsetOfUtf16(std::string_view text, size_t units);
size_t Utf16OffsetOfUtf8(std::string_view text, size_t bytes);

// The longest prefix of UTF-8 `text` of at most `bytes` bytes that does not
// end inside a character.
size_t Utf8Prefix(std::string_view text, size_t bytes);

} // namespace navlet
