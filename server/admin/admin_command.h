// The admin endpoint's commands (grammar in admin_protocol.md), parsed from
// one line without touching the service, so that parsing is tested alone.
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
    Quit
};

struct TAdminCommand {
    TAdminVerb verb = TAdminVerb::Help;
    TTarget target;
    TNoticeKind notice = TNoticeKind::Ticker;
    uint8_t buttons = 0;
    std::string text;
    std::string host; // USERS [HOST]
};

// Parses one line (without its line end). On failure returns false and sets
// `error` to the reason the answer carries ("unknown command", ...).
bool ParseAdminCommand(std::string_view line, TAdminCommand& out, std::string& error);

// Runs a parsed command and returns the full answer: data lines, then
// "OK N" or "ERR REASON", each ending in LF.
std::string RunAdminCommand(TService& service, size_t connections, const TAdminCommand& command);

// On a cluster node: runs a notice, command or KICK on every node and
// answers with the count of all (false for other verbs: nothing was run).
bool RunAcrossCluster(TService& service, const TAdminCommand& command,
                      std::function<void(std::string answer)> answer);

// The answer to USERS [HOST] from a cluster's listing of NICK, ID, HOST.
std::string ClusterUsersAnswer(const std::vector<std::array<std::string, 3>>& users,
                               std::string_view host);

} // namespace navlet::server
