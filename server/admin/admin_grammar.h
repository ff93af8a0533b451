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
    Ban,
    Unban,
    Disable,
    Enable,
    Password,
    Delete,
    Mute,
    Unmute,
    Reports,
    Report,
    Close
};

// What BAN and UNBAN name: an account by nick, or an address range.
enum class TBanSubject { User, Address };

struct TAdminCommand {
    TAdminVerb verb = TAdminVerb::Help;
    TTarget target;
    TNoticeKind notice = TNoticeKind::Ticker;
    uint8_t buttons = 0;
    std::string text;
    std::string host; // USERS [HOST]
    // BAN, UNBAN, DISABLE, ENABLE, PASSWORD, DELETE: the nick or the range
    // ("10.0.0.0/8", host bits cleared); MUTE, UNMUTE: the host.
    TBanSubject subjectKind = TBanSubject::User;
    std::string subject;
    int64_t durationS = 0; // BAN, MUTE: 0 = forever
    bool all = false;      // REPORTS ALL
    uint64_t report = 0;   // REPORT ID, CLOSE ID
};

// What a ban's reason may hold: it reaches the bar in the session's last
// ticker line, with "You are banned until ...: " before it.
inline constexpr size_t MAX_BAN_REASON = 200;

// Parses one line (without its line end). On failure returns false and sets
// `error` to the reason the answer carries ("unknown command", ...).
bool ParseAdminCommand(std::string_view line, TAdminCommand& out, std::string& error);

// The same for a line as read, up to its LF: the line end (LF, CR LF) goes
// first, and a line of blanks is refused as "empty line".
bool ParseAdminLine(std::string_view line, TAdminCommand& out, std::string& error);

} // namespace navlet::server
