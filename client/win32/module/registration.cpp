#include "client/win32/module/registration.h"

#include <comcat.h>
#include <oleauto.h>
#include <olectl.h>
#include <shlguid.h>

#include <exception>
#include <string>

#include "client/core/registration.h"
#include "client/win32/com/com_object.h"
#include "client/win32/module/module_entry.h"
#include "client/win32/module/navlet_ids.h"

namespace navlet::win32 {

namespace {

#if defined(_WIN64)
constexpr SYSKIND TYPELIB_SYSKIND = SYS_WIN64;
#else
constexpr SYSKIND TYPELIB_SYSKIND = SYS_WIN32;
#endif

// The failure result of (un)registration; the description stays with the
// thread's error info, where the caller of DllRegisterServer can read it.
HRESULT RegistrationFailure(const std::wstring& description) {
    TComPtr<ICreateErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(info.Put()))) {
        info->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        info->SetGUID(CLSID_Navlet);
        TComPtr<IErrorInfo> error;
        if (SUCCEEDED(info->QueryInterface(IID_IErrorInfo, error.PutVoid())))
            SetErrorInfo(0, error.Get());
    }
    return SELFREG_E_CLASS;
}

std::wstring Widen(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), int(out.size()));
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

LSTATUS WriteString(const TRegEntry& entry) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExA(key, entry.valueName.empty() ? nullptr : entry.valueName.c_str(), 0,
                            REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()),
                            DWORD(entry.value.size() + 1));
    RegCloseKey(key);
    return status;
}

// A key that is not there counts as removed.
bool DeleteTree(const std::string& key) {
    const LSTATUS status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// Whether this module's version of the type library, for this architecture,
// is registered: another version under the same id (a newer module's) is not
// ours to remove, and asking to would fail the unregistration.
bool TypeLibRegistered() {
    wchar_t libid[40] = {};
    StringFromGUID2(LIBID_NavletBar, libid, 40);
    const std::wstring path = std::wstring(L"TypeLib\\") + libid + L"\\" +
                              std::to_wstring(NAVLET_TYPELIB_MAJOR) + L"." +
                              std::to_wstring(NAVLET_TYPELIB_MINOR) + L"\\0\\" +
                              (TYPELIB_SYSKIND == SYS_WIN64 ? L"win64" : L"win32");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

TComPtr<ICatRegister> CategoryManager() {
    TComPtr<ICatRegister> manager;
    CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                     IID_ICatRegister, manager.PutVoid());
    return manager;
}

HRESULT RegisterAll() {
    const std::string path = ModulePathA();
    const std::wstring pathW = ModulePathW();
    if (path.empty() || pathW.empty())
        return RegistrationFailure(L"The module's path cannot be read");
    for (const TRegEntry& entry : ClassRegistrationEntries(path)) {
        const LSTATUS status = WriteString(entry);
        if (status != ERROR_SUCCESS)
            return RegistrationFailure(L"Cannot write HKEY_CLASSES_ROOT\\" + Widen(entry.key) +
                                       L" (error " + std::to_wstring(status) + L")");
    }
    TComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadTypeLibEx(pathW.c_str(), REGKIND_NONE, typeLib.Put());
    if (FAILED(hr))
        return RegistrationFailure(L"The module holds no type library");
    hr = RegisterTypeLib(typeLib.Get(), const_cast<LPOLESTR>(pathW.c_str()), nullptr);
    if (FAILED(hr))
        return RegistrationFailure(L"The type library cannot be registered");
    TComPtr<ICatRegister> categories = CategoryManager();
    CATID band = CATID_CommBand;
    if (!categories || FAILED(categories->RegisterClassImplCategories(CLSID_Navlet, 1, &band)))
        return RegistrationFailure(L"The class cannot be listed as an explorer bar");
    return S_OK;
}

HRESULT UnregisterAll() {
    // First out of the explorer bars, so that no browser finds a half-removed class.
    TComPtr<ICatRegister> categories = CategoryManager();
    CATID band = CATID_CommBand;
    if (!categories)
        return RegistrationFailure(L"No component categories manager");
    categories->UnRegisterClassImplCategories(CLSID_Navlet, 1, &band);
    if (!DeleteTree(ClassKey()) || !DeleteTree(PROGID_NAVLET))
        return RegistrationFailure(L"The class's registry entries cannot be removed");
    if (TypeLibRegistered() &&
        FAILED(UnRegisterTypeLib(LIBID_NavletBar, NAVLET_TYPELIB_MAJOR, NAVLET_TYPELIB_MINOR,
                                 LOCALE_NEUTRAL, TYPELIB_SYSKIND)))
        return RegistrationFailure(L"The type library cannot be unregistered");
    return S_OK;
}

HRESULT Caught(HRESULT (*body)()) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        return RegistrationFailure(Widen(e.what()));
    } catch (...) {
        return RegistrationFailure(L"Registration failed");
    }
}

} // namespace

HRESULT RegisterModule() {
    return Caught(RegisterAll);
}

HRESULT UnregisterModule() {
    return Caught(UnregisterAll);
}

} // namespace navlet::win32
