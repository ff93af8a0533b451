#include "server/cluster/fields.h"

namespace navlet::server {

std::string PackFields(const std::vector<std::string>& fields) {
    std::string out;
    for (const std::string& f : fields) {
        out += std::to_string(f.size());
        out += ':';
        out += f;
    }
    return out;
}

bool UnpackFields(std::string_view text, std::vector<std::string>& out) {
    out.clear();
    if (text.size() > MAX_CLUSTER_MESSAGE)
        return false;
    size_t at = 0;
    while (at < text.size()) {
        if (out.size() == MAX_CLUSTER_FIELDS)
            return false;
        size_t length = 0, digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 5) {
            length = length * 10 + size_t(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || at >= text.size() || text[at] != ':')
            return false;
        ++at;
        if (length > text.size() - at)
            return false;
        out.emplace_back(text.substr(at, length));
        at += length;
    }
    return true;
}

} // namespace navlet::server
