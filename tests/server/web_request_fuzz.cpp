// Arbitrary bytes as a web request: the head reader, then the form decoding of
// its query and body, under the site's own bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/web/request/request_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace navlet::web;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    THeadLimits limits;
    size_t end = FindHeadEnd(bytes);
    if (end == std::string_view::npos) {
        // Not a whole head: still a form, as a query string or a body would be.
        TFormFields fields;
        DecodeForm(bytes, limits.maxFields, fields);
        return 0;
    }
    THttpRequest request;
    if (ParseRequestHead(bytes.substr(0, end), limits, request) != 0)
        return 0;
    request.body = std::string(bytes.substr(end, request.contentLength));
    if (DecodeRequestFields(limits, request))
        (void)FieldValue(request.fields, "nick");
    return 0;
}
