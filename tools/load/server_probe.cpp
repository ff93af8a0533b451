#include "tools/load/server_probe.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace navlet::load {

TServerSnapshot TakeSnapshot(int pid) {
    TServerSnapshot snap;
    snap.tcp = ParseTcpSockstat(ReadProcFile("/proc/net/sockstat"));
    snap.socketSlabBytes = ParseSocketSlabBytes(ReadProcFile("/proc/slabinfo"));
    if (pid <= 0)
        return snap;
    std::string base = "/proc/" + std::to_string(pid);
    snap.rssKiB = ParseVmRssKiB(ReadProcFile(base + "/status"));
    snap.cpuTicks = ParseCpuTicks(ReadProcFile(base + "/stat"));
    snap.syscw = ParseIoField(ReadProcFile(base + "/io"), "syscw");
    return snap;
}

bool TWriteTrace::Start(int pid, const std::string& path) {
    Stop();
    file = path;
    std::string pidText = std::to_string(pid);
    child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::execlp("strace", "strace", "-q", "-c", "-f", "-e",
                 "trace=write,writev,sendmsg,sendmmsg,sendto", "-p", pidText.c_str(), "-o",
                 path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // strace needs a moment to attach to every thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
        child = -1;
        return false;
    }
    return true;
}

std::optional<uint64_t> TWriteTrace::Stop() {
    if (child <= 0)
        return std::nullopt;
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    child = -1;
    return ParseStraceTotalCalls(ReadProcFile(file));
}

} // namespace navlet::load
