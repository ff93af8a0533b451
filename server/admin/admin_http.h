// Health and metrics on the admin endpoint, for a load balancer's probes and
// a Prometheus scraper: a connection whose first line is an HTTP request
// line ("GET /healthz HTTP/1.1") is answered as HTTP and closed; any other
// first line is the operator's line protocol. No admin command starts with
// an HTTP method, so the two never meet.
//
//   GET /healthz   200 while the process serves
//   GET /readyz    200, or 503 with the reason while the database or (on a
//                  cluster node) Redis is unusable
//   GET /metrics   the counters and gauges in Prometheus' text format
#pragma once

#include <string>
#include <string_view>

#include "server/log/counters.h"

namespace navlet::server {

struct TAdminHealth {
    bool storeUp = true;
    bool clusterNode = false;
    bool redisUp = true;
    counters::TGauges gauges;
};

// Whether `line` (as read, with its line end) is an HTTP/1.x request line;
// its method and path (without a query) when it is.
bool IsHttpRequestLine(std::string_view line, std::string& method, std::string& path);

// The whole response, "Connection: close". `health` is read only for the
// paths that need it.
std::string AdminHttpResponse(std::string_view method, std::string_view path,
                              const TAdminHealth& health);

} // namespace navlet::server
