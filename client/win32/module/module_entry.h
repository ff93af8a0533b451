// What the module's entry does before any object exists: the refusal of the
// shell process, the floating-point mask, and the module-wide handles.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace navlet::win32 {

// The module's own instance, set when the process loads it.
extern HINSTANCE moduleInstance;

// The bar runs only in the browser: a host whose executable path contains
// "explorer.exe" in any letter case is the Windows shell.
bool IsRefusedHostPath(std::wstring_view hostPath);

// Whether the processor has SSE, hence MXCSR: always on x86-64.
bool HasSse();

// Masks invalid operation, division by zero, overflow, underflow and inexact
// result (x87 control word bits 0x3D, and the same exceptions of SSE where the
// processor has it), leaving the denormal mask as it was, so that floating-point faults
// in the bar do not raise exceptions in the host.
void MaskFloatingPointExceptions();

// The module's full path, wide and in the system's code page; empty when it
// cannot be had.
std::wstring ModulePathW();
std::string ModulePathA();

} // namespace navlet::win32
