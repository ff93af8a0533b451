// What an account's nick and password may hold. The bar trims what is typed
// and the server refuses what the bar could never send, by the same rules:
// the web site's sign-up, the profile change, the operator's "account add",
// the store and the sign-in all apply them.
#pragma once

#include <string>
#include <string_view>

namespace navlet {

// The login's nick and password fields hold 15 bytes and a zero.
inline constexpr int MAX_NICK_LENGTH = 15;
inline constexpr int MAX_PASSWORD_LENGTH = 15;

enum class TFieldCheck {
    Ok,
    Empty,
    TooLong,
    BadCharacter,
};

// A nick is 1 to 15 of A-Z a-z 0-9 _ - . : it travels in a fixed single-byte
// field, is compared with EqualsFolded, and stays one word, unchanged, in the
// admin endpoint's lines and in web addresses.
TFieldCheck CheckNick(std::string_view nick);
bool IsValidNick(std::string_view nick);

// A password that may be set: 1 to 15 printable ASCII characters (0x20 to
// 0x7E) that neither begin nor end with a blank, since the bar trims blanks
// off what is typed (TrimTyped) and could never send them.
TFieldCheck CheckNewPassword(std::string_view password);
bool IsValidNewPassword(std::string_view password);

// A password as a sign-in may carry it: 1 to 15 single-byte characters
// without control characters (older accounts may hold any such password).
bool IsValidPassword(std::string_view password);

// What the bar sends of a typed field: without leading and trailing blanks
// and control characters (bytes up to 0x20).
std::string TrimTyped(std::string_view text);

} // namespace navlet
