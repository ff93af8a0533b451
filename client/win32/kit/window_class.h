// The window classes of the kit and the bar belong to the module that holds
// them (the .ocx, or a test program linking the same code), not to the host.
#pragma once

#include <windows.h>

namespace navlet::win32 {

// The module this code lives in.
HINSTANCE ThisModule();

// Registers a window class of this module. Every bar and kit asks again; a
// class that is already registered stays as it is.
void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HCURSOR cursor = nullptr,
                         HBRUSH background = nullptr);

} // namespace navlet::win32
