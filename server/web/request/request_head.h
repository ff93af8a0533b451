// The head of an HTTP/1.x request (request line and header fields), read with
// hard bounds: whatever a client sends, the head costs at most `maxHeadBytes`
// of memory and `maxHeaders` fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/web/request/form.h"

namespace navlet::web {

struct THeadLimits {
    size_t maxHeadBytes = 8 * 1024; // request line, fields and the blank line
    size_t maxHeaders = 64;
    size_t maxBody = 8 * 1024;
    size_t maxFields = 64; // form fields of query and body together
};

struct THttpRequest {
    std::string method;
    std::string path;                                         // as sent, without the query
    std::string query;                                        // after '?', still encoded
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    size_t contentLength = 0;
    bool keepAlive = true;
    std::string body;
    TFormFields fields;        // filled by DecodeRequestFields
    std::string remoteAddress; // the client's address, filled by the server

    // The value of the first header called `name` (lower case); empty when none.
    std::string_view Header(std::string_view name) const;
};

// The end of the head in `buffer`: the offset just past the blank line that
// ends it (CRLF or a bare LF), or npos while it has not all arrived.
size_t FindHeadEnd(std::string_view buffer);

// Reads `head` (up to and including its blank line) into `request`. Returns 0
// when the request may go on (its body, `contentLength` bytes, follows), or the
// status to refuse it with: 400 malformed, 413 body too large, 431 too many or
// too long fields, 501 a transfer coding we do not take, 505 not HTTP/1.x.
int ParseRequestHead(std::string_view head, const THeadLimits& limits, THttpRequest& request);

// Fills `request.fields` from the query and, for an urlencoded body, the body.
// False when they hold more than `limits.maxFields` fields.
bool DecodeRequestFields(const THeadLimits& limits, THttpRequest& request);

} // namespace navlet::web
