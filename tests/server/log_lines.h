// Reads the server's log lines back (both formats) for tests, so that they
// check names and fields, not whole lines.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navlet::server::testing {

using TLogFields = std::map<std::string, std::string>;

// One logfmt line (key=value, values bare or quoted with \" \\ \n \t \xNN
// escapes); nothing when it is not one.
std::optional<TLogFields> ParseTextLogLine(std::string_view line);
// One flat JSON object of strings, numbers and true/false; numbers and
// flags come back as their text.
std::optional<TLogFields> ParseJsonLogLine(std::string_view line);
// Every line of `text` (one per '\n'), in either format; a line that is
// neither comes back empty.
std::vector<TLogFields> ParseLogLines(std::string_view text);
// The first line whose "msg" is `message` (and whose fields hold `having`).
std::optional<TLogFields> FindLogLine(const std::vector<TLogFields>& lines,
                                      std::string_view message, const TLogFields& having = {});

} // namespace navlet::server::testing
