// Arbitrary bytes as one operator's line on the admin port, line end and all:
// the grammar refuses it with a reason or reads a command within its bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/admin/admin_grammar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace navlet::server;
    // The endpoint hands over at most its bound and the line feed.
    std::string_view line(reinterpret_cast<const char*>(data), std::min(size, MAX_ADMIN_LINE + 1));
    TAdminCommand command;
    std::string error;
    if (!ParseAdminLine(line, command, error)) {
        if (error.empty())
            std::abort(); // every refusal names its reason
        return 0;
    }
    if (command.text.size() > MAX_NOTICE_TEXT)
        std::abort();
    if (command.verb == TAdminVerb::Notice && command.text.empty())
        std::abort();
    if (command.target.kind != TTarget::All && command.target.name.empty())
        std::abort();
    return 0;
}
