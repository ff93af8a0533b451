// Pure helpers of the people and options actions, shared with the tests.
#pragma once

#include <cstdint>
#include <string>

#include "client/core/lists.h"
#include "protocol/account_rules.h"
#include "protocol/ascii.h"

namespace navlet {

// The first drop-down item whose caption is `nick` (EqualsFolded), or -1.
int FindComboItem(const TComboBoxEx& box, const std::string& nick);
// The user's profile page; the id prints as unsigned decimal.
std::string ProfileAddress(const std::string& host, uint32_t lcid, uint64_t user);
// The user's own profile editing page.
std::string UpdateProfileAddress(const std::string& host, uint32_t lcid, uint64_t user);
inline constexpr int SEARCH_NICK_MAX = 15;
inline constexpr int SEARCH_MSG_MAX = 50;

} // namespace navlet
