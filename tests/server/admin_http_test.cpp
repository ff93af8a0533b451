// The admin endpoint's HTTP side: which first lines are HTTP requests, and
// what /healthz, /readyz and /metrics answer.
#include <gtest/gtest.h>

#include <string>

#include "server/admin/admin_http.h"
#include "server/admin/admin_server.h"

namespace {

using namespace navlet::server;

int StatusOf(const std::string& response) {
    return std::stoi(response.substr(9, 3));
}

std::string BodyOf(const std::string& response) {
    return response.substr(response.find("\r\n\r\n") + 4);
}

TEST(AdminHttp, OnlyHttpRequestLinesAreTakenForHttp) {
    std::string method, path;
    EXPECT_TRUE(IsHttpRequestLine("GET /healthz HTTP/1.1\r\n", method, path));
    EXPECT_EQ(method, "GET");
    EXPECT_EQ(path, "/healthz");
    EXPECT_TRUE(IsHttpRequestLine("HEAD /metrics?x=1 HTTP/1.0\n", method, path));
    EXPECT_EQ(path, "/metrics");
    for (const char* line : {"KICK user:alice\n", "NOTICE TICKER all GET / HTTP/1.1\n", "USERS\r\n",
                             "GET /healthz\n", "GET healthz HTTP/1.1\n", "get /healthz HTTP/1.1\n",
                             "GET /healthz HTTP/2\n", "\n", "GET  HTTP/1.1\n"})
        EXPECT_FALSE(IsHttpRequestLine(line, method, path)) << line;
}

TEST(AdminHttp, ReadinessNamesWhatIsUnusable) {
    TAdminHealth health;
    EXPECT_EQ(StatusOf(AdminHttpResponse("GET", "/healthz", health)), 200);
    EXPECT_EQ(StatusOf(AdminHttpResponse("GET", "/readyz", health)), 200);

    health.redisUp = false; // a node alone has no Redis to miss
    EXPECT_EQ(StatusOf(AdminHttpResponse("GET", "/readyz", health)), 200);
    health.clusterNode = true;
    std::string noRedis = AdminHttpResponse("GET", "/readyz", health);
    EXPECT_EQ(StatusOf(noRedis), 503);
    EXPECT_NE(BodyOf(noRedis).find("Redis"), std::string::npos);

    health = TAdminHealth{};
    health.storeUp = false;
    std::string noStore = AdminHttpResponse("GET", "/readyz", health);
    EXPECT_EQ(StatusOf(noStore), 503);
    EXPECT_NE(BodyOf(noStore).find("database"), std::string::npos);
    // The process still serves.
    EXPECT_EQ(StatusOf(AdminHttpResponse("GET", "/healthz", health)), 200);

    EXPECT_EQ(StatusOf(AdminHttpResponse("GET", "/other", health)), 404);
    EXPECT_EQ(StatusOf(AdminHttpResponse("POST", "/healthz", health)), 405);
    EXPECT_EQ(BodyOf(AdminHttpResponse("HEAD", "/healthz", health)), "");
}

TEST(AdminHttp, MetricsAreCountersAndGaugesInPrometheusText) {
    TAdminHealth health;
    health.gauges.tcpSessions = 3;
    health.gauges.wsSessions = 2;
    health.gauges.signedInUsers = 4;
    health.gauges.sites = 7;
    uint64_t before = counters::Value("navlet_signins_total{result=\"refused\",reason=\"busy\"}");
    counters::SignIn("busy");
    counters::SignIn("something new"); // counted as other, not lost
    counters::PublicLine(/*deliveries=*/5);
    counters::WebRequest(429);
    std::string response = AdminHttpResponse("GET", "/metrics", health);
    ASSERT_EQ(StatusOf(response), 200);
    EXPECT_NE(response.find("Content-Type: text/plain; version=0.0.4"), std::string::npos);
    std::string body = BodyOf(response);
    for (const char* line :
         {"navlet_sessions{transport=\"tcp\"} 3\n", "navlet_sessions{transport=\"ws\"} 2\n",
          "navlet_signed_in_users 4\n", "navlet_sites 7\n", "# TYPE navlet_signins_total counter\n",
          "# TYPE navlet_sessions gauge\n"})
        EXPECT_NE(body.find(line), std::string::npos) << line << body;
    EXPECT_EQ(counters::Value("navlet_signins_total{result=\"refused\",reason=\"busy\"}"),
              before + 1);
    EXPECT_GE(counters::Value("navlet_signins_total{result=\"refused\",reason=\"other\"}"), 1u);
    EXPECT_GE(counters::Value("navlet_public_line_deliveries_total"), 5u);
    EXPECT_GE(counters::Value("navlet_web_requests_total{status=\"429\"}"), 1u);
    // Every sample line is NAME[{LABELS}] VALUE.
    size_t at = 0;
    while (at < body.size()) {
        size_t end = body.find('\n', at);
        std::string line = body.substr(at, end - at);
        at = end + 1;
        if (line.rfind("# ", 0) == 0)
            continue;
        EXPECT_TRUE(line.rfind("navlet_", 0) == 0 || line.rfind("process_", 0) == 0) << line;
        EXPECT_NE(line.find(' '), std::string::npos) << line;
        EXPECT_NO_THROW(std::stoull(line.substr(line.rfind(' ') + 1))) << line;
    }
}

// The latencies are cumulative histograms whose +Inf bucket is the count;
// closes, store errors, the password queue and the process are there too.
TEST(AdminHttp, MetricsHoldLatencyHistogramsAndTheProcess) {
    TAdminHealth health;
    health.gauges.passwordChecksQueued = 9;
    auto read = [&](const std::string& series) {
        std::string body = BodyOf(AdminHttpResponse("GET", "/metrics", health));
        size_t at = body.find("\n" + series + " ");
        EXPECT_NE(at, std::string::npos) << series << "\n" << body;
        return at == std::string::npos ? -1.0 : std::stod(body.substr(at + series.size() + 2));
    };
    const std::string store = "navlet_store_call_seconds";
    double fast = read(store + "_bucket{le=\"0.001\"}"), slow = read(store + "_bucket{le=\"1\"}");
    double all = read(store + "_bucket{le=\"+Inf\"}"), count = read(store + "_count");
    counters::Observe(counters::TLatency::StoreCall, 0.0005);
    counters::Observe(counters::TLatency::StoreCall, 0.3);
    counters::Observe(counters::TLatency::StoreCall, 60);
    EXPECT_EQ(read(store + "_bucket{le=\"0.001\"}"), fast + 1);
    EXPECT_EQ(read(store + "_bucket{le=\"1\"}"), slow + 2);
    EXPECT_EQ(read(store + "_bucket{le=\"+Inf\"}"), all + 3);
    EXPECT_EQ(read(store + "_count"), count + 3);
    EXPECT_GE(read(store + "_sum"), 60.3);
    for (const char* name : {"navlet_password_check_seconds", "navlet_redis_publish_seconds"})
        EXPECT_GE(read(std::string(name) + "_count"), 0) << name;

    double closes = read("navlet_websocket_closes_total{code=\"1008\"}");
    double other = read("navlet_websocket_closes_total{code=\"other\"}");
    counters::WebSocketClose(1008);
    counters::WebSocketClose(4999);
    EXPECT_EQ(read("navlet_websocket_closes_total{code=\"1008\"}"), closes + 1);
    EXPECT_EQ(read("navlet_websocket_closes_total{code=\"other\"}"), other + 1);
    double errors = read("navlet_store_errors_total");
    counters::StoreError();
    EXPECT_EQ(read("navlet_store_errors_total"), errors + 1);
    EXPECT_EQ(read("navlet_password_checks_queued"), 9);
    EXPECT_GT(read("process_resident_memory_bytes"), 0);
    EXPECT_GT(read("process_open_fds"), 0);
}

// Loopback always; others only from an allowed range, whichever family the
// listener reports them in.
TEST(AdminHttp, OnlyLoopbackAndAllowedRangesMayConnect) {
    std::vector<TAddressRange> none, monitoring(1);
    ASSERT_TRUE(ParseAddressRange("10.1.0.0/24", monitoring[0]));
    auto allowed = [](const char* peer, const std::vector<TAddressRange>& ranges) {
        return AdminPeerAllowed(asio::ip::make_address(peer), ranges);
    };
    for (const char* peer : {"127.0.0.1", "127.9.9.9", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(allowed(peer, none)) << peer;
    EXPECT_FALSE(allowed("10.1.0.7", none));
    EXPECT_TRUE(allowed("10.1.0.7", monitoring));
    EXPECT_TRUE(allowed("::ffff:10.1.0.7", monitoring));
    EXPECT_FALSE(allowed("10.1.1.7", monitoring));
    EXPECT_FALSE(allowed("2001:db8::1", monitoring));
}

} // namespace
