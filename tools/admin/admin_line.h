// navlet-admin's pieces that need no socket: turning the command line into
// one line of the admin endpoint's grammar, and reading its answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navlet::admin {

inline constexpr size_t MAX_ADMIN_LINE = 1024; // the endpoint closes on longer lines

// The admin line for the arguments after the options ("notice ticker all Hi"
// gives "NOTICE TICKER all Hi"). Nothing, with `error` set, when the words do
// not make a command: unknown command, bad target, missing text, a buttons
// number outside 0..255, a line break in the text or a line too long.
std::optional<std::string> BuildAdminLine(const std::vector<std::string>& words,
                                          std::string& error);

// True for "all", "user:NICK" and "site:HOST" with a non-empty name, their
// keywords in any case, as the endpoint reads them.
bool IsAdminTarget(std::string_view word);

enum class TAnswerLine {
    Data,  // "* ..."
    Ok,    // "OK N", the end of the answer
    Error, // "ERR reason", the end of the answer
    Other, // anything else; shown, not the end
};
TAnswerLine ClassifyAnswer(std::string_view line);

// The usage text of --help.
std::string_view AdminUsage();

} // namespace navlet::admin
