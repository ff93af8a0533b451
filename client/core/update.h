// The self-update's naming of installed modules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace navlet {

// How a platform names its module files: the Windows control, or the Linux
// shared library that navlet-browser loads.
enum class TModuleNaming { WindowsControl, LinuxLibrary };

#ifdef _WIN32
inline constexpr TModuleNaming THIS_PLATFORM_NAMING = TModuleNaming::WindowsControl;
#else
inline constexpr TModuleNaming THIS_PLATFORM_NAMING = TModuleNaming::LinuxLibrary;
#endif

// The file name of an installed update: "Navlet_Client_01050000.ocx" on
// Windows, "libNavlet_Client_01050000.so" on Linux, for version 1.5.0.0.
std::string VersionedModuleName(int32_t version, TModuleNaming naming);

// Whether `name` (a file name without its folder) is one the self-update
// leaves beside the module: the download "Navlet_Client.upd" or an installed
// versioned module, in any letter case. The uninstaller removes these.
bool IsUpdateLeftoverName(std::string_view name, TModuleNaming naming);

} // namespace navlet
