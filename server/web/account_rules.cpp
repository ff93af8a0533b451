#include "server/web/account_rules.h"

#include <array>
#include <charconv>

namespace navlet::web {
namespace {

constexpr std::array<std::string_view, LANGUAGE_COUNT + 1> LANGUAGE_NAMES = {
    "Other",     "Danish",  "Dutch",  "English",    "Finnish", "French",  "German",
    "Hungarian", "Italian", "Polish", "Portuguese", "Spanish", "Swedish", "Turkish",
};

} // namespace

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

} // namespace navlet::web
