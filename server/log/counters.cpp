#include "server/log/counters.h"

#include <array>
#include <atomic>

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
