// Loads a module the way a host process does and reports what its load did
// to the process: "loaded" or "refused", and the floating-point control
// words afterwards; on a second line, the loading thread's COM apartment
// after the load and after the first call into the module ("none" or
// "sta"). Started by the module tests, also under other file names.
//
//   module_probe MODULE X87_CONTROL_WORD MXCSR   (numbers in hex)
//
// MODULE "none" loads nothing: the words as the process alone leaves them.
// Exit code 0 when the module loaded (or none was asked for), 3 when it
// refused, 2 on bad arguments.
#include <windows.h>

#include <objbase.h>

#include <cpuid.h>
#include <cstdio>
#include <cwchar>

// "sta" when the thread is in a single-threaded apartment already; "none"
// when it has no apartment (the probe's own entry into one is undone).
const char* Apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (hr == RPC_E_CHANGED_MODE)
        return "sta";
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_OK ? "none" : "mta";
}

bool HasSse() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE) != 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 4)
        return 2;
    // 32-bit code may run where there is no MXCSR; it reads as 0 there.
    const bool sse = HasSse();
    unsigned short control = static_cast<unsigned short>(std::wcstoul(argv[2], nullptr, 16));
    __asm__ __volatile__("fldcw %0" : : "m"(control));
    unsigned int csr = static_cast<unsigned int>(std::wcstoul(argv[3], nullptr, 16));
    if (sse)
        __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
    const bool loadNone = std::wcscmp(argv[1], L"none") == 0;
    HMODULE module = loadNone ? nullptr : LoadLibraryW(argv[1]);
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    unsigned int after = 0;
    if (sse)
        __asm__ __volatile__("stmxcsr %0" : "=m"(after));
    // The masks only: the status flags below them say what the load computed.
    const char* outcome = loadNone ? "none" : (module ? "loaded" : "refused");
    std::printf("%s x87=%04x mxcsr=%04x\n", outcome, control, after & ~0x3Fu);
    if (loadNone) {
        std::fflush(stdout);
        return 0;
    }
    if (module) {
        const char* atLoad = Apartment();
        // Any class will do: the call is what counts.
        using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<TGetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        void* factory = nullptr;
        if (get)
            get(GUID_NULL, IID_IClassFactory, &factory);
        std::printf("com at load %s, after the first call %s\n", atLoad, Apartment());
    }
    std::fflush(stdout);
    // Leaves the module loaded: its unload is not what is being probed.
    return module ? 0 : 3;
}
