// What an account's fields may hold. The web site's sign-up, the profile
// update and the operator's "account add" apply the same rules.
#pragma once

#include <optional>
#include <string_view>

namespace navlet::web {

inline constexpr int MAX_NICK = 15;     // the login's nick field holds 15 and a zero
inline constexpr int MAX_PASSWORD = 15; // likewise the password field
inline constexpr int LANGUAGE_COUNT = 13;

enum class TFieldCheck {
    Ok,
    Empty,
    TooLong,
    BadCharacter,
};

// A nick is 1 to 15 of A-Z a-z 0-9 _ - . : it travels in a fixed single-byte
// field, is compared without regard to case, and stays one word, unchanged, in
// the admin endpoint's lines and in web addresses. The store applies the same rule.
TFieldCheck CheckNick(std::string_view nick);
// A password is 1 to 15 printable ASCII characters (0x20 to 0x7E) that neither
// begins nor ends with a blank, since the bar trims blanks off what is typed.
TFieldCheck CheckPassword(std::string_view password);

// 'm', 'f' or 'x' from a form's value; nothing for anything else.
std::optional<char> ParseGender(std::string_view text);
// A language number 0 to 13 from a form's value; nothing for anything else.
std::optional<int> ParseLanguage(std::string_view text);

// "Danish" ... "Turkish" for 1 to 13, "Other" for 0 and anything else.
std::string_view LanguageName(int language);
std::string_view GenderName(char gender);

// ASCII comparison without regard to case, as nicks are compared.
bool NicksEqual(std::string_view a, std::string_view b);

} // namespace navlet::web
