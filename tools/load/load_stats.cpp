#include "tools/load/load_stats.h"

#include <bit>
#include <charconv>
#include <fstream>
#include <sstream>

namespace navlet::load {
namespace {

constexpr uint64_t SUB_COUNT = 1u << TLatencyHistogram::SUB_BITS;
constexpr uint64_t HALF_SUB = SUB_COUNT / 2;

std::optional<uint64_t> ParseUnsigned(std::string_view text) {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The blank-separated words of a line.
std::string_view NextWord(std::string_view& rest) {
    size_t start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    size_t end = rest.find_first_of(" \t\n");
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    return word;
}

// The line of `text` that starts with `prefix`, without the prefix.
std::optional<std::string_view> LineAfter(std::string_view text, std::string_view prefix) {
    size_t at = 0;
    while (at < text.size()) {
        size_t eol = text.find('\n', at);
        std::string_view line =
            text.substr(at, eol == std::string_view::npos ? std::string_view::npos : eol - at);
        if (line.substr(0, prefix.size()) == prefix)
            return line.substr(prefix.size());
        if (eol == std::string_view::npos)
            break;
        at = eol + 1;
    }
    return std::nullopt;
}

} // namespace

int TLatencyHistogram::BucketOf(uint64_t micros) {
    if (micros < SUB_COUNT)
        return int(micros);
    int shift = std::bit_width(micros) - SUB_BITS;
    uint64_t top = micros >> shift; // in [HALF_SUB, SUB_COUNT)
    int bucket = int(SUB_COUNT + uint64_t(shift - 1) * HALF_SUB + (top - HALF_SUB));
    return bucket < BUCKETS ? bucket : BUCKETS - 1;
}

uint64_t TLatencyHistogram::LowestOf(int bucket) {
    if (bucket < int(SUB_COUNT))
        return uint64_t(bucket);
    uint64_t above = uint64_t(bucket) - SUB_COUNT;
    int shift = int(above / HALF_SUB) + 1;
    uint64_t top = HALF_SUB + above % HALF_SUB;
    return top << shift;
}

void TLatencyHistogram::Add(uint64_t micros) {
    ++buckets[size_t(BucketOf(micros))];
    ++count;
    if (micros > max)
        max = micros;
}

uint64_t TLatencyHistogram::Percentile(double fraction) const {
    if (count == 0)
        return 0;
    uint64_t rank = uint64_t(fraction * double(count));
    if (rank >= count)
        rank = count - 1;
    uint64_t seen = 0;
    for (int b = 0; b < BUCKETS; ++b) {
        seen += buckets[size_t(b)];
        if (seen > rank)
            return b + 1 < BUCKETS ? std::min(max, (LowestOf(b) + LowestOf(b + 1)) / 2) : max;
    }
    return max;
}

void TLatencyHistogram::Merge(const TLatencyHistogram& other) {
    for (size_t b = 0; b < buckets.size(); ++b)
        buckets[b] += other.buckets[b];
    count += other.count;
    max = std::max(max, other.max);
}

std::string StampedChatText(uint64_t sentNanos, uint32_t bot, size_t padTo) {
    std::string text = "L" + std::to_string(sentNanos) + ":" + std::to_string(bot) + " ";
    if (text.size() < padTo)
        text.append(padTo - text.size(), 'x');
    return text;
}

std::optional<TChatStamp> ReadChatStamp(std::string_view text) {
    if (text.empty() || text[0] != 'L')
        return std::nullopt;
    size_t colon = text.find(':');
    size_t blank = text.find(' ');
    if (colon == std::string_view::npos || blank == std::string_view::npos || blank < colon)
        return std::nullopt;
    auto nanos = ParseUnsigned(text.substr(1, colon - 1));
    auto bot = ParseUnsigned(text.substr(colon + 1, blank - colon - 1));
    if (!nanos || !bot || *bot > UINT32_MAX)
        return std::nullopt;
    return TChatStamp{*nanos, uint32_t(*bot)};
}

std::optional<uint64_t> ParseVmRssKiB(std::string_view status) {
    auto rest = LineAfter(status, "VmRSS:");
    if (!rest)
        return std::nullopt;
    return ParseUnsigned(NextWord(*rest));
}

std::optional<uint64_t> ParseCpuTicks(std::string_view stat) {
    // The command name may hold blanks and parentheses: count from the last ')'.
    size_t close = stat.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = stat.substr(close + 1);
    // Fields after the name start at field 3 (state); utime and stime are 14 and 15.
    std::string_view word;
    for (int field = 3; field <= 13; ++field)
        word = NextWord(rest);
    auto utime = ParseUnsigned(NextWord(rest));
    auto stime = ParseUnsigned(NextWord(rest));
    if (!utime || !stime)
        return std::nullopt;
    return *utime + *stime;
}

std::optional<int> ParseParentPid(std::string_view stat) {
    size_t close = stat.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = stat.substr(close + 1);
    NextWord(rest); // state
    auto parent = ParseUnsigned(NextWord(rest));
    if (!parent || *parent > uint64_t(INT32_MAX))
        return std::nullopt;
    return int(*parent);
}

std::optional<uint64_t> ParseIoField(std::string_view io, std::string_view field) {
    auto rest = LineAfter(io, std::string(field) + ":");
    if (!rest)
        return std::nullopt;
    return ParseUnsigned(NextWord(*rest));
}

std::optional<TTcpSockstat> ParseTcpSockstat(std::string_view sockstat) {
    auto rest = LineAfter(sockstat, "TCP:");
    if (!rest)
        return std::nullopt;
    TTcpSockstat out;
    bool haveMem = false, haveInUse = false;
    std::string_view line = *rest;
    for (;;) {
        std::string_view key = NextWord(line);
        std::string_view value = NextWord(line);
        if (key.empty() || value.empty())
            break;
        auto number = ParseUnsigned(value);
        if (!number)
            return std::nullopt;
        if (key == "inuse") {
            out.inUse = *number;
            haveInUse = true;
        } else if (key == "mem") {
            out.memPages = *number;
            haveMem = true;
        }
    }
    if (!haveMem || !haveInUse)
        return std::nullopt;
    return out;
}

std::string ReadProcFile(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace navlet::load

namespace navlet::load {

std::optional<uint64_t> ParseSocketSlabBytes(std::string_view slabinfo) {
    constexpr std::string_view CACHES[] = {"TCP", "sock_inode_cache", "filp", "dentry",
                                           "eventpoll_epi"};
    uint64_t total = 0;
    int found = 0;
    for (std::string_view cache : CACHES) {
        auto rest = LineAfter(slabinfo, std::string(cache) + " ");
        if (!rest)
            continue;
        std::string_view line = *rest;
        auto active = ParseUnsigned(NextWord(line));
        NextWord(line); // all objects
        auto size = ParseUnsigned(NextWord(line));
        if (!active || !size)
            return std::nullopt;
        total += *active * *size;
        ++found;
    }
    if (found == 0)
        return std::nullopt;
    return total;
}

std::optional<uint64_t> ParsePerfSyscallCounts(std::string_view output) {
    // "12345,,syscalls:sys_enter_sendmsg,..." or "<not counted>,,syscalls:...".
    uint64_t total = 0;
    bool found = false;
    size_t at = 0;
    while (at < output.size()) {
        size_t eol = output.find('\n', at);
        std::string_view line = output.substr(at, eol == std::string_view::npos ? eol : eol - at);
        at = eol == std::string_view::npos ? output.size() : eol + 1;
        if (line.find(",syscalls:sys_enter_") == std::string_view::npos)
            continue;
        found = true;
        std::string_view count = line.substr(0, line.find(','));
        if (count == "<not counted>")
            continue; // the process made no such call while counted
        auto number = ParseUnsigned(count);
        if (!number)
            return std::nullopt;
        total += *number;
    }
    if (!found)
        return std::nullopt;
    return total;
}

std::optional<uint64_t> ParseStraceTotalCalls(std::string_view output) {
    // "100.00    0.012345           1     12345        10 total": calls is the 4th word.
    size_t at = output.rfind(" total");
    if (at == std::string_view::npos)
        return std::nullopt;
    size_t lineStart = output.rfind('\n', at);
    std::string_view line = output.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
    std::string_view word;
    for (int i = 0; i < 4; ++i)
        word = NextWord(line);
    return ParseUnsigned(word);
}

} // namespace navlet::load
