#include "server/log/counters.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace navlet::server::counters {

namespace {

constexpr std::array<std::string_view, 10> SIGN_IN = {
    "accepted", "wrong-password",       "unknown-nick", "malformed", "too-many-attempts",
    "busy",     "database-unavailable", "account-gone", "barred",    "other"};
constexpr std::array<std::string_view, 9> SIGN_UP = {
    "made",    "invalid-form", "too-many-sign-ups",    "nick-taken",
    "invalid", "stopping",     "database-unavailable", "banned",
    "other"};
constexpr int FIRST_STATUS = 100;
constexpr int LAST_STATUS = 599;

std::array<std::atomic<uint64_t>, SIGN_IN.size()> signIns{};
std::array<std::atomic<uint64_t>, SIGN_UP.size()> signUps{};
std::atomic<uint64_t> publicLines{0};
std::atomic<uint64_t> deliveries{0};
std::array<std::atomic<uint64_t>, LAST_STATUS - FIRST_STATUS + 1> webStatus{};
std::atomic<uint64_t> storeErrors{0};
// The close codes this server sends; any other counts as "other".
constexpr std::array<uint16_t, 8> CLOSE_CODES = {1000, 1001, 1002, 1003, 1007, 1008, 1009, 1011};
std::array<std::atomic<uint64_t>, CLOSE_CODES.size() + 1> wsCloses{};

// Upper bounds in seconds; the last bucket is +Inf.
constexpr std::array<double, 12> BOUNDS = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                           0.1,   0.25,   0.5,   1,    2.5,   5};
struct THistogram {
    std::array<std::atomic<uint64_t>, BOUNDS.size() + 1> buckets{}; // not cumulative
    std::atomic<uint64_t> sumMicros{0};
};
std::array<THistogram, 3> latencies;
struct THistogramName {
    std::string_view name, help;
};
constexpr std::array<THistogramName, 3> LATENCY_NAMES = {{
    {"navlet_password_check_seconds", "Password checks, from queueing to answer."},
    {"navlet_store_call_seconds", "Store calls of the service."},
    {"navlet_redis_publish_seconds", "Redis PUBLISH round trips."},
}};

template <size_t N>
size_t IndexOf(const std::array<std::string_view, N>& names, std::string_view n) {
    for (size_t i = 0; i < N; ++i)
        if (names[i] == n)
            return i;
    return N - 1; // "other"
}

void Add(std::atomic<uint64_t>& counter, uint64_t n = 1) {
    counter.fetch_add(n, std::memory_order_relaxed);
}

uint64_t Read(const std::atomic<uint64_t>& counter) {
    return counter.load(std::memory_order_relaxed);
}

void Head(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void Sample(std::string& out, std::string_view series, uint64_t value) {
    out += series;
    out += ' ';
    out += std::to_string(value);
    out += '\n';
}

template <size_t N>
void Outcomes(std::string& out, std::string_view name, std::string_view good,
              const std::array<std::string_view, N>& names,
              const std::array<std::atomic<uint64_t>, N>& values) {
    for (size_t i = 0; i < N; ++i) {
        std::string series(name);
        if (names[i] == good)
            series += "{result=\"" + std::string(good) + "\"}";
        else
            series += "{result=\"refused\",reason=\"" + std::string(names[i]) + "\"}";
        Sample(out, series, Read(values[i]));
    }
}

void RenderHistogram(std::string& out, size_t index) {
    const THistogram& h = latencies[index];
    std::string name(LATENCY_NAMES[index].name);
    Head(out, name, "histogram", LATENCY_NAMES[index].help);
    uint64_t total = 0;
    for (size_t i = 0; i < h.buckets.size(); ++i) {
        total += Read(h.buckets[i]);
        char le[32];
        if (i < BOUNDS.size())
            std::snprintf(le, sizeof le, "%g", BOUNDS[i]);
        else
            std::snprintf(le, sizeof le, "+Inf");
        Sample(out, name + "_bucket{le=\"" + le + "\"}", total);
    }
    char sum[48];
    std::snprintf(sum, sizeof sum, "%.6f", double(Read(h.sumMicros)) / 1e6);
    out += name + "_sum " + sum + "\n";
    Sample(out, name + "_count", total);
}

// Resident memory and open descriptors, as Linux tells them; nothing
// elsewhere.
void RenderProcess(std::string& out) {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    Head(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
    Sample(out, "process_resident_memory_bytes",
           uint64_t(resident) * uint64_t(sysconf(_SC_PAGESIZE)));
    std::error_code ec;
    uint64_t fds = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end;
         it.increment(ec))
        ++fds;
    Head(out, "process_open_fds", "gauge", "Open file descriptors.");
    Sample(out, "process_open_fds", fds);
}

std::string RenderCounters() {
    std::string out;
    Head(out, "navlet_signins_total", "counter", "Sign-ins of bars by outcome.");
    Outcomes(out, "navlet_signins_total", "accepted", SIGN_IN, signIns);
    Head(out, "navlet_signups_total", "counter", "Sign-ups on the web site by outcome.");
    Outcomes(out, "navlet_signups_total", "made", SIGN_UP, signUps);
    Head(out, "navlet_public_lines_total", "counter", "Public chat lines sent by bars here.");
    Sample(out, "navlet_public_lines_total", Read(publicLines));
    Head(out, "navlet_public_line_deliveries_total", "counter",
         "Public chat lines delivered to bars here (sent here or on other nodes).");
    Sample(out, "navlet_public_line_deliveries_total", Read(deliveries));
    Head(out, "navlet_web_requests_total", "counter", "Web site answers by HTTP status.");
    for (int status = FIRST_STATUS; status <= LAST_STATUS; ++status)
        if (uint64_t n = Read(webStatus[size_t(status - FIRST_STATUS)]))
            Sample(out, "navlet_web_requests_total{status=\"" + std::to_string(status) + "\"}", n);
    Head(out, "navlet_websocket_closes_total", "counter",
         "WebSocket close frames sent to bars, by code.");
    for (size_t i = 0; i < wsCloses.size(); ++i)
        Sample(out,
               "navlet_websocket_closes_total{code=\"" +
                   (i < CLOSE_CODES.size() ? std::to_string(CLOSE_CODES[i]) : "other") + "\"}",
               Read(wsCloses[i]));
    Head(out, "navlet_store_errors_total", "counter",
         "Store calls that failed for want of the database.");
    Sample(out, "navlet_store_errors_total", Read(storeErrors));
    for (size_t i = 0; i < latencies.size(); ++i)
        RenderHistogram(out, i);
    return out;
}

} // namespace

void SignIn(std::string_view reason) {
    Add(signIns[IndexOf(SIGN_IN, reason)]);
}

void SignUp(std::string_view reason) {
    Add(signUps[IndexOf(SIGN_UP, reason)]);
}

void PublicLine(size_t delivered) {
    Add(publicLines);
    Add(deliveries, delivered);
}

void RemoteLine(size_t delivered) {
    Add(deliveries, delivered);
}

void WebRequest(int status) {
    if (status >= FIRST_STATUS && status <= LAST_STATUS)
        Add(webStatus[size_t(status - FIRST_STATUS)]);
}

void WebSocketClose(uint16_t code) {
    size_t i = 0;
    while (i < CLOSE_CODES.size() && CLOSE_CODES[i] != code)
        ++i;
    Add(wsCloses[i]);
}

void StoreError() {
    Add(storeErrors);
}

void Observe(TLatency which, double seconds) {
    THistogram& h = latencies[size_t(which)];
    size_t i = 0;
    while (i < BOUNDS.size() && seconds > BOUNDS[i])
        ++i;
    Add(h.buckets[i]);
    Add(h.sumMicros, seconds > 0 ? uint64_t(seconds * 1e6) : 0);
}

std::string Render(const TGauges& gauges) {
    std::string out;
    Head(out, "navlet_sessions", "gauge", "Open bar connections by transport.");
    Sample(out, "navlet_sessions{transport=\"tcp\"}", gauges.tcpSessions);
    Sample(out, "navlet_sessions{transport=\"ws\"}", gauges.wsSessions);
    Head(out, "navlet_signed_in_users", "gauge", "Accounts with a signed-in session here.");
    Sample(out, "navlet_signed_in_users", gauges.signedInUsers);
    Head(out, "navlet_signed_in_sessions", "gauge", "Signed-in sessions here.");
    Sample(out, "navlet_signed_in_sessions", gauges.signedInSessions);
    Head(out, "navlet_sites", "gauge", "Sites with users, as this node knows them.");
    Sample(out, "navlet_sites", gauges.sites);
    Head(out, "navlet_password_checks_queued", "gauge", "Password checks waiting for a thread.");
    Sample(out, "navlet_password_checks_queued", gauges.passwordChecksQueued);
    RenderProcess(out);
    return out + RenderCounters();
}

uint64_t Value(std::string_view series) {
    std::string all = RenderCounters();
    std::string key = std::string(series) + " ";
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        std::string_view line(all.data() + at, end - at);
        if (line.rfind(key, 0) == 0)
            return std::stoull(std::string(line.substr(key.size())));
        at = end + 1;
    }
    return 0;
}

} // namespace navlet::server::counters
