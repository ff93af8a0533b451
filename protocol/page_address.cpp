#include "protocol/page_address.h"

namespace navlet {

std::string CutPageAddress(std::string_view address) {
    address = address.substr(0, address.find_first_of("?#"));
    // Only an '@' before the first '/' ends a user part; in the path it is
    // the page's own ("example.com/@alice").
    const std::string_view authority = address.substr(0, address.find('/'));
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        address.remove_prefix(at + 1);
    return std::string(address);
}

} // namespace navlet
