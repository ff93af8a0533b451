// The bar's strings are single-byte ANSI text; the page's are Unicode, handed
// over as UTF-8. Latin-1 is the mapping, as on the Qt kit.
#pragma once

#include <string>
#include <string_view>

namespace navlet::web {

std::string AnsiToUtf8(std::string_view text);
// Characters outside Latin-1 become "?", as the ANSI conversion does; a
// broken sequence counts as one such character.
std::string Utf8ToAnsi(std::string_view text);

} // namespace navlet::web
