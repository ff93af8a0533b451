// Runs the admin endpoint's commands against the service.
#pragma once

#include <string>

#include "server/admin/admin_grammar.h"
#include "server/core/service.h"

namespace navlet::server {

// Runs a parsed command and returns the full answer: data lines, then
// "OK N" or "ERR REASON", each ending in LF.
std::string RunAdminCommand(TService& service, size_t connections, const TAdminCommand& command);

} // namespace navlet::server
