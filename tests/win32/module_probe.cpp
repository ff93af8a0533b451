// Loads a module the way a host process does and reports what its load did
// to the process: "loaded" or "refused", and the floating-point control
// words afterwards; on a second line, the loading thread's COM apartment
// after the load and after the first call into the module ("none" or
// "sta"). Started by the module tests, also under other file names.
//
//   module_probe MODULE X87_CONTROL_WORD MXCSR   (numbers in hex)
//
// Exit code 0 when the module loaded, 3 when it refused, 2 on bad arguments.
#include <windows.h>

#include <objbase.h>

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

int wmain(int argc, wchar_t** argv) {
    if (argc != 4)
        return 2;
    unsigned short control = static_cast<unsigned short>(std::wcstoul(argv[2], nullptr, 16));
    __asm__ __volatile__("fldcw %0" : : "m"(control));
#if defined(__x86_64__)
    unsigned int csr = static_cast<unsigned int>(std::wcstoul(argv[3], nullptr, 16));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(csr));
#endif
    HMODULE module = LoadLibraryW(argv[1]);
    __asm__ __volatile__("fnstcw %0" : "=m"(control));
    unsigned int after = 0;
#if defined(__x86_64__)
    __asm__ __volatile__("stmxcsr %0" : "=m"(after));
#endif
    // The masks only: the status flags below them say what the load computed.
    std::printf("%s x87=%04x mxcsr=%04x\n", module ? "loaded" : "refused", control, after & ~0x3Fu);
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
