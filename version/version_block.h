// Reading string values out of a binary version-information block
// (VS_VERSIONINFO), as a Windows resource compiler lays it out.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace navlet {

// The value `name` of the string table that the block's first translation
// names ("VarFileInfo\Translation": language, code page). Empty when the block
// is malformed, has no translation, or lacks the value. The UTF-16 text comes
// back as UTF-8.
std::string VersionBlockString(std::span<const uint8_t> block, std::string_view name);

} // namespace navlet
