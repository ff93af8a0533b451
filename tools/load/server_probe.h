// What navlet-load reads about the server process: memory, CPU, write calls,
// and the kernel's TCP socket memory; and an optional strace of its writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/load/load_stats.h"

namespace navlet::load {

struct TServerSnapshot {
    std::optional<uint64_t> rssKiB;
    std::optional<uint64_t> cpuTicks;        // utime + stime, in clock ticks
    std::optional<uint64_t> syscw;           // write-type system calls (not sendmsg on sockets)
    std::optional<TTcpSockstat> tcp;         // whole machine
    std::optional<uint64_t> socketSlabBytes; // whole machine
};

// pid 0 reads only the machine-wide values.
TServerSnapshot TakeSnapshot(int pid);
// The memory and CPU of `pid` and its children together (nginx's master and
// its workers); the machine-wide values are left out.
TServerSnapshot TakeTreeSnapshot(int pid);

// Counts the server's write calls (write, writev, sendmsg, sendmmsg, sendto)
// into a file from Start to Stop: with `perf stat` on the syscall tracepoints
// (cheap), or else with `strace -c -f` (slows the server down a lot).
class TWriteTrace {
  public:
    enum class TTool { None, Perf, Strace };
    ~TWriteTrace() { Stop(); }
    // False when neither tool can be started.
    bool Start(int pid, const std::string& file);
    // Ends the count and returns the calls, if the tool wrote its summary.
    std::optional<uint64_t> Stop();
    TTool Tool() const { return tool; }

  private:
    bool Spawn(const std::vector<std::string>& argv);
    int child = -1;
    TTool tool = TTool::None;
    std::string file;
};

} // namespace navlet::load
