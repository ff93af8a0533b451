#include "server/net/proxy_header.h"

#include <algorithm>
#include <asio/ip/address.hpp>
#include <charconv>
#include <vector>

namespace navlet::server::proxy {
namespace {

constexpr std::string_view PREFIX = "PROXY ";

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        if (space == std::string_view::npos)
            break;
        line.remove_prefix(space + 1);
    }
    return fields;
}

bool IsPort(std::string_view text) {
    unsigned port = 0;
    const char* end = text.data() + text.size();
    // No sign, no leading zero, as the protocol writes them.
    return !text.empty() && text.size() <= 5 && (text.size() == 1 || text[0] != '0') &&
           std::from_chars(text.data(), end, port).ptr == end && port <= 65535;
}

} // namespace

TResult Parse(std::string_view bytes) {
    const size_t known = std::min(bytes.size(), PREFIX.size());
    if (bytes.substr(0, known) != PREFIX.substr(0, known))
        return {TVerdict::NoHeader, 0, {}};
    const size_t end = bytes.substr(0, MAX_LINE).find("\r\n");
    if (end == std::string_view::npos)
        return {bytes.size() >= MAX_LINE ? TVerdict::Invalid : TVerdict::More, 0, {}};
    const size_t length = end + 2;
    std::vector<std::string_view> fields = Fields(bytes.substr(PREFIX.size(), end - PREFIX.size()));
    // The proxy does not know the client (a health check of its own): the
    // connection counts as the proxy's.
    if (!fields.empty() && fields[0] == "UNKNOWN")
        return {TVerdict::Header, length, {}};
    if (fields.size() != 5 || (fields[0] != "TCP4" && fields[0] != "TCP6") || !IsPort(fields[3]) ||
        !IsPort(fields[4]))
        return {TVerdict::Invalid, 0, {}};
    std::error_code sourceError, destinationError;
    const bool v4 = fields[0] == "TCP4";
    const asio::ip::address source = asio::ip::make_address(std::string(fields[1]), sourceError);
    const asio::ip::address destination =
        asio::ip::make_address(std::string(fields[2]), destinationError);
    if (sourceError || destinationError || source.is_v4() != v4 || destination.is_v4() != v4)
        return {TVerdict::Invalid, 0, {}};
    return {TVerdict::Header, length, source.to_string()};
}

} // namespace navlet::server::proxy
