// What navlet-load reads about the server process: memory, CPU, write calls,
// and the kernel's TCP socket memory; and an optional strace of its writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// `strace -c -f` of the server's write calls into `file`, from Start to Stop.
class TWriteTrace {
  public:
    ~TWriteTrace() { Stop(); }
    // False when strace cannot be started.
    bool Start(int pid, const std::string& file);
    // Ends the trace and returns the counted calls, if strace wrote its summary.
    std::optional<uint64_t> Stop();

  private:
    int child = -1;
    std::string file;
};

} // namespace navlet::load
