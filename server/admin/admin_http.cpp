#include "server/admin/admin_http.h"

namespace navlet::server {

namespace {

std::string Response(int status, std::string_view reason, std::string_view type,
                     const std::string& body, bool withBody) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) +
                      "\r\nContent-Type: " + std::string(type) +
                      "\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    if (withBody)
        out += body;
    return out;
}

constexpr std::string_view TEXT = "text/plain; charset=utf-8";

} // namespace

bool IsHttpRequestLine(std::string_view line, std::string& method, std::string& path) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    size_t first = line.find(' ');
    size_t last = line.rfind(' ');
    if (first == std::string_view::npos || first == last)
        return false;
    std::string_view verb = line.substr(0, first);
    std::string_view target = line.substr(first + 1, last - first - 1);
    std::string_view version = line.substr(last + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return false;
    if (verb.empty() || verb.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos)
        return false;
    if (target.empty() || target.front() != '/' || target.find(' ') != std::string_view::npos)
        return false;
    method = std::string(verb);
    path = std::string(target.substr(0, target.find('?')));
    return true;
}

std::string AdminHttpResponse(std::string_view method, std::string_view path,
                              const TAdminHealth& health) {
    const bool withBody = method != "HEAD";
    if (method != "GET" && method != "HEAD")
        return Response(405, "Method Not Allowed", TEXT, "GET only\n", withBody);
    if (path == "/healthz")
        return Response(200, "OK", TEXT, "ok\n", withBody);
    if (path == "/readyz") {
        std::string problems;
        if (!health.storeUp)
            problems += "the database is unavailable\n";
        if (health.clusterNode && !health.redisUp)
            problems += "Redis is unavailable\n";
        if (!problems.empty())
            return Response(503, "Service Unavailable", TEXT, problems, withBody);
        return Response(200, "OK", TEXT, "ready\n", withBody);
    }
    if (path == "/metrics")
        return Response(200, "OK", "text/plain; version=0.0.4; charset=utf-8",
                        counters::Render(health.gauges), withBody);
    return Response(404, "Not Found", TEXT, "no such page: /healthz, /readyz, /metrics\n",
                    withBody);
}

} // namespace navlet::server
