// Reading a module's version-information block: the version resource of a
// Windows module (PE), or the same block carried in a section of the Linux
// module (ELF). Portable: it parses the file itself, on any machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace navlet {

// One string value (for example "FileVersion") of the block's first
// translation; empty when the file has no block, or the value is missing.
std::string GetVersionString(const std::string& path, const std::string& name);

// "a.b.c.d" packed as a*2^24 + b*2^16 + c*2^8 + d; -1 unless all four parts
// are there and lie in 0 to 255.
int32_t PackVersion(std::string_view text);

} // namespace navlet
