#include "tests/server/log_lines.h"

#include <cctype>

#include "protocol/ascii.h"

namespace navlet::server::testing {

namespace {

// Reads a quoted string at `at` (on the opening quote); `json` takes \u00NN,
// text takes \xNN.
bool ReadQuoted(std::string_view line, size_t& at, bool json, std::string& out) {
    ++at;
    while (at < line.size()) {
        char c = line[at++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (at >= line.size())
            return false;
        char e = line[at++];
        if (e == '"' || e == '\\' || e == '/')
            out += e;
        else if (e == 'n')
            out += '\n';
        else if (e == 't')
            out += '\t';
        else if (e == 'r')
            out += '\r';
        else if ((e == 'x' && !json) || (e == 'u' && json)) {
            size_t digits = json ? 4 : 2;
            if (at + digits > line.size())
                return false;
            int value = 0;
            for (size_t i = 0; i < digits; ++i) {
                int d = HexDigitValue(line[at + i]);
                if (d < 0)
                    return false;
                value = value * 16 + d;
            }
            if (value > 0xFF)
                return false; // the server writes no other
            out += char(value);
            at += digits;
        } else
            return false;
    }
    return false;
}

} // namespace

std::optional<TLogFields> ParseTextLogLine(std::string_view line) {
    TLogFields fields;
    size_t at = 0;
    while (at < line.size()) {
        size_t eq = line.find('=', at);
        if (eq == std::string_view::npos || eq == at)
            return std::nullopt;
        std::string key(line.substr(at, eq - at));
        for (char c : key)
            if (!std::islower(uint8_t(c)) && c != '_' && !std::isdigit(uint8_t(c)))
                return std::nullopt;
        at = eq + 1;
        std::string value;
        if (at < line.size() && line[at] == '"') {
            if (!ReadQuoted(line, at, /*json=*/false, value))
                return std::nullopt;
        } else {
            size_t end = line.find(' ', at);
            if (end == std::string_view::npos)
                end = line.size();
            value = std::string(line.substr(at, end - at));
            if (value.empty() || value.find('"') != std::string::npos)
                return std::nullopt;
            at = end;
        }
        if (!fields.emplace(key, value).second)
            return std::nullopt; // a key twice
        if (at < line.size()) {
            if (line[at] != ' ')
                return std::nullopt;
            ++at;
        }
    }
    return fields;
}

std::optional<TLogFields> ParseJsonLogLine(std::string_view line) {
    if (line.size() < 2 || line.front() != '{' || line.back() != '}')
        return std::nullopt;
    TLogFields fields;
    size_t at = 1;
    while (at < line.size() - 1) {
        std::string key, value;
        if (line[at] != '"' || !ReadQuoted(line, at, /*json=*/true, key))
            return std::nullopt;
        if (at >= line.size() || line[at++] != ':')
            return std::nullopt;
        if (line[at] == '"') {
            if (!ReadQuoted(line, at, /*json=*/true, value))
                return std::nullopt;
        } else {
            size_t end = line.find_first_of(",}", at);
            value = std::string(line.substr(at, end - at));
            bool number =
                !value.empty() && value.find_first_not_of("-0123456789") == std::string::npos;
            if (!number && value != "true" && value != "false")
                return std::nullopt;
            at = end;
        }
        if (!fields.emplace(key, value).second)
            return std::nullopt;
        if (line[at] == ',')
            ++at;
        else if (at != line.size() - 1)
            return std::nullopt;
    }
    return fields;
}

std::vector<TLogFields> ParseLogLines(std::string_view text) {
    std::vector<TLogFields> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        auto fields =
            !line.empty() && line.front() == '{' ? ParseJsonLogLine(line) : ParseTextLogLine(line);
        lines.push_back(fields.value_or(TLogFields{}));
    }
    return lines;
}

std::optional<TLogFields> FindLogLine(const std::vector<TLogFields>& lines,
                                      std::string_view message, const TLogFields& having) {
    for (const TLogFields& line : lines) {
        auto msg = line.find("msg");
        if (msg == line.end() || msg->second != message)
            continue;
        bool all = true;
        for (const auto& [key, value] : having) {
            auto it = line.find(key);
            all = all && it != line.end() && it->second == value;
        }
        if (all)
            return line;
    }
    return std::nullopt;
}

} // namespace navlet::server::testing
