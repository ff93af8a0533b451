// Cutting text to a byte bound (a field's, the ticker's) without splitting a
// character: a glyph cut in half shows as a broken one.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "protocol/code_page.h"

namespace navlet {

// The longest prefix of `text` of at most `bytes` bytes that ends on a
// character boundary in `code`; a single-byte text is cut at any byte.
inline size_t TextPrefix(std::string_view text, size_t bytes, TTextCode code) {
    return code == TTextCode::Utf8 ? Utf8Prefix(text, bytes) : std::min(bytes, text.size());
}

// `text` cut to at most `bytes` bytes of whole characters.
inline std::string TextCut(std::string_view text, size_t bytes, TTextCode code) {
    return std::string(text.substr(0, TextPrefix(text, bytes, code)));
}

} // namespace navlet
