// Navlet_Client.ocx's entry and exports: the load refusal, the class table and
// its factories, and the self-registration.
#include <windows.h>

#include <ole2.h>

#include <atomic>
#include <vector>

#include "client/win32/com/com_object.h"
#include "client/win32/module/module_entry.h"
#include "client/win32/module/navlet_ids.h"
#include "client/win32/module/navlet_impl.h"
#include "client/win32/module/registration.h"

using namespace navlet::win32;

namespace {

struct TClassEntry {
    const CLSID* clsid;
    IClassFactory* (*makeFactory)();
    IClassFactory* factory; // made on first use, released at detach
};

TClassEntry classTable[] = {
    {&CLSID_Navlet, [] { return static_cast<IClassFactory*>(new TClassFactory<TNavletImpl>); },
     nullptr},
};

CRITICAL_SECTION factoryLock;
// The thread whose apartment the module entered; 0 while none.
std::atomic<DWORD> comThread{0};

// Two threads asking for a class at once get the same factory.
struct TFactoryLockHold {
    TFactoryLockHold() { EnterCriticalSection(&factoryLock); }
    ~TFactoryLockHold() { LeaveCriticalSection(&factoryLock); }
    TFactoryLockHold(const TFactoryLockHold&) = delete;
    TFactoryLockHold& operator=(const TFactoryLockHold&) = delete;
};

bool HostProcessAllowed() {
    std::vector<wchar_t> path(32768);
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size())
        return false;
    return !IsRefusedHostPath(std::wstring_view(path.data(), n));
}

// COM may not start under the loader lock that DllMain runs in: the module
// enters the calling thread's single-threaded apartment where the first
// call into it arrives (the browser's thread, whose apartment it joins).
void EnterApartment() {
    if (comThread != 0)
        return;
    const HRESULT hr = CoInitialize(nullptr);
    if (SUCCEEDED(hr))
        comThread = GetCurrentThreadId();
}

// Leaves it again when COM asks whether the module may go, on that thread:
// a regular call, unlike the module's detach.
void LeaveApartment() {
    if (comThread != GetCurrentThreadId())
        return;
    comThread = 0;
    CoUninitialize();
}

void ReleaseFactories() {
    for (TClassEntry& entry : classTable) {
        if (entry.factory)
            entry.factory->Release();
        entry.factory = nullptr;
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!HostProcessAllowed())
            return FALSE;
        moduleInstance = instance;
        InitializeCriticalSection(&factoryLock);
        DisableThreadLibraryCalls(instance);
        MaskFloatingPointExceptions();
        return TRUE;
    case DLL_PROCESS_DETACH:
        ReleaseFactories();
        DeleteCriticalSection(&factoryLock);
        return TRUE;
    default:
        return TRUE;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
        EnterApartment();
        for (TClassEntry& entry : classTable) {
            if (!IsEqualCLSID(clsid, *entry.clsid))
                continue;
            IClassFactory* factory = nullptr;
            {
                TFactoryLockHold hold;
                if (!entry.factory)
                    entry.factory = entry.makeFactory();
                factory = entry.factory;
                factory->AddRef();
            }
            const HRESULT hr = factory->QueryInterface(riid, out);
            factory->Release();
            return hr;
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    if (ModuleLockCount() != 0)
        return S_FALSE;
    LeaveApartment();
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    EnterApartment();
    return RegisterModule();
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    EnterApartment();
    return UnregisterModule();
}
