#include "client/win32/kit/protected_mode.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

namespace navlet::win32 {

namespace {

using TIsProtected = HRESULT(WINAPI*)(BOOL*);
using TWritableHkcu = HRESULT(WINAPI*)(HKEY*);
using TWritableFolder = HRESULT(WINAPI*)(REFGUID, LPWSTR*);

// ieframe.dll from the system folder only, never from the current folder.
HMODULE IeFrame() {
    static HMODULE module = [] {
        if (HMODULE loaded = GetModuleHandleW(L"ieframe.dll"))
            return loaded;
        wchar_t system[MAX_PATH] = {};
        const UINT n = GetSystemDirectoryW(system, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return HMODULE(nullptr);
        return LoadLibraryW((std::wstring(system) + L"\\ieframe.dll").c_str());
    }();
    return module;
}

template <class Call> Call IeFrameCall(const char* name) {
    HMODULE module = IeFrame();
    return module ? reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

std::wstring WithSeparator(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

class TPlatformAnswers final : public TProtectedModeAnswers {
  public:
    bool IsProtectedProcess() override {
        const auto call = IeFrameCall<TIsProtected>("IEIsProtectedModeProcess");
        BOOL result = FALSE;
        return call && call(&result) == S_OK && result;
    }

    HKEY OpenWritableCurrentUser() override {
        HKEY key = nullptr;
        if (const auto call = IeFrameCall<TWritableHkcu>("IEGetWriteableHKCU");
            call && call(&key) == S_OK && key)
            return key;
        key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\AppDataLow", 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return nullptr;
        return key;
    }

    std::wstring WritableFolder() override {
        PWSTR path = nullptr;
        std::wstring folder;
        if (const auto call = IeFrameCall<TWritableFolder>("IEGetWriteableFolderPath");
            call && call(FOLDERID_LocalAppDataLow, &path) == S_OK && path)
            folder = path;
        CoTaskMemFree(path);
        path = nullptr;
        if (folder.empty() &&
            SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, &path)) && path)
            folder = path;
        CoTaskMemFree(path);
        return WithSeparator(folder);
    }
};

TPlatformAnswers platformAnswers;
TProtectedModeAnswers* switched = nullptr;

} // namespace

TProtectedModeAnswers& ProtectedModeAnswers() {
    return switched ? *switched : platformAnswers;
}

void SetProtectedModeAnswers(TProtectedModeAnswers* answers) {
    switched = answers;
}

std::wstring ProtectedDownloadFolderW() {
    const std::wstring low = ProtectedModeAnswers().WritableFolder();
    return low.empty() ? low : low + L"Navlet\\";
}

} // namespace navlet::win32
