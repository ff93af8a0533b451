#include "protocol/account_rules.h"

#include <cstdint>

namespace navlet {
namespace {

bool IsBlankOrControl(char c) {
    return uint8_t(c) <= ' ';
}

bool IsNickCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

} // namespace

TFieldCheck CheckNick(std::string_view nick) {
    if (nick.empty())
        return TFieldCheck::Empty;
    if (nick.size() > size_t(MAX_NICK_LENGTH))
        return TFieldCheck::TooLong;
    for (char c : nick)
        if (!IsNickCharacter(c))
            return TFieldCheck::BadCharacter;
    return TFieldCheck::Ok;
}

bool IsValidNick(std::string_view nick) {
    return CheckNick(nick) == TFieldCheck::Ok;
}

TFieldCheck CheckNewPassword(std::string_view password) {
    if (password.empty())
        return TFieldCheck::Empty;
    if (password.size() > size_t(MAX_PASSWORD_LENGTH))
        return TFieldCheck::TooLong;
    for (char c : password)
        if (uint8_t(c) < 0x20 || uint8_t(c) > 0x7E)
            return TFieldCheck::BadCharacter;
    if (password.front() == ' ' || password.back() == ' ')
        return TFieldCheck::BadCharacter;
    return TFieldCheck::Ok;
}

bool IsValidNewPassword(std::string_view password) {
    return CheckNewPassword(password) == TFieldCheck::Ok;
}

bool IsValidPassword(std::string_view password) {
    if (password.empty() || password.size() > size_t(MAX_PASSWORD_LENGTH))
        return false;
    for (char c : password)
        if (uint8_t(c) < 0x20 || uint8_t(c) == 0x7F)
            return false;
    return true;
}

std::string TrimTyped(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlankOrControl(text[first]))
        ++first;
    while (last > first && IsBlankOrControl(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

} // namespace navlet
