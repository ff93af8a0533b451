// Arbitrary bytes as a message from another node: the codec refuses them or
// reads a value within its bounds, which writes back to the very same bytes
// and reads again as the same value (one value, one spelling).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/cluster/messages/node_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace navlet::cluster;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TNodeEnvelope message;
    if (DecodeNodeMessage(bytes, message) != TNodeDecodeError::None)
        return 0;
    std::string again = EncodeNodeMessage(message);
    if (again != bytes)
        std::abort();
    TNodeEnvelope back;
    if (DecodeNodeMessage(again, back) != TNodeDecodeError::None || !(back == message))
        std::abort();
    return 0;
}
