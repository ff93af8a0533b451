#include "version/version_block.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace navlet {

namespace {

// Every node: 16-bit total length, 16-bit value length, 16-bit type (1 for
// text, whose value length counts UTF-16 units; 0 for binary, counted in
// bytes), a zero-terminated UTF-16 key, padding to 4 bytes, the value,
// padding to 4 bytes, then the children.
constexpr size_t NODE_HEADER = 6;
constexpr uint16_t TEXT_NODE = 1;

struct TVersionNode {
    size_t keyBegin;
    size_t keyUnits;
    size_t valueBegin;
    size_t valueBytes;
    size_t childrenBegin;
    size_t end;
};

uint16_t Unit(std::span<const uint8_t> block, size_t at) {
    return uint16_t(block[at] | block[at + 1] << 8);
}

size_t Align4(size_t at) {
    return (at + 3) & ~size_t(3);
}

std::optional<TVersionNode> ReadNode(std::span<const uint8_t> block, size_t at, size_t limit) {
    if (at > limit || limit - at < NODE_HEADER)
        return std::nullopt;
    size_t length = Unit(block, at);
    if (length < NODE_HEADER || length > limit - at)
        return std::nullopt;
    TVersionNode node{};
    node.end = at + length;
    node.keyBegin = at + NODE_HEADER;
    size_t p = node.keyBegin;
    while (p + 2 <= node.end && Unit(block, p) != 0)
        p += 2;
    if (p + 2 > node.end)
        return std::nullopt; // unterminated key
    node.keyUnits = (p - node.keyBegin) / 2;
    uint16_t valueLength = Unit(block, at + 2);
    size_t valueBytes = Unit(block, at + 4) == TEXT_NODE ? size_t(valueLength) * 2 : valueLength;
    node.valueBegin = std::min(Align4(p + 2), node.end);
    node.valueBytes = std::min(valueBytes, node.end - node.valueBegin);
    node.childrenBegin = std::min(Align4(node.valueBegin + node.valueBytes), node.end);
    return node;
}

char16_t FoldAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
}

// Keys are matched without regard to ASCII letter case, as the system does.
bool KeyIs(std::span<const uint8_t> block, const TVersionNode& node, std::string_view key) {
    if (node.keyUnits != key.size())
        return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char16_t unit = Unit(block, node.keyBegin + 2 * i);
        if (FoldAscii(unit) != FoldAscii(char16_t(uint8_t(key[i]))))
            return false;
    }
    return true;
}

std::optional<TVersionNode> FindChild(std::span<const uint8_t> block, const TVersionNode& parent,
                                      std::string_view key) {
    size_t at = parent.childrenBegin;
    while (at < parent.end) {
        std::optional<TVersionNode> child = ReadNode(block, at, parent.end);
        if (!child)
            return std::nullopt;
        if (KeyIs(block, *child, key))
            return child;
        at = Align4(child->end); // a node is at least 6 bytes long, so this moves on
    }
    return std::nullopt;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The value text up to its first zero; lone surrogates become U+FFFD.
std::string ValueText(std::span<const uint8_t> block, const TVersionNode& node) {
    std::string text;
    size_t end = node.valueBegin + node.valueBytes / 2 * 2;
    for (size_t at = node.valueBegin; at < end; at += 2) {
        uint32_t unit = Unit(block, at);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && at + 2 < end) {
            uint32_t low = Unit(block, at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        AppendUtf8(text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return text;
}

} // namespace

std::string VersionBlockString(std::span<const uint8_t> block, std::string_view name) {
    std::optional<TVersionNode> root = ReadNode(block, 0, block.size());
    if (!root)
        return {};
    std::optional<TVersionNode> varInfo = FindChild(block, *root, "VarFileInfo");
    if (!varInfo)
        return {};
    std::optional<TVersionNode> translation = FindChild(block, *varInfo, "Translation");
    if (!translation || translation->valueBytes < 4)
        return {};
    uint16_t language = Unit(block, translation->valueBegin);
    uint16_t codePage = Unit(block, translation->valueBegin + 2);
    char table[9];
    std::snprintf(table, sizeof table, "%02X%02X%02X%02X", language >> 8, language & 0xFF,
                  codePage >> 8, codePage & 0xFF);

    std::optional<TVersionNode> stringInfo = FindChild(block, *root, "StringFileInfo");
    if (!stringInfo)
        return {};
    std::optional<TVersionNode> strings = FindChild(block, *stringInfo, table);
    if (!strings)
        return {};
    std::optional<TVersionNode> value = FindChild(block, *strings, name);
    if (!value)
        return {};
    return ValueText(block, *value);
}

} // namespace navlet
