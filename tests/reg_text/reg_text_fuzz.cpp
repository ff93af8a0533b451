// Arbitrary text as a settings file of the Linux registry store: the parser
// must never read out of bounds, and whatever it accepts must survive being
// written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "client/qt/kit/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace navlet::qt;
    constexpr std::string_view ROOT = "HKEY_CURRENT_USER";
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TRegHive hive;
    if (!ParseRegText(text, ROOT, hive))
        return 0;
    const std::string written = FormatRegText(hive, ROOT);
    TRegHive again;
    if (!ParseRegText(written, ROOT, again) || FormatRegText(again, ROOT) != written)
        __builtin_trap(); // the store would lose or change settings on its next write
    return 0;
}
