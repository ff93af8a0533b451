// Measurements of navlet-load that need no socket: the latency histogram, the
// send stamp carried in chat text, and readers of the kernel's /proc files.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace navlet::load {

// Latencies in microseconds, kept in log-linear buckets (64 per power of two,
// so a percentile is off by at most 1/32 of its value) in fixed memory.
class TLatencyHistogram {
  public:
    static constexpr int SUB_BITS = 6;
    static constexpr int BUCKETS = (1 << SUB_BITS) + 40 * (1 << (SUB_BITS - 1));

    void Add(uint64_t micros);
    uint64_t Count() const { return count; }
    uint64_t Max() const { return max; }
    // The value below which `fraction` (0..1) of the samples lie; 0 when empty.
    uint64_t Percentile(double fraction) const;
    void Merge(const TLatencyHistogram& other);

    static int BucketOf(uint64_t micros);
    static uint64_t LowestOf(int bucket); // smallest value that falls into `bucket`

  private:
    std::array<uint64_t, BUCKETS> buckets{};
    uint64_t count = 0;
    uint64_t max = 0;
};

// A chat line of a bot starts with its send time, so that every receiver can
// measure the delivery without a clock of the server: "L<nanoseconds>:<bot> ".
std::string StampedChatText(uint64_t sentNanos, uint32_t bot, size_t padTo);
struct TChatStamp {
    uint64_t sentNanos = 0;
    uint32_t bot = 0;
};
std::optional<TChatStamp> ReadChatStamp(std::string_view text);

// Readers of /proc text, split from the file access so tests can feed them.
std::optional<uint64_t> ParseVmRssKiB(std::string_view status); // /proc/PID/status
std::optional<uint64_t> ParseCpuTicks(std::string_view stat);   // utime + stime
std::optional<int> ParseParentPid(std::string_view stat);       // /proc/PID/stat
std::optional<uint64_t> ParseIoField(std::string_view io, std::string_view field); // /proc/PID/io
struct TTcpSockstat {
    uint64_t inUse = 0;
    uint64_t memPages = 0; // kernel memory of all TCP sockets, in pages
};
std::optional<TTcpSockstat> ParseTcpSockstat(std::string_view sockstat); // /proc/net/sockstat

// The whole text of a /proc file; empty when it cannot be read.
std::string ReadProcFile(const std::string& path);

} // namespace navlet::load

namespace navlet::load {
// Bytes held by the active objects of the kernel caches that every socket
// uses (TCP, sock_inode_cache, filp, dentry, eventpoll_epi), from
// /proc/slabinfo; nothing when the file cannot be parsed (it needs root).
std::optional<uint64_t> ParseSocketSlabBytes(std::string_view slabinfo);
// The sum of the syscall tracepoint counts in `perf stat -x,` output.
std::optional<uint64_t> ParsePerfSyscallCounts(std::string_view output);
// The number of calls in the "total" line of `strace -c` output.
std::optional<uint64_t> ParseStraceTotalCalls(std::string_view output);
} // namespace navlet::load
