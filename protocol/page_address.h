// What of a page address may leave the browser. Query strings and fragments
// carry tokens and session ids, and "user:password@" a password: the bar
// never reports them and the server drops them from whatever it receives.
#pragma once

#include <string>
#include <string_view>

namespace navlet {

// `address` is a page address without its scheme ("host/path?query#part").
// Returns it cut at its first '?' or '#', without a "user:password@" before
// the host.
std::string CutPageAddress(std::string_view address);

} // namespace navlet
