// The bar's strings are single-byte text in the system's ANSI code page; the
// wide-character calls of the platform take UTF-16. Both conversions go
// through the ANSI code page, so a character it cannot hold becomes "?".
#pragma once

#include <string>

namespace navlet::win32 {

std::wstring WideFromAnsi(const std::string& text);
std::string AnsiFromWide(const std::wstring& text);
std::string AnsiFromWide(const wchar_t* text, int length);

} // namespace navlet::win32
