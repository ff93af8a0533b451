#include "server/web/request/request_head.h"

#include <charconv>

#include "protocol/ascii.h"

namespace navlet::web {
namespace {

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (!IsTokenChar(c))
            return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Splits off the next line (without its CRLF or LF); false when none is left.
bool NextLine(std::string_view& rest, std::string_view& line) {
    size_t lf = rest.find('\n');
    if (lf == std::string_view::npos)
        return false;
    line = rest.substr(0, lf);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    rest.remove_prefix(lf + 1);
    return true;
}

// "METHOD SP target SP HTTP/1.x"
int ParseRequestLine(std::string_view line, THttpRequest& request, bool& http10) {
    size_t firstSpace = line.find(' ');
    size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || lastSpace == firstSpace)
        return 400;
    std::string_view method = line.substr(0, firstSpace);
    std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    std::string_view version = line.substr(lastSpace + 1);
    if (!IsToken(method) || target.empty() || target.front() != '/')
        return 400;
    for (char c : target) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return 400;
    }
    if (version == "HTTP/1.0")
        http10 = true;
    else if (version != "HTTP/1.1")
        return version.substr(0, 5) == "HTTP/" ? 505 : 400;
    size_t question = target.find('?');
    request.method = std::string(method);
    request.path = std::string(target.substr(0, question));
    if (question != std::string_view::npos)
        request.query = std::string(target.substr(question + 1));
    return 0;
}

// Content-Length, Connection and Transfer-Encoding, once every field is in.
int ReadFraming(const THeadLimits& limits, bool http10, THttpRequest& request) {
    bool haveLength = false;
    for (const auto& [name, value] : request.headers) {
        if (name == "transfer-encoding")
            return 501;
        if (name != "content-length")
            continue;
        size_t length = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
        if (value.empty() || end != value.data() + value.size()) {
            return 400;
        }
        if (ec == std::errc::result_out_of_range)
            return 413;
        if (ec != std::errc() || (haveLength && length != request.contentLength))
            return 400;
        haveLength = true;
        request.contentLength = length;
    }
    if (request.contentLength > limits.maxBody)
        return 413;
    std::string_view connection = request.Header("connection");
    if (http10)
        request.keepAlive = EqualsFolded(connection, "keep-alive");
    else
        request.keepAlive = !EqualsFolded(connection, "close");
    return 0;
}

} // namespace

std::string_view THttpRequest::Header(std::string_view name) const {
    for (const auto& header : headers) {
        if (header.first == name)
            return header.second;
    }
    return {};
}

size_t FindHeadEnd(std::string_view buffer) {
    for (size_t lf = buffer.find('\n'); lf != std::string_view::npos;
         lf = buffer.find('\n', lf + 1)) {
        if (lf + 1 < buffer.size() && buffer[lf + 1] == '\n')
            return lf + 2;
        if (lf + 2 < buffer.size() && buffer[lf + 1] == '\r' && buffer[lf + 2] == '\n')
            return lf + 3;
    }
    return std::string_view::npos;
}

int ParseRequestHead(std::string_view head, const THeadLimits& limits, THttpRequest& request) {
    if (head.size() > limits.maxHeadBytes)
        return 431;
    std::string_view line;
    if (!NextLine(head, line))
        return 400;
    bool http10 = false;
    if (int refused = ParseRequestLine(line, request, http10))
        return refused;
    while (NextLine(head, line) && !line.empty()) {
        if (request.headers.size() >= limits.maxHeaders)
            return 431;
        size_t colon = line.find(':');
        // A field folded onto a line of its own is refused, as it is obsolete.
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
            return 400;
        std::string_view value = TrimBlanks(line.substr(colon + 1));
        for (char c : value) {
            if (c == '\0' || c == '\r' || c == '\n')
                return 400;
        }
        request.headers.emplace_back(FoldCase(line.substr(0, colon)), std::string(value));
    }
    return ReadFraming(limits, http10, request);
}

bool DecodeRequestFields(const THeadLimits& limits, THttpRequest& request) {
    request.fields.clear();
    if (!DecodeForm(request.query, limits.maxFields, request.fields))
        return false;
    std::string_view type = request.Header("content-type");
    type = type.substr(0, type.find(';'));
    if (!EqualsFolded(TrimBlanks(type), "application/x-www-form-urlencoded"))
        return true;
    return DecodeForm(request.body, limits.maxFields, request.fields);
}

} // namespace navlet::web
