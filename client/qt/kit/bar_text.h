// The bar's strings on Linux are UTF-8, as the session's text when the server
// agrees (the core converts for an older one); Qt's are UTF-16.
#pragma once

#include <string>

#include <QString>

#include "protocol/code_page.h"

namespace navlet::qt {

// A broken sequence shows as U+FFFD, Qt's own replacement.
inline QString FromBar(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Typed text in the bar's code, and how many characters it could not hold
// (none: UTF-8 holds every character; the core still reads the count).
struct TTypedText {
    std::string text;
    int refused = 0;
};

inline TTypedText TypedBar(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return TTypedText{std::string(utf8.constData(), size_t(utf8.size())), 0};
}

// For text that is not typed by the user.
inline std::string ToBar(const QString& text) {
    return TypedBar(text).text;
}

} // namespace navlet::qt
