// One registry hive as the platform's registry-export text: the header line
// "Windows Registry Editor Version 5.00", then one "[ROOT\path]" section per
// key with its values ("name"="text", "name"=dword:0000002a,
// "name"=hex:01,02, @ for the default value). Toolkit-free, so the text is
// tested on its own; the Qt registry reads and writes whole files of it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/ascii.h"

namespace navlet::qt {

inline constexpr std::string_view REG_EXPORT_HEADER = "Windows Registry Editor Version 5.00";

// The platform's value types; others are kept as written ("hex(N):").
enum TRegType : uint32_t { REG_SZ_TYPE = 1, REG_BINARY_TYPE = 3, REG_DWORD_TYPE = 4 };

struct TRegValue {
    std::string name; // empty = the key's default value
    uint32_t type = REG_SZ_TYPE;
    std::string data; // a string's bytes, without its terminating zero; else raw bytes
};

struct TRegKeyData {
    std::string path; // as first written, sub-keys separated by "\"
    std::vector<TRegValue> values;

    // Case-insensitive, as the platform's value names are; null when missing.
    TRegValue* Find(std::string_view name);
};

struct TRegHive {
    // By lower-cased path: key names are case-insensitive too.
    std::map<std::string, TRegKeyData> keys;

    TRegKeyData* Find(std::string_view path);
    // The key and every key above it, created when missing.
    TRegKeyData& Create(std::string_view path);
};

// Parses a whole file's text for the hive named `rootName` (e.g.
// "HKEY_CURRENT_USER"). False when the header is missing or a line cannot be
// read: the caller must then leave the file alone rather than overwrite it.
bool ParseRegText(std::string_view text, std::string_view rootName, TRegHive& out);
// The text of the whole hive, keys in case-insensitive order, CRLF line ends.
std::string FormatRegText(const TRegHive& hive, std::string_view rootName);

} // namespace navlet::qt
