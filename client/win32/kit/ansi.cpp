#include "client/win32/kit/ansi.h"

#include <windows.h>

namespace navlet::win32 {

std::wstring WideFromAnsi(const std::string& text) {
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string AnsiFromWide(const wchar_t* text, int length) {
    if (!text || length <= 0)
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string ansi(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, ansi.data(), size, nullptr, nullptr);
    return ansi;
}

std::string AnsiFromWide(const std::wstring& text) {
    return AnsiFromWide(text.data(), int(text.size()));
}

} // namespace navlet::win32
