#include "tests/win32/process_runner.h"

#include <thread>

namespace navlet::wintest {

namespace {

// The environment block of this process plus `extra`, as CreateProcessW takes it.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& extra) {
    std::wstring block;
    if (wchar_t* current = GetEnvironmentStringsW()) {
        for (const wchar_t* p = current; *p; p += wcslen(p) + 1)
            block.append(p).push_back(L'\0');
        FreeEnvironmentStringsW(current);
    }
    for (const auto& [name, value] : extra)
        block.append(name + L"=" + value).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

} // namespace

TProcessResult RunProcess(const std::wstring& commandLine,
                          const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                          DWORD timeoutMs) {
    TProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring command = commandLine;
    std::wstring block = EnvironmentBlock(environment);
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       block.data(), nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return result;
    }
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            result.output.append(buffer, got);
    });
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, WAIT_TIMEOUT);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    reader.join();
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return result;
}

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring MakeTempDirectory(const std::wstring& stem) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + stem + L"-" +
                             std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

std::wstring ModulePath() {
    const std::string built = NAVLET_MODULE_FILE;
    std::wstring wide(built.begin(), built.end());
    // A Unix path from the build: wine reaches it through drive Z:.
    if (!wide.empty() && wide[0] == L'/')
        wide = L"Z:" + wide;
    for (wchar_t& c : wide)
        if (c == L'/')
            c = L'\\';
    return wide;
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

} // namespace navlet::wintest
