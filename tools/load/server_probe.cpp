#include "tools/load/server_probe.h"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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

TServerSnapshot TakeTreeSnapshot(int pid) {
    TServerSnapshot tree;
    if (pid <= 0)
        return tree;
    auto add = [&tree](int member) {
        std::string base = "/proc/" + std::to_string(member);
        auto rss = ParseVmRssKiB(ReadProcFile(base + "/status"));
        auto cpu = ParseCpuTicks(ReadProcFile(base + "/stat"));
        if (rss)
            tree.rssKiB = tree.rssKiB.value_or(0) + *rss;
        if (cpu)
            tree.cpuTicks = tree.cpuTicks.value_or(0) + *cpu;
    };
    add(pid);
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return tree;
    while (dirent* entry = ::readdir(proc)) {
        int child = std::atoi(entry->d_name);
        if (child <= 0 || child == pid)
            continue;
        if (ParseParentPid(ReadProcFile("/proc/" + std::to_string(child) + "/stat")) == pid)
            add(child);
    }
    ::closedir(proc);
    return tree;
}

bool TWriteTrace::Spawn(const std::vector<std::string>& argv) {
    child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    // The tool needs a moment to attach to every thread; one that cannot attach ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
        child = -1;
        return false;
    }
    return true;
}

bool TWriteTrace::Start(int pid, const std::string& path) {
    Stop();
    file = path;
    std::string pidText = std::to_string(pid);
    if (Spawn({"perf", "stat", "-x,", "-o", path, "-p", pidText, "-e",
               "syscalls:sys_enter_write,syscalls:sys_enter_writev,syscalls:sys_enter_sendmsg,"
               "syscalls:sys_enter_sendmmsg,syscalls:sys_enter_sendto"})) {
        tool = TTool::Perf;
        return true;
    }
    if (Spawn({"strace", "-q", "-c", "-f", "-e", "trace=write,writev,sendmsg,sendmmsg,sendto", "-p",
               pidText, "-o", path})) {
        tool = TTool::Strace;
        return true;
    }
    tool = TTool::None;
    return false;
}

std::optional<uint64_t> TWriteTrace::Stop() {
    if (child <= 0)
        return std::nullopt;
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    child = -1;
    std::string output = ReadProcFile(file);
    return tool == TTool::Perf ? ParsePerfSyscallCounts(output) : ParseStraceTotalCalls(output);
}

} // namespace navlet::load
