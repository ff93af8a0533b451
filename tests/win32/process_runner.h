// Running another program from a Windows test: its exit code and what it
// printed, with extra environment variables.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace navlet::wintest {

struct TProcessResult {
    DWORD exitCode = DWORD(-1);
    std::string output; // standard output
};

// Runs `commandLine` and waits at most `timeoutMs`; a program still running
// then is terminated and reported with exit code WAIT_TIMEOUT.
TProcessResult
RunProcess(const std::wstring& commandLine,
           const std::vector<std::pair<std::wstring, std::wstring>>& environment = {},
           DWORD timeoutMs = 60000);

// The directory of the running test program, with a trailing backslash.
std::wstring ProgramDirectory();
// A fresh empty directory under the system's temporary directory.
std::wstring MakeTempDirectory(const std::wstring& stem);

// The module under test (its build path, as the test's compile definition
// gives it) in the Windows path form the module sees.
std::wstring ModulePath();
std::wstring Quoted(const std::wstring& text);

} // namespace navlet::wintest
