// Arbitrary bytes as a configuration file (a mistyped --config can name any
// file): the grammar names the line it refuses, or gives entries whose keys
// and values hold nothing a line could not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "server/config/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace navlet::server::config;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<TConfigEntry> entries;
    std::string error;
    if (!ParseConfigText(text, entries, error)) {
        if (error.rfind("line ", 0) != 0)
            std::abort(); // every refusal names its line
        return 0;
    }
    int last = 0;
    for (const TConfigEntry& entry : entries) {
        if (entry.key.empty() || entry.line <= last)
            std::abort();
        last = entry.line;
        for (char c : entry.key)
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
                std::abort();
        for (char c : entry.value)
            if (c == '\n' || c == '\r' || c == 0)
                std::abort();
    }
    return 0;
}
