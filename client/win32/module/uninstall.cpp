// The uninstaller's custom actions, run by the package from the installed
// module before it removes its own files: the files a self-update left
// beside the module (the download and the installed versioned modules) and
// in the folder a protected bar downloads to (the package also lists them
// with wildcards, which wine's installer does not expand; this serves both),
// and the bar's settings, when the product goes for good.
#include <windows.h>

#include <string>
#include <vector>

#include "client/core/update.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/protected_mode.h"
#include "client/win32/module/module_entry.h"

namespace navlet::win32 {

namespace {

// Deletes the leftovers in `folder` (ending in a separator), never `keep`.
void RemoveLeftoversIn(const std::wstring& folder, const std::wstring& keep) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !IsUpdateLeftoverName(AnsiFromWide(name), TModuleNaming::WindowsControl) ||
            lstrcmpiW((folder + name).c_str(), keep.c_str()) == 0)
            continue;
        DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void RemoveUpdateLeftovers() {
    const std::wstring module = ModulePathW();
    const size_t cut = module.find_last_of(L"\\/");
    if (cut != std::wstring::npos)
        RemoveLeftoversIn(module.substr(0, cut + 1), module);
    const std::wstring low = ProtectedDownloadFolderW();
    if (low.empty())
        return;
    RemoveLeftoversIn(low, module);
    RemoveDirectoryW(low.c_str()); // only once empty
}

void RemoveSettings() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Navlet");
    if (HKEY low = ProtectedModeAnswers().OpenWritableCurrentUser()) {
        RegDeleteTreeW(low, L"Software\\Navlet");
        RegCloseKey(low);
    }
}

} // namespace

} // namespace navlet::win32

// Windows Installer DLL custom actions: their one argument is the
// installer's session handle. They always succeed, so that an uninstall
// never stops here.
extern "C" UINT WINAPI NavletRemoveUpdates(ULONG) {
    try {
        navlet::win32::RemoveUpdateLeftovers();
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

extern "C" UINT WINAPI NavletRemoveSettings(ULONG) {
    navlet::win32::RemoveSettings();
    return ERROR_SUCCESS;
}
