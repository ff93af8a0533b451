#include "client/qt/kit/reg_text.h"

#include "protocol/ascii.h"

#include <cstdio>

namespace navlet::qt {

namespace {

constexpr size_t HEX_BYTES_PER_LINE = 25;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A quoted text at the start of `s` with \\ and \" escapes; `s` moves past it.
bool ReadQuoted(std::string_view& s, std::string& out) {
    if (s.empty() || s.front() != '"')
        return false;
    out.clear();
    for (size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return false;
            out += s[++i];
            continue;
        }
        out += c;
    }
    return false;
}

bool ReadHexBytes(std::string_view s, std::string& out) {
    out.clear();
    s = Trim(s);
    while (!s.empty()) {
        if (s.size() < 2 || HexDigitValue(s[0]) < 0 || HexDigitValue(s[1]) < 0)
            return false;
        out += char(HexDigitValue(s[0]) << 4 | HexDigitValue(s[1]));
        s = Trim(s.substr(2));
        if (s.empty())
            break;
        if (s.front() != ',')
            return false;
        s = Trim(s.substr(1));
    }
    return true;
}

bool ReadValueData(std::string_view s, TRegValue& value) {
    if (!s.empty() && s.front() == '"') {
        value.type = REG_SZ_TYPE;
        return ReadQuoted(s, value.data) && Trim(s).empty();
    }
    if (s.substr(0, 6) == "dword:") {
        s.remove_prefix(6);
        if (s.size() != 8)
            return false;
        uint32_t n = 0;
        for (char c : s) {
            if (HexDigitValue(c) < 0)
                return false;
            n = n << 4 | uint32_t(HexDigitValue(c));
        }
        value.type = REG_DWORD_TYPE;
        value.data.assign(4, '\0');
        for (int i = 0; i < 4; ++i)
            value.data[size_t(i)] = char(n >> (8 * i) & 0xFF);
        return true;
    }
    if (s.substr(0, 4) == "hex:") {
        value.type = REG_BINARY_TYPE;
        return ReadHexBytes(s.substr(4), value.data);
    }
    if (s.substr(0, 4) == "hex(") {
        const size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12)
            return false;
        uint32_t type = 0;
        for (char c : s.substr(4, close - 4)) {
            if (HexDigitValue(c) < 0)
                return false;
            type = type << 4 | uint32_t(HexDigitValue(c));
        }
        value.type = type;
        return type != 0 && ReadHexBytes(s.substr(close + 2), value.data);
    }
    return false;
}

bool ReadValueLine(std::string_view line, TRegKeyData& key) {
    TRegValue value;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else if (!ReadQuoted(line, value.name)) {
        return false;
    }
    line = Trim(line);
    if (line.empty() || line.front() != '=')
        return false;
    if (!ReadValueData(Trim(line.substr(1)), value))
        return false;
    if (TRegValue* old = key.Find(value.name)) {
        *old = std::move(value);
        return true;
    }
    key.values.push_back(std::move(value));
    return true;
}

// Logical lines: a hex list may go on over lines that end with "\".
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    bool continues = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string_view line = Trim(raw);
        const bool next = !line.empty() && line.back() == '\\' && line.find("=hex") != line.npos;
        const bool more = continues && !line.empty() && line.back() == '\\';
        std::string_view body = (next || more) ? line.substr(0, line.size() - 1) : line;
        if (continues)
            lines.back() += std::string(body);
        else
            lines.emplace_back(body);
        continues = next || more;
    }
    return lines;
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexList(std::string_view prefix, std::string_view bytes) {
    std::string out(prefix);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x", unsigned(uint8_t(bytes[i])));
        out += cell;
        if (i + 1 == bytes.size())
            break;
        out += ',';
        if ((i + 1) % HEX_BYTES_PER_LINE == 0)
            out += "\\\r\n  ";
    }
    return out;
}

std::string ValueText(const TRegValue& v) {
    // A line break would end the value's line: such a text goes as bytes.
    if (v.type == REG_SZ_TYPE && v.data.find_first_of("\r\n") == std::string::npos)
        return Quoted(v.data);
    if (v.type == REG_DWORD_TYPE && v.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = n << 8 | uint8_t(v.data[size_t(i)]);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", unsigned(n));
        return text;
    }
    if (v.type == REG_BINARY_TYPE)
        return HexList("hex:", v.data);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", unsigned(v.type));
    return HexList(prefix, v.data);
}

} // namespace

TRegValue* TRegKeyData::Find(std::string_view name) {
    for (TRegValue& v : values) {
        if (EqualsFolded(v.name, name))
            return &v;
    }
    return nullptr;
}

TRegKeyData* TRegHive::Find(std::string_view path) {
    auto it = keys.find(FoldCase(path));
    return it == keys.end() ? nullptr : &it->second;
}

TRegKeyData& TRegHive::Create(std::string_view path) {
    for (size_t cut = path.find('\\'); cut != std::string_view::npos;
         cut = path.find('\\', cut + 1)) {
        const std::string_view parent = path.substr(0, cut);
        if (!Find(parent))
            keys[FoldCase(parent)].path = std::string(parent);
    }
    TRegKeyData& key = keys[FoldCase(path)];
    if (key.path.empty())
        key.path = std::string(path);
    return key;
}

bool ParseRegText(std::string_view text, std::string_view rootName, TRegHive& out) {
    out.keys.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    bool headerSeen = false;
    TRegKeyData* key = nullptr;
    for (const std::string& stored : LogicalLines(text)) {
        const std::string_view line = stored;
        if (line.empty() || line.front() == ';')
            continue;
        if (!headerSeen) {
            if (line != REG_EXPORT_HEADER)
                return false;
            headerSeen = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']')
                return false;
            std::string_view name = line.substr(1, line.size() - 2);
            if (!EqualsFolded(name.substr(0, rootName.size()), rootName))
                return false;
            name.remove_prefix(rootName.size());
            if (!name.empty() && name.front() != '\\')
                return false;
            if (!name.empty())
                name.remove_prefix(1);
            key = &out.Create(name);
            continue;
        }
        if (!key || !ReadValueLine(line, *key))
            return false;
    }
    return headerSeen;
}

std::string FormatRegText(const TRegHive& hive, std::string_view rootName) {
    std::string out(REG_EXPORT_HEADER);
    out += "\r\n";
    for (const auto& [lower, key] : hive.keys) {
        out += "\r\n[";
        out += rootName;
        if (!key.path.empty())
            out += "\\" + key.path;
        out += "]\r\n";
        for (const TRegValue& v : key.values) {
            out += v.name.empty() ? std::string("@") : Quoted(v.name);
            out += "=" + ValueText(v) + "\r\n";
        }
    }
    return out;
}

} // namespace navlet::qt
