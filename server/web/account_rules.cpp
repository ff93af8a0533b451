#include "server/web/account_rules.h"

#include <array>
#include <charconv>

namespace navlet::web {
namespace {

constexpr std::array<std::string_view, LANGUAGE_COUNT + 1> LANGUAGE_NAMES = {
    "Other",     "Danish",  "Dutch",  "English",    "Finnish", "French",  "German",
    "Hungarian", "Italian", "Polish", "Portuguese", "Spanish", "Swedish", "Turkish",
};

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

TFieldCheck CheckNick(std::string_view nick) {
    if (nick.empty())
        return TFieldCheck::Empty;
    if (nick.size() > size_t(MAX_NICK))
        return TFieldCheck::TooLong;
    for (char c : nick) {
        bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '_' && c != '-' && c != '.')
            return TFieldCheck::BadCharacter;
    }
    return TFieldCheck::Ok;
}

TFieldCheck CheckPassword(std::string_view password) {
    if (password.empty())
        return TFieldCheck::Empty;
    if (password.size() > size_t(MAX_PASSWORD))
        return TFieldCheck::TooLong;
    for (char c : password) {
        if (c < 0x20 || c > 0x7E)
            return TFieldCheck::BadCharacter;
    }
    if (password.front() == ' ' || password.back() == ' ')
        return TFieldCheck::BadCharacter;
    return TFieldCheck::Ok;
}

std::optional<char> ParseGender(std::string_view text) {
    if (text == "m" || text == "f" || text == "x")
        return text[0];
    return std::nullopt;
}

std::optional<int> ParseLanguage(std::string_view text) {
    int value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    if (value < 0 || value > LANGUAGE_COUNT)
        return std::nullopt;
    return value;
}

std::string_view LanguageName(int language) {
    if (language < 1 || language > LANGUAGE_COUNT)
        return LANGUAGE_NAMES[0];
    return LANGUAGE_NAMES[size_t(language)];
}

std::string_view GenderName(char gender) {
    switch (gender) {
    case 'm':
        return "male";
    case 'f':
        return "female";
    default:
        return "not given";
    }
}

bool NicksEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

} // namespace navlet::web
