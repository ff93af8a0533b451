#include "client/win32/module/module_entry.h"

#include <cwctype>
#include <vector>

namespace navlet::win32 {

HINSTANCE moduleInstance = nullptr;

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
#if defined(__x86_64__)
    // x86-64 code computes in SSE registers: the same exceptions, 7 bits up.
    unsigned int csr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(csr));
    csr |= unsigned(X87_MASKS) << 7;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
#endif
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
