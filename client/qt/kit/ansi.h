// The bar's strings are single-byte Windows-1252 text; Qt's are Unicode. Both
// ways go through the code page's one table, so "€" typed on Linux is the
// byte a Windows bar shows as "€".
#pragma once

#include <string>

#include <QString>

#include "protocol/code_page.h"

namespace navlet::qt {

inline QString FromAnsi(const std::string& text) {
    QString out;
    out.reserve(qsizetype(text.size()));
    for (char byte : text)
        out += QChar(char16_t(CharFromCp1252(uint8_t(byte)))); // all within the BMP
    return out;
}

// Text in the code page, and how many characters it could not hold.
struct TAnsiText {
    std::string text;
    int refused = 0;
};

// Characters the code page cannot hold are left out and counted.
inline TAnsiText TypedAnsi(const QString& text) {
    TAnsiText out;
    out.text.reserve(size_t(text.size()));
    for (char32_t c : text.toUcs4()) {
        if (const std::optional<uint8_t> byte = Cp1252FromChar(c))
            out.text += char(*byte);
        else
            ++out.refused;
    }
    return out;
}

// Characters the code page cannot hold become "?", as the platform's ANSI
// conversion does; for text that is not typed by the user.
inline std::string ToAnsi(const QString& text) {
    std::string out;
    out.reserve(size_t(text.size()));
    for (char32_t c : text.toUcs4())
        out += char(Cp1252FromChar(c).value_or(uint8_t('?')));
    return out;
}

} // namespace navlet::qt
