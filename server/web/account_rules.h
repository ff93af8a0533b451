// What an account's profile fields may hold on the web site's forms. The nick
// and password rules are the bar's and the store's (protocol/account_rules.h).
#pragma once

#include <optional>
#include <string_view>

#include "protocol/account_rules.h"
#include "protocol/ascii.h"

namespace navlet::web {

inline constexpr int LANGUAGE_COUNT = 13;

// 'm', 'f' or 'x' from a form's value; nothing for anything else.
std::optional<char> ParseGender(std::string_view text);
// A language number 0 to 13 from a form's value; nothing for anything else.
std::optional<int> ParseLanguage(std::string_view text);

// "Danish" ... "Turkish" for 1 to 13, "Other" for 0 and anything else.
std::string_view LanguageName(int language);
std::string_view GenderName(char gender);

} // namespace navlet::web
