// FIXME: stand-in until the banner work is merged, which brings the real
// NavigateBanner (loading a page of the service's web site into WebPanel).
// Remove this file and its declaration then.
#include "client/core/navlet.h"

namespace navlet {

void TNavlet::NavigateBanner(const std::string&) {}

} // namespace navlet
