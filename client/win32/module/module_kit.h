// The one Win32 kit that every bar of the loaded module is made with, and the
// making of a bar form with it.
#pragma once

#include <windows.h>

#include <memory>

namespace navlet {
class TNavlet;
}

namespace navlet::win32 {

// A new bar form made with the module's kit; null when the kit cannot be had.
std::unique_ptr<TNavlet> CreateBarFormWithModuleKit();

} // namespace navlet::win32
