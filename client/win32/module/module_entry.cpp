#include "client/win32/module/module_entry.h"

#include <cpuid.h>
#include <cwctype>
#include <vector>

namespace navlet::win32 {

HINSTANCE moduleInstance = nullptr;

bool HasSse() {
#if defined(__x86_64__)
    return true;
#else
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE) != 0;
#endif
}

bool IsRefusedHostPath(std::wstring_view hostPath) {
    std::wstring lower(hostPath);
    for (wchar_t& c : lower)
        c = wchar_t(std::towlower(c));
    return lower.find(L"explorer.exe") != std::wstring::npos;
}

void MaskFloatingPointExceptions() {
    constexpr unsigned short X87_MASKS = 0x3D; // invalid, zero divide, overflow, underflow, inexact
    unsigned short control = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    control |= X87_MASKS;
    __asm__ __volatile__("fldcw %0" : : "m"(control));
    // SSE code in the process (the host's, the system libraries' the bar calls)
    // traps on the same exceptions, 7 bits up in MXCSR. x86-64 always has SSE;
    // a 32-bit processor without it has no MXCSR to set.
    if (!HasSse())
        return;
    unsigned int csr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    csr |= unsigned(X87_MASKS) << 7;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
}

std::wstring ModulePathW() {
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetModuleFileNameW(moduleInstance, buffer.data(), DWORD(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    return std::wstring(buffer.data(), n);
}

std::string ModulePathA() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(moduleInstance, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::string(buffer, n);
}

} // namespace navlet::win32
