// Creating the bots' accounts through the web site's sign-up form.
#pragma once

#include <ostream>

#include "tools/load/load_options.h"

namespace navlet::load {

// Signs up every bot of `options`; a nick that is taken already counts as
// present. Returns false when the site cannot be reached or refuses a bot.
bool CreateBotAccounts(const TLoadOptions& options, std::ostream& out);

} // namespace navlet::load
