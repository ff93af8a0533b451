// Which pages the bar never reports: the never-report patterns and the
// built-in defaults (the local network's addresses and the sign-in pages).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace navlet {

// The host of a page address without scheme ("host:port/path"), folded and
// without its port; a bracketed IPv6 address keeps its brackets.
std::string PageHostName(std::string_view address);

// Whether the never-report pattern names the page `address` (cut, without
// scheme). '*' stands for any run of characters, a leading "*." also for
// none ("*.okta.com" names okta.com too), and the host is compared without
// its port and the case of A to Z. A pattern with a path ("github.com/login")
// names that path and the pages below it.
bool PatternNamesPage(std::string_view pattern, std::string_view address);

// Loopback, private and link-local addresses, and "localhost".
bool IsLocalNetworkHost(std::string_view hostName);
// Of those, the machine's own: 127.0.0.0/8, [::1] and "localhost".
bool IsLoopbackHost(std::string_view hostName);

// The built-in patterns: the local network's names and the well-known
// sign-in pages, where a page address is a secret of its own.
const std::vector<std::string>& BuiltInNeverReported();

// The settings' list: patterns separated by blanks (also commas and
// semicolons, as people type lists); bounded in count and length.
std::vector<std::string> ParsePatternList(std::string_view text);
std::string JoinPatternList(const std::vector<std::string>& patterns);

} // namespace navlet
