#include "client/win32/kit/win32_kit.h"

#include <cmath>
#include <cstring>

#include <mmsystem.h>
#include <shellapi.h>

#include "client/win32/kit/ansi.h"
#include "client/win32/kit/protected_mode.h"

namespace navlet::win32 {

namespace {

// 100-nanosecond FILETIME ticks per day, and the days from 1 January 1601
// (FILETIME's start) to 30 December 1899 (the bar's day zero).
constexpr double TICKS_PER_DAY = 864000000000.0;
constexpr double DAYS_1601_TO_1899 = 109205.0;
// The service's own host; NAVLET_SERVER and NAVLET_WEB point elsewhere.
constexpr const char* SERVICE_HOST = "www.navlet.net";
constexpr const char* MESSAGE_CAPTION = "Navlet";
// The shell's answer when the program could not be started at all.
constexpr int SHELL_FILE_NOT_FOUND = 2;

} // namespace

double DaysOfSystemTime(const SYSTEMTIME& t) {
    FILETIME file{};
    if (!SystemTimeToFileTime(&t, &file))
        return 0;
    const uint64_t ticks = uint64_t(file.dwHighDateTime) << 32 | file.dwLowDateTime;
    return double(ticks) / TICKS_PER_DAY - DAYS_1601_TO_1899;
}

bool SystemTimeOfDays(double days, SYSTEMTIME& out) {
    const double fromStart = days + DAYS_1601_TO_1899;
    if (!(fromStart >= 0) || fromStart > 1e7)
        return false;
    // Whole milliseconds, so that 12:00 is not 11:59:59.999.
    const uint64_t ms = uint64_t(std::llround(fromStart * 86400000.0));
    const uint64_t ticks = ms * 10000;
    FILETIME file{DWORD(ticks & 0xFFFFFFFF), DWORD(ticks >> 32)};
    return FileTimeToSystemTime(&file, &out) != 0;
}

double TWin32Clock::LocalNow() const {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return DaysOfSystemTime(t);
}

double TWin32Clock::UtcNow() const {
    SYSTEMTIME t{};
    GetSystemTime(&t);
    return DaysOfSystemTime(t);
}

double TWin32Clock::UtcToLocal(double utc) const {
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!SystemTimeOfDays(utc, universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return utc;
    return DaysOfSystemTime(local);
}

std::string TWin32Clock::ShortDate(double local) const {
    SYSTEMTIME t{};
    if (!SystemTimeOfDays(local, t))
        return {};
    char text[128] = {};
    const int n =
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, text, int(sizeof text));
    return n > 0 ? std::string(text) : std::string();
}

bool TWin32ModuleFacts::ModuleFileName(std::string& out) const {
    // The module that holds this function: the bar's module when the kit is
    // linked into it, the program otherwise.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&DaysOfSystemTime), &module))
        return false;
    char path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(module, path, DWORD(sizeof path));
    if (n == 0 || n >= sizeof path)
        return false;
    out.assign(path, n);
    return true;
}

uint32_t TWin32ModuleFacts::UserDefaultLcid() const {
    return GetUserDefaultLCID();
}

std::string TWin32ModuleFacts::ServiceHostName() const {
    return SERVICE_HOST;
}

bool TWin32ModuleFacts::ProtectedMode() const {
    return ProtectedModeAnswers().IsProtectedProcess();
}

std::string TWin32ModuleFacts::WritableFolder() const {
    const std::wstring folder = ProtectedDownloadFolderW();
    if (folder.empty())
        return {};
    if (ProtectedMode())
        CreateDirectoryW(folder.c_str(), nullptr); // there already: fine
    return AnsiFromWide(folder);
}

std::string QuotedLinkArgument(const std::string& link) {
    std::string quoted = "\"";
    for (const char c : link) {
        if (c == '"')
            quoted += "%22";
        else if (c != '\r' && c != '\n')
            quoted += c;
    }
    // A trailing backslash would escape the closing quote.
    if (!link.empty() && link.back() == '\\')
        quoted += '\\';
    quoted += '"';
    return quoted;
}

int TWin32HostActions::OpenBrowserWindow(const std::string& link) {
    const std::string arguments = link.empty() ? std::string() : QuotedLinkArgument(link);
    const HINSTANCE result =
        ShellExecuteA(owners.Current(), "open", program.c_str(),
                      arguments.empty() ? nullptr : arguments.c_str(), nullptr, SW_SHOWNORMAL);
    const intptr_t code = reinterpret_cast<intptr_t>(result);
    return code > SHELL_OK_ABOVE ? int(SHELL_OK_ABOVE + 1)
                                 : (code > 0 ? int(code) : SHELL_FILE_NOT_FOUND);
}

void TWin32HostActions::ShowMessage(const std::string& text) {
    MessageBoxA(owners.Current(), text.c_str(), MESSAGE_CAPTION, MB_OK | MB_ICONINFORMATION);
}

void TOwnerWindows::Add(HWND window) {
    Remove(window);
    windows.push_back(window);
}

void TOwnerWindows::Remove(HWND window) {
    std::erase(windows, window);
}

HWND TOwnerWindows::Current() const {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (IsWindow(*it))
            return GetAncestor(*it, GA_ROOT);
    return nullptr;
}

std::optional<std::string> TWin32Environment::Lookup(const std::string& name) const {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (size == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::string>("");
    std::string value(size, '\0');
    const DWORD n = GetEnvironmentVariableA(name.c_str(), value.data(), size);
    if (n >= size)
        return std::nullopt; // changed meanwhile
    value.resize(n);
    return value;
}

void TWin32Clipboard::SetText(const std::string& text) {
    // The clipboard's text ends its lines with CR LF.
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16 + 1);
    for (const char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, crlf.size() + 1);
    if (!memory)
        return;
    char* target = static_cast<char*>(GlobalLock(memory));
    if (!target) {
        GlobalFree(memory);
        return;
    }
    std::memcpy(target, crlf.c_str(), crlf.size() + 1);
    GlobalUnlock(memory);
    if (!OpenClipboard(owner.Handle())) {
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_TEXT, memory))
        GlobalFree(memory); // the clipboard owns it only on success
    CloseClipboard();
}

void TWin32Sound::PlayAlias(const std::string& alias) {
    PlaySoundA(alias.c_str(), nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
}

} // namespace navlet::win32
