// The bar's strings are single-byte Windows-1252 text; the page's are Unicode,
// handed over as UTF-8. Both ways go through the code page's one table, as on
// the other kits.
#pragma once

#include <string>
#include <string_view>

namespace navlet::web {

std::string AnsiToUtf8(std::string_view text);
// Characters the code page cannot hold become "?"; a broken sequence counts
// as one such character.
std::string Utf8ToAnsi(std::string_view text);

// Typed text in the code page, and how many characters it could not hold
// (left out of `text`).
struct TAnsiText {
    std::string text;
    int refused = 0;
};
TAnsiText TypedUtf8ToAnsi(std::string_view text);

} // namespace navlet::web
