// The PROXY protocol's text form (version 1), which nginx's stream module and
// HAProxy put before a proxied connection's own bytes so that the server
// learns the client's address: one line of at most 107 bytes, such as
// "PROXY TCP4 203.0.113.7 192.0.2.1 51234 4433\r\n".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace navlet::server::proxy {

constexpr size_t MAX_LINE = 107; // with its CRLF

enum class TVerdict {
    More,     // a header may still come: read on
    NoHeader, // the bytes are the session's own
    Header,   // `length` bytes are the header; `client` is empty for UNKNOWN
    Invalid,  // a header that breaks the rules: the connection is refused
};

struct TResult {
    TVerdict verdict = TVerdict::More;
    size_t length = 0;
    std::string client;
};

// Reads the start of a connection's bytes.
TResult Parse(std::string_view bytes);

} // namespace navlet::server::proxy
