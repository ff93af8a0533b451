// The phases of a navlet-load run and its report.
#include <algorithm>
#include <iomanip>
#include <sys/resource.h>
#include <unistd.h>

#include "tools/load/load_run.h"
#include "tools/load/server_probe.h"

namespace navlet::load {
namespace {

constexpr double NS = 1e9;

// CPU seconds this process has used, user and system.
double OwnCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int64_t Now() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

template <typename T> double Delta(const std::optional<T>& a, const std::optional<T>& b) {
    return (a && b) ? double(*b) - double(*a) : 0.0;
}

uint64_t ExpectedPresence(const TLoadOptions& o) {
    uint64_t total = 0;
    for (int s = 0; s < o.sites; ++s) {
        uint64_t n = uint64_t(o.sessions / o.sites + (s < o.sessions % o.sites ? 1 : 0));
        total += n * (n ? n - 1 : 0);
    }
    return total;
}

} // namespace

int TLoadRun::Run(std::ostream& out) {
    if (!Setup(out))
        return 1;
    const int pid = options.serverPid;
    TServerSnapshot before = TakeSnapshot(pid);
    TServerSnapshot proxyBefore = TakeTreeSnapshot(options.proxyPid);
    int64_t start = Now();
    Loop(
        start + int64_t(options.signInTimeout * NS),
        [&] { return nextToConnect == options.sessions && pendingLogins == 0; }, TWork::None);
    int64_t signInEnd = Now();
    // Presence records still flow to the earlier bots after the last sign-in.
    Loop(
        Now() + int64_t(NS), [] { return false; }, TWork::None);
    HoldIgnores();
    TServerSnapshot idle = TakeSnapshot(pid);
    TServerSnapshot proxyIdle = TakeTreeSnapshot(options.proxyPid);

    TWriteTrace trace;
    bool tracing = !options.traceWrites.empty() && pid > 0 && trace.Start(pid, options.traceWrites);
    TServerSnapshot chatBefore = TakeSnapshot(pid);
    TServerSnapshot proxyChatBefore = TakeTreeSnapshot(options.proxyPid);
    double ownCpuBefore = OwnCpuSeconds();
    BeginChat();
    Loop(
        chatStartNs + int64_t(options.duration * NS), [] { return false; }, TWork::Chat);
    measuringChat = false;
    double chatSeconds = double(Now() - chatStartNs) / NS;
    double ownBusy = chatSeconds > 0 ? (OwnCpuSeconds() - ownCpuBefore) / chatSeconds : 0;
    TServerSnapshot chatAfter = TakeSnapshot(pid);
    TServerSnapshot proxyChatAfter = TakeTreeSnapshot(options.proxyPid);
    const TWriteTrace::TTool traceTool = trace.Tool();
    std::optional<uint64_t> traced = tracing ? trace.Stop() : std::nullopt;
    const bool slowedDown = traceTool == TWriteTrace::TTool::Strace;
    Loop(
        Now() + 2 * int64_t(NS),
        [&] { return counters.linesDelivered >= counters.expectedDeliveries; }, TWork::None);

    const TLoadCounters& c = counters;
    double signInSeconds = double((c.lastSignInNs ? c.lastSignInNs : signInEnd) - start) / NS;
    out << std::fixed << std::setprecision(2);
    out << "sign-in: " << c.signedIn << " of " << options.sessions << " bots on " << options.sites
        << " site(s) in " << signInSeconds << " s = " << double(c.signedIn) / signInSeconds
        << " sign-ins/s (refused " << c.refused << ", closed " << c.closed << ", broken "
        << c.broken << (options.tls ? ", TLS handshakes failed " + std::to_string(c.tlsFailed) : "")
        << ")\n";
    if (c.tlsFailed > 0)
        out << "tls: " << c.tlsFailed << " handshakes failed; the first: " << tlsFailure << "\n";
    double presenceSeconds = c.lastPresenceNs ? double(c.lastPresenceNs - start) / NS : 0;
    out << "presence: " << c.presenceOthers << " records of other users of "
        << ExpectedPresence(options) << " expected; the last came " << presenceSeconds
        << " s after the first connect\n";
    double perSession = c.signedIn ? 1.0 / double(c.signedIn) : 0;
    double rssPer = Delta(before.rssKiB, idle.rssKiB) * 1024 * perSession;
    double tcpPer = (before.tcp && idle.tcp)
                        ? (double(idle.tcp->memPages) - double(before.tcp->memPages)) *
                              double(::sysconf(_SC_PAGESIZE)) * perSession
                        : 0;
    if (pid > 0) {
        out << "server memory: RSS " << (before.rssKiB ? *before.rssKiB : 0) << " KiB before, "
            << (idle.rssKiB ? *idle.rssKiB : 0) << " KiB with the bots signed in = " << rssPer
            << " bytes per session\n";
    }
    double slabPer = Delta(before.socketSlabBytes, idle.socketSlabBytes) * perSession;
    out << "kernel, both ends of each loopback connection: TCP buffers " << tcpPer
        << " bytes per session; socket objects "
        << (idle.socketSlabBytes ? std::to_string(slabPer) + " bytes per session (slab)"
                                 : std::string("n/a (no /proc/slabinfo)"))
        << "\n";
    if (options.ignores > 0)
        out << "ignores: " << c.ignoresHeld << " of " << c.signedIn * uint64_t(options.ignores)
            << " held by the server before the chat\n";
    uint64_t p50 = latency.Percentile(0.50), p99 = latency.Percentile(0.99);
    double delivered = double(c.deliveredInChat) / chatSeconds;
    out << "chat: " << c.linesSent << " lines sent (" << c.linesSkipped << " skipped) in "
        << chatSeconds << " s; " << c.linesDelivered << " deliveries of " << c.expectedDeliveries
        << " expected; " << delivered << " deliveries/s\n";
    out << "latency: p50 " << double(p50) / 1000 << " ms, p99 " << double(p99) / 1000 << " ms, max "
        << double(latency.Max()) / 1000 << " ms (navlet-load busy " << ownBusy * 100
        << "% of a core in the chat)\n";
    double cpuSeconds =
        Delta(chatBefore.cpuTicks, chatAfter.cpuTicks) / double(::sysconf(_SC_CLK_TCK));
    double cpuPerLine = c.deliveredInChat ? cpuSeconds * 1e6 / double(c.deliveredInChat) : 0;
    double syscwPerLine = c.deliveredInChat
                              ? Delta(chatBefore.syscw, chatAfter.syscw) / double(c.deliveredInChat)
                              : 0;
    double writesPerLine =
        (traced && c.deliveredInChat) ? double(*traced) / double(c.deliveredInChat) : -1;
    if (pid > 0) {
        out << "server CPU in the chat: " << cpuSeconds << " s = " << cpuPerLine
            << " us per delivered line" << (slowedDown ? " (under strace: inflated)" : "") << "\n";
        out << "server write calls per delivered line: "
            << (traced ? std::to_string(writesPerLine) + (slowedDown ? " (strace)" : " (perf)")
                       : std::string("n/a"))
            << "; syscw per delivered line " << syscwPerLine << "\n";
    }
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    const double proxyRssPer = Delta(proxyBefore.rssKiB, proxyIdle.rssKiB) * 1024 * perSession;
    const double proxyCpuPerLine = c.deliveredInChat
                                       ? Delta(proxyChatBefore.cpuTicks, proxyChatAfter.cpuTicks) /
                                             ticks * 1e6 / double(c.deliveredInChat)
                                       : 0;
    if (options.proxyPid > 0) {
        out << "proxy memory (" << options.proxyPid << " and its children): RSS "
            << proxyBefore.rssKiB.value_or(0) << " KiB before, " << proxyIdle.rssKiB.value_or(0)
            << " KiB with the bots signed in = " << proxyRssPer << " bytes per session\n";
        out << "proxy CPU in the chat: "
            << Delta(proxyChatBefore.cpuTicks, proxyChatAfter.cpuTicks) / ticks
            << " s = " << proxyCpuPerLine << " us per delivered line\n";
    }
    out << "RESULT sessions=" << options.sessions << " signed_in=" << c.signedIn
        << " signins_per_s=" << double(c.signedIn) / signInSeconds
        << " presence=" << c.presenceOthers << " presence_s=" << presenceSeconds
        << " rss_per_session_b=" << rssPer << " tcp_per_session_b=" << tcpPer
        << " slab_per_session_b=" << slabPer << " deliveries_per_s=" << delivered
        << " delivered=" << c.linesDelivered << " expected=" << c.expectedDeliveries
        << " p50_ms=" << double(p50) / 1000 << " p99_ms=" << double(p99) / 1000
        << " load_busy=" << ownBusy << " cpu_us_per_line=" << cpuPerLine
        << " writes_per_line=" << writesPerLine << " syscw_per_line=" << syscwPerLine
        << " ignores_held=" << c.ignoresHeld;
    if (options.tls)
        out << " tls_failed=" << c.tlsFailed;
    if (options.proxyPid > 0)
        out << " proxy_rss_per_session_b=" << proxyRssPer
            << " proxy_cpu_us_per_line=" << proxyCpuPerLine;
    out << "\n";
    return c.signedIn == uint64_t(options.sessions) ? 0 : 1;
}

} // namespace navlet::load
