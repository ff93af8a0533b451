// The class registration of the bar's module: the keys and values under the
// classes root that make the browser find the bar as a horizontal explorer
// bar. The same on every platform; the self-update later re-points only
// InprocServer32's default value.
#pragma once

#include <string>
#include <vector>

#include "client/kit/registry.h"

namespace navlet {

inline constexpr const char* CLSID_NAVLET = "{5E0A7C21-6B3D-4F19-9A42-C8D17E05B3A6}";
inline constexpr const char* PROGID_NAVLET = "Navlet_Client.Navlet";
inline constexpr const char* LIBID_NAVLET = "{5E0A7C20-6B3D-4F19-9A42-C8D17E05B3A6}";
inline constexpr const char* CATID_COMM_BAND = "{00021494-0000-0000-C000-000000000046}";
inline constexpr const char* NAVLET_CLASS_HELP = "Navlet";
// Where a per-user install keeps its classes, under the current user's hive.
inline constexpr const char* USER_CLASSES_KEY = "Software\\Classes";

struct TRegEntry {
    std::string key;       // under the classes root
    std::string valueName; // empty = the key's default value
    std::string value;
};

// Every value the registration writes, in order (the explorer bar's
// category key, which holds no value, besides), for the module at `modulePath`.
std::vector<TRegEntry> ClassRegistrationEntries(const std::string& modulePath);
// "CLSID\{...}" and the category key of the explorer bar under it.
std::string ClassKey();
std::string CommBandCategoryKey();

// Writes the entries and the category key; false at the first failure (the platform then reports
// its registration error).
bool WriteClassRegistration(TRegistry& registry, const std::string& modulePath);

} // namespace navlet
