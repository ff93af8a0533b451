// The bar's strings in the browser are UTF-8, as the page's are and as the
// session's text is when the server agrees (the core converts for an older
// one). The page gets whole characters only.
#pragma once

#include <string>
#include <string_view>

namespace navlet::web {

// The bar's text for the page: a broken sequence (a cut mid-character)
// becomes "?" or, at the end, is left out.
std::string PageText(std::string_view text);
// The page's text for the bar, checked the same way.
std::string BarText(std::string_view text);

// Typed text in the bar's code, and how many characters it could not hold
// (none: UTF-8 holds every character; the core still reads the count).
struct TTypedText {
    std::string text;
    int refused = 0;
};
TTypedText TypedBarText(std::string_view text);

} // namespace navlet::web
