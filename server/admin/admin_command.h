// Runs the admin endpoint's commands against the service.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "server/admin/admin_grammar.h"
#include "server/core/service.h"

namespace navlet::server {

// Runs a parsed command and returns the full answer: data lines, then
// "OK N" or "ERR REASON", each ending in LF.
std::string RunAdminCommand(TService& service, size_t connections, const TAdminCommand& command);

// On a cluster node: runs a notice, command or KICK on every node and
// answers with the count of all (false for other verbs: nothing was run).
bool RunAcrossCluster(TService& service, const TAdminCommand& command,
                      std::function<void(std::string answer)> answer);

// Runs BAN, UNBAN, DISABLE, ENABLE, PASSWORD, DELETE, MUTE or UNMUTE; the
// answer comes once the store and the other nodes have (false for other
// verbs: nothing was run).
bool RunRestriction(TService& service, const TAdminCommand& command,
                    std::function<void(std::string answer)> answer);

// REPORTS, REPORT and CLOSE: the store is read and written away from the
// service's loop, and `answer` follows on it (false for other verbs).
// Reports live in the store, so every node lists every node's.
bool RunReportCommand(TService& service, const TAdminCommand& command,
                      std::function<void(std::string answer)> answer);
// Their answers, from what the store gave.
std::string ReportsAnswer(const std::vector<TReport>& reports);
std::string ReportAnswer(const std::optional<TReport>& report);

// The answer to USERS [HOST] from a cluster's listing of sessions.
std::string ClusterUsersAnswer(const std::vector<cluster::TSessionRecord>& users,
                               std::string_view host);

} // namespace navlet::server
