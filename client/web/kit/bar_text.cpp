#include "client/web/kit/bar_text.h"

#include "protocol/code_page.h"

namespace navlet::web {

std::string PageText(std::string_view text) {
    return IsAscii(text) ? std::string(text) : WholeUtf8(text);
}

std::string BarText(std::string_view text) {
    return PageText(text);
}

TTypedText TypedBarText(std::string_view text) {
    return TTypedText{BarText(text), 0};
}

} // namespace navlet::web
