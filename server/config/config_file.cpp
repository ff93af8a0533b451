#include "server/config/config_file.h"

namespace navlet::server::config {

namespace {

constexpr std::string_view BLANKS = " \t\r";

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(BLANKS);
    return text.substr(first, last - first + 1);
}

bool IsKeyChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// A control byte in a value is a mistake (or a file that is not text), never
// something an option means.
bool HasControlByte(std::string_view text) {
    for (char c : text)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
            return true;
    return false;
}

// `quoted` starts with '"'. False (with `why`) unless it is one quoted string.
bool Unquote(std::string_view quoted, std::string& out, std::string& why) {
    out.clear();
    for (size_t i = 1; i < quoted.size(); ++i) {
        char c = quoted[i];
        if (c == '"') {
            if (i + 1 != quoted.size()) {
                why = "text after the closing quote";
                return false;
            }
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= quoted.size() || (quoted[i + 1] != '"' && quoted[i + 1] != '\\')) {
                why = "only \\\" and \\\\ may follow a backslash";
                return false;
            }
            c = quoted[++i];
        }
        out.push_back(c);
    }
    why = "no closing quote";
    return false;
}

} // namespace

bool ParseConfigText(std::string_view text, std::vector<TConfigEntry>& out, std::string& error) {
    int number = 0;
    while (!text.empty()) {
        ++number;
        size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#')
            continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (HasControlByte(line))
            return fail("a control character");
        size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return fail("expected key = value");
        std::string_view key = Trim(line.substr(0, equals));
        if (key.empty())
            return fail("no key before '='");
        for (char c : key)
            if (!IsKeyChar(c))
                return fail("a key has only a-z, 0-9 and _");
        TConfigEntry entry{std::string(key), {}, number};
        std::string_view value = Trim(line.substr(equals + 1));
        if (!value.empty() && value.front() == '"') {
            std::string why;
            if (!Unquote(value, entry.value, why))
                return fail(why);
        } else {
            entry.value = std::string(value);
        }
        out.push_back(std::move(entry));
    }
    return true;
}

} // namespace navlet::server::config
