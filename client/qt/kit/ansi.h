// The bar's strings are single-byte ANSI text; Qt's are Unicode. Windows-1252
// differs from Latin-1 only in 0x80-0x9F, which the bar never produces itself.
#pragma once

#include <string>

#include <QString>

namespace navlet::qt {

inline QString FromAnsi(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// Characters outside Latin-1 become "?", as the ANSI conversion does.
inline std::string ToAnsi(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

} // namespace navlet::qt
