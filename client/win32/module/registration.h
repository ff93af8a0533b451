// Self-registration of the module: the class's registry entries, its type
// library and its explorer-bar category. Every failure is SELFREG_E_CLASS,
// with a description left in the thread's error info for the caller.
#pragma once

#include <windows.h>

namespace navlet::win32 {

HRESULT RegisterModule();
HRESULT UnregisterModule();

} // namespace navlet::win32
