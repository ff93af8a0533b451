// The admin endpoint's grammar (admin_protocol.md): one operator's line read
// into a command, without the service, so that it is tested and fuzzed alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/core/service.h"

namespace navlet::server {

inline constexpr size_t MAX_ADMIN_LINE = 1024;
inline constexpr size_t MAX_NOTICE_TEXT = 311; // what a chat line's text field holds

enum class TAdminVerb {
    Notice,
    Reconnect,
    Update,
    ReplyTime,
    Kick,
    Users,
    Sites,
    Stats,
    Help,
    Quit,
    Reports,
    Report,
    Close
};

struct TAdminCommand {
    TAdminVerb verb = TAdminVerb::Help;
    TTarget target;
    TNoticeKind notice = TNoticeKind::Ticker;
    uint8_t buttons = 0;
    std::string text;
    std::string host;    // USERS [HOST]
    bool all = false;    // REPORTS ALL
    uint64_t report = 0; // REPORT ID, CLOSE ID
};

// Parses one line (without its line end). On failure returns false and sets
// `error` to the reason the answer carries ("unknown command", ...).
bool ParseAdminCommand(std::string_view line, TAdminCommand& out, std::string& error);

// The same for a line as read, up to its LF: the line end (LF, CR LF) goes
// first, and a line of blanks is refused as "empty line".
bool ParseAdminLine(std::string_view line, TAdminCommand& out, std::string& error);

} // namespace navlet::server
