// Our programs and the services beside them, started by the tests in
// processes of their own.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace navlet::server::testing {

// Starts ARGS[0] (found on PATH when it names no folder) with the rest of
// ARGS. Its stdout goes nowhere and its stderr to `stderrPath` (nowhere when
// empty); `env` ("NAME=value") is added to the environment and `unset` taken
// from it. Returns the child's id, -1 when there is none.
inline pid_t SpawnProgram(const std::vector<std::string>& args, const std::string& stderrPath = "",
                          const std::vector<std::string>& env = {},
                          const std::vector<std::string>& unset = {}) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int null = ::open("/dev/null", O_WRONLY);
    const int err =
        stderrPath.empty() ? null : ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(null, 1);
    ::dup2(err, 2);
    for (const std::string& name : unset)
        ::unsetenv(name.c_str());
    for (const std::string& e : env)
        ::putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

} // namespace navlet::server::testing
