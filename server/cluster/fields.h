// The cluster's messages on Redis: fields of any bytes, each written as its
// decimal length, ':' and the bytes. Read back with every length checked.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace navlet::server {

inline constexpr size_t MAX_CLUSTER_MESSAGE = 8192;
inline constexpr size_t MAX_CLUSTER_FIELDS = 8;

std::string PackFields(const std::vector<std::string>& fields);
// False when the text is not exactly a sequence of such fields, or is longer
// than MAX_CLUSTER_MESSAGE, or has more than MAX_CLUSTER_FIELDS of them.
bool UnpackFields(std::string_view text, std::vector<std::string>& out);

} // namespace navlet::server
