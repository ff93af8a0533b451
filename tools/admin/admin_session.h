// One exchange with the admin endpoint over a connected socket.
#pragma once

#include <ostream>
#include <string>

namespace navlet::admin {

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_REFUSED = 1; // the server answered ERR
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_UNREACHABLE = 3; // no connection, or the answer was cut off

// Sends `line` and an LF on `fd`, then copies the answer's lines to `out` up to
// and including the final OK or ERR line. Reads are bounded: a line longer than
// the endpoint's 1024 bytes or more than `maxLines` lines ends the exchange as
// cut off. The caller owns `fd` and sets its time-outs.
int Converse(int fd, const std::string& line, std::ostream& out, std::ostream& err,
             size_t maxLines = 1000000);

// Connects to "ADDR:PORT" (IPv4 or a bracketed IPv6 address) with a time-out
// for connecting, sending and each read. Returns the socket or -1, with a
// message in `error`.
int ConnectAdmin(const std::string& endpoint, int timeoutSeconds, std::string& error);

} // namespace navlet::admin
