// navlet-load's socket-free pieces: latency percentiles, the send stamp,
// the /proc readers and the bounds of its command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tools/load/load_options.h"
#include "tools/load/load_stats.h"

namespace navlet::load {
namespace {

TEST(LatencyHistogram, BucketsRoundTripAndStayOrdered) {
    for (uint64_t v : {0ull, 1ull, 63ull, 64ull, 65ull, 127ull, 128ull, 1000ull, 123456789ull}) {
        int b = TLatencyHistogram::BucketOf(v);
        EXPECT_LE(TLatencyHistogram::LowestOf(b), v) << v;
        EXPECT_GT(TLatencyHistogram::LowestOf(b + 1), v) << v;
    }
    int last = -1;
    for (uint64_t v = 0; v < 100000; v += 7) {
        int b = TLatencyHistogram::BucketOf(v);
        EXPECT_GE(b, last);
        last = b;
    }
}

TEST(LatencyHistogram, PercentilesAgreeWithSortedSamplesWithinThreePercent) {
    std::mt19937_64 rng(42);
    std::lognormal_distribution<double> dist(7.0, 1.5); // about 1 ms, long tail
    std::vector<uint64_t> samples;
    TLatencyHistogram h;
    for (int i = 0; i < 200000; ++i) {
        uint64_t v = uint64_t(dist(rng));
        samples.push_back(v);
        h.Add(v);
    }
    std::sort(samples.begin(), samples.end());
    for (double f : {0.5, 0.9, 0.99, 0.999}) {
        double exact = double(samples[size_t(f * double(samples.size()))]);
        EXPECT_NEAR(double(h.Percentile(f)), exact, exact * 0.03 + 1) << f;
    }
    EXPECT_EQ(h.Max(), samples.back());
    EXPECT_EQ(h.Count(), samples.size());
}

TEST(LatencyHistogram, EmptyAndMergedHistograms) {
    TLatencyHistogram a, b;
    EXPECT_EQ(a.Percentile(0.99), 0u);
    a.Add(10);
    b.Add(5000);
    b.Add(5000);
    a.Merge(b);
    EXPECT_EQ(a.Count(), 3u);
    EXPECT_EQ(a.Percentile(0.0), 10u);
    EXPECT_NEAR(double(a.Percentile(0.99)), 5000, 5000 * 0.03);
}

TEST(ChatStamp, RoundTripsAndIgnoresOtherLines) {
    std::string text = StampedChatText(1234567890123ull, 42, 40);
    EXPECT_EQ(text.size(), 40u);
    auto stamp = ReadChatStamp(text);
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->sentNanos, 1234567890123ull);
    EXPECT_EQ(stamp->bot, 42u);
    EXPECT_FALSE(ReadChatStamp("hello"));
    EXPECT_FALSE(ReadChatStamp("L12:"));
    EXPECT_FALSE(ReadChatStamp("Lx:1 "));
    EXPECT_FALSE(ReadChatStamp("L1:99999999999 "));
}

TEST(ProcReaders, ReadTheFieldsTheReportNeeds) {
    EXPECT_EQ(ParseVmRssKiB("Name:\tx\nVmPeak:\t 9 kB\nVmRSS:\t    5120 kB\n"), 5120u);
    EXPECT_FALSE(ParseVmRssKiB("Name: x\n"));
    // A command name with blanks and a parenthesis must not shift the fields.
    std::string stat = "77 (navlet (srv) x) S 1 2 3 4 5 6 7 8 9 10 250 31 0 0 20 0 1";
    EXPECT_EQ(ParseCpuTicks(stat), 281u);
    // nginx's workers are found by their parent, past a name with blanks.
    EXPECT_EQ(ParseParentPid("812 (nginx: worker) S 811 811 811 0 -1"), 811);
    EXPECT_EQ(ParseParentPid(stat), 1);
    EXPECT_FALSE(ParseParentPid("812 nginx S 811"));
    EXPECT_EQ(ParseIoField("rchar: 1\nsyscr: 4\nsyscw: 99\n", "syscw"), 99u);
    auto tcp = ParseTcpSockstat("sockets: used 9\nTCP: inuse 12 orphan 0 tw 3 alloc 14 mem 7\n"
                                "UDP: inuse 1 mem 0\n");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->inUse, 12u);
    EXPECT_EQ(tcp->memPages, 7u);
    EXPECT_FALSE(ParseTcpSockstat("UDP: inuse 1 mem 0\n"));
    EXPECT_EQ(ParseStraceTotalCalls("% time     seconds  usecs/call     calls    errors syscall\n"
                                    "------ ----------- ----------- --------- --------- -------\n"
                                    " 99.00    0.010000           2      5000           sendmsg\n"
                                    "100.00    0.010100           2      5012        12 total\n"),
              5012u);
    EXPECT_FALSE(ParseStraceTotalCalls("strace: attach: ptrace(PTRACE_SEIZE, 1): denied\n"));
    EXPECT_EQ(ParsePerfSyscallCounts("# started on Tue\n\n"
                                     "1200,,syscalls:sys_enter_write,5,100.00,,\n"
                                     "<not counted>,,syscalls:sys_enter_writev,0,100.00,,\n"
                                     "34,,syscalls:sys_enter_sendmsg,5,100.00,,\n"),
              1234u);
    EXPECT_FALSE(ParsePerfSyscallCounts("Error: No permissions\n"));
    EXPECT_EQ(ParseSocketSlabBytes("slabinfo - version: 2.1\n"
                                   "request_sock_TCP 48 108 320 12 1 : tunables 0 0 0\n"
                                   "TCP               10     117   2000   13    8 : tunables\n"
                                   "filp 3 9 100 21 1 : tunables 0 0 0\n"),
              20300u); // request_sock_TCP is not a socket's own cache
    EXPECT_FALSE(ParseSocketSlabBytes("nothing here\n"));
}

std::optional<TLoadOptions> Parse(std::vector<std::string> args) {
    std::string error;
    auto options = ParseLoadOptions(args, error);
    if (!options) {
        EXPECT_FALSE(error.empty());
    }
    return options;
}

TEST(LoadOptions, ParsesARunAndNamesTheBots) {
    auto o = Parse({"--sessions", "1000", "--sites", "4", "--rate", "0.5", "--duration", "15",
                    "--server", "127.0.0.1:9000", "--prefix", "lb", "--first-bot", "7"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->sessions, 1000);
    EXPECT_DOUBLE_EQ(o->rate, 0.5);
    EXPECT_EQ(BotNick(*o, 0), "lb00007");
    EXPECT_EQ(BotSite(5, o->sites), "site1.load.test/index.html");
}

TEST(LoadOptions, EveryBoundIsEnforced) {
    EXPECT_FALSE(Parse({"--sessions", "0"}));
    EXPECT_FALSE(Parse({"--sessions", "20001"}));
    EXPECT_FALSE(Parse({"--rate", "101"}));
    EXPECT_FALSE(Parse({"--duration", "601"}));
    EXPECT_FALSE(Parse({"--duration", "-1"}));
    EXPECT_FALSE(Parse({"--sessions", "2", "--sites", "3"}));
    EXPECT_FALSE(Parse({"--text-length", "500"}));
    EXPECT_FALSE(Parse({"--prefix", "elevenchars"}));
    EXPECT_FALSE(Parse({"--first-bot", "99999", "--sessions", "2"}));
    EXPECT_FALSE(Parse({"--create-accounts"}));
    EXPECT_FALSE(Parse({"--sessions"}));
    EXPECT_FALSE(Parse({"--bogus", "1"}));
    EXPECT_FALSE(Parse({"--rate", "1x"}));
    EXPECT_FALSE(Parse({"--ignores", "1001", "--ignore-first-id", "1"}));
    EXPECT_FALSE(Parse({"--ignores", "5"})); // whom to ignore is not said
    EXPECT_TRUE(Parse({"--ignores", "1000", "--ignore-first-id", "1"}));
}

TEST(LoadOptions, TlsVerifiesAgainstAGivenCaOnly) {
    EXPECT_FALSE(Parse({"--tls"})); // nothing to verify the server against
    EXPECT_FALSE(Parse({"--ca", "ca.crt"}));
    EXPECT_FALSE(Parse({"--tls-name", "localhost"}));
    auto o = Parse({"--ws", "/session", "--tls", "--ca", "ca.crt", "--tls-name", "localhost",
                    "--proxy-pid", "42"});
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->tls);
    EXPECT_EQ(o->caFile, "ca.crt");
    EXPECT_EQ(o->tlsName, "localhost");
    EXPECT_EQ(o->proxyPid, 42);
}

} // namespace
} // namespace navlet::load
