// A program of ours run as an operator runs it from a shell: its exit code
// and everything it wrote.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace navlet::server::testing {

struct TRun {
    int code = -1;
    std::string output; // stdout and stderr
};

inline TRun RunProgram(const std::string& binary, const std::string& args) {
    TRun run;
    std::string command = binary + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 512> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline TRun RunServer(const std::string& args) {
    return RunProgram(NAVLET_SERVER_BINARY, args);
}

} // namespace navlet::server::testing
