#include "tools/admin/admin_line.h"

#include <charconv>

#include "protocol/ascii.h"

namespace navlet::admin {
namespace {

std::string Upper(std::string word) {
    for (char& c : word) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return word;
}

// The words from `first` on, joined by single blanks.
std::string JoinText(const std::vector<std::string>& words, size_t first) {
    std::string text;
    for (size_t i = first; i < words.size(); ++i) {
        if (i > first)
            text += ' ';
        text += words[i];
    }
    return text;
}

bool IsButtonsNumber(std::string_view word) {
    int n = -1;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), n);
    return !word.empty() && ec == std::errc() && end == word.data() + word.size() && n >= 0 &&
           n <= 255;
}

struct TShape {
    std::string_view name; // as the user types it, lower case
    size_t fixedWords;     // words before the text, the command's own included
    bool hasTarget;
    enum { NoText, OptionalText, RequiredText } text;
};

// Each command: its words, where the target sits, whether a text follows.
constexpr TShape SHAPES[] = {
    {"reconnect", 2, true, TShape::OptionalText}, {"update", 2, true, TShape::OptionalText},
    {"replytime", 2, true, TShape::OptionalText}, {"kick", 2, true, TShape::NoText},
    {"users", 1, false, TShape::OptionalText},    {"sites", 1, false, TShape::NoText},
    {"stats", 1, false, TShape::NoText},          {"help", 1, false, TShape::NoText},
    {"reports", 1, false, TShape::OptionalText},  {"report", 2, false, TShape::NoText},
    {"close", 2, false, TShape::OptionalText},
};

// The operator's restrictions: the words the command needs at least (the
// server checks the subject and the duration, and says what is wrong).
struct TRestrictionShape {
    std::string_view name;
    size_t minWords;
    std::string_view usage;
};
constexpr TRestrictionShape RESTRICTIONS[] = {
    {"ban", 3, "ban user:NICK|addr:RANGE DURATION [REASON...]"},
    {"unban", 2, "unban user:NICK|addr:RANGE"},
    {"disable", 2, "disable user:NICK [REASON...]"},
    {"enable", 2, "enable user:NICK"},
    {"password", 2, "password user:NICK"},
    {"delete", 2, "delete user:NICK"},
    {"mute", 3, "mute site:HOST DURATION"},
    {"unmute", 2, "unmute site:HOST"},
};

bool IsReportId(std::string_view word) {
    uint64_t id = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), id);
    return !word.empty() && ec == std::errc() && end == word.data() + word.size() && id > 0;
}

std::optional<std::string> BuildNotice(const std::vector<std::string>& words, std::string& error) {
    if (words.size() < 2) {
        error = "notice needs a kind: status, ticker, buttons or console";
        return std::nullopt;
    }
    std::string kind = Upper(words[1]);
    size_t targetAt = 2;
    std::string line = "NOTICE " + kind;
    if (kind == "BUTTONS") {
        if (words.size() < 3 || !IsButtonsNumber(words[2])) {
            error = "notice buttons needs a number from 0 to 255";
            return std::nullopt;
        }
        line += " " + words[2];
        targetAt = 3;
    } else if (kind != "STATUS" && kind != "TICKER" && kind != "CONSOLE") {
        error = "unknown notice kind '" + words[1] + "'";
        return std::nullopt;
    }
    if (words.size() <= targetAt || !IsAdminTarget(words[targetAt])) {
        error = "a target is needed: all, user:NICK or site:HOST";
        return std::nullopt;
    }
    std::string text = JoinText(words, targetAt + 1);
    if (text.empty()) {
        error = "a notice needs a text";
        return std::nullopt;
    }
    return line + " " + words[targetAt] + " " + text;
}

} // namespace

bool IsAdminTarget(std::string_view word) {
    // Folded as the endpoint folds them.
    if (EqualsFolded(word, "all"))
        return true;
    for (std::string_view prefix : {"user:", "site:"}) {
        if (word.size() > prefix.size() && EqualsFolded(word.substr(0, prefix.size()), prefix))
            return true;
    }
    return false;
}

std::optional<std::string> BuildAdminLine(const std::vector<std::string>& words,
                                          std::string& error) {
    if (words.empty()) {
        error = "no command given (try --help)";
        return std::nullopt;
    }
    std::optional<std::string> line;
    const std::string name = FoldCase(words[0]);
    const TRestrictionShape* restriction = nullptr;
    for (const TRestrictionShape& r : RESTRICTIONS)
        if (r.name == name)
            restriction = &r;
    if (name == "notice") {
        line = BuildNotice(words, error);
    } else if (restriction) {
        if (words.size() < restriction->minWords) {
            error = "usage: " + std::string(restriction->usage);
            return std::nullopt;
        }
        line = Upper(name);
        for (size_t i = 1; i < words.size(); ++i)
            *line += " " + words[i];
    } else {
        const TShape* shape = nullptr;
        for (const TShape& s : SHAPES) {
            if (s.name == name)
                shape = &s;
        }
        if (!shape) {
            error = "unknown command '" + words[0] + "' (try --help)";
            return std::nullopt;
        }
        if (shape->hasTarget && (words.size() < 2 || !IsAdminTarget(words[1]))) {
            error = "a target is needed: all, user:NICK or site:HOST";
            return std::nullopt;
        }
        if ((name == "report" || name == "close") && (words.size() < 2 || !IsReportId(words[1]))) {
            error = "'" + words[0] + "' needs a report number";
            return std::nullopt;
        }
        if (name == "reports" && words.size() > 1 &&
            (words.size() > 2 ||
             (!EqualsFolded(words[1], "open") && !EqualsFolded(words[1], "all")))) {
            error = "reports takes 'open' or 'all'";
            return std::nullopt;
        }
        if (shape->text == TShape::NoText && words.size() > shape->fixedWords) {
            error = "'" + words[0] + "' takes no text";
            return std::nullopt;
        }
        line = Upper(name);
        for (size_t i = 1; i < words.size(); ++i)
            *line += " " + words[i];
    }
    if (!line)
        return std::nullopt;
    if (line->find_first_of("\r\n") != std::string::npos) {
        error = "the text may not hold a line break";
        return std::nullopt;
    }
    if (line->size() > MAX_ADMIN_LINE) {
        error = "the command is longer than 1024 characters";
        return std::nullopt;
    }
    return line;
}

TAnswerLine ClassifyAnswer(std::string_view line) {
    if (line.substr(0, 2) == "* ")
        return TAnswerLine::Data;
    if (line == "OK" || line.substr(0, 3) == "OK ")
        return TAnswerLine::Ok;
    if (line == "ERR" || line.substr(0, 4) == "ERR ")
        return TAnswerLine::Error;
    return TAnswerLine::Other;
}

std::string_view AdminUsage() {
    return R"(Usage: navlet-admin [--admin ADDR:PORT] [--timeout SECONDS] COMMAND ...
       navlet-admin --version | --help

Sends one operator command to navlet-server's admin endpoint (loopback only,
default 127.0.0.1:8081) and prints the answer.

TARGET is one of:  all | user:NICK | site:HOST

Commands:
  notice status  TARGET TEXT...     server status line in the bar's ticker
  notice ticker  TARGET TEXT...     a ticker notice
  notice buttons N TARGET TEXT...   a ticker line with buttons N (0..255)
  notice console TARGET TEXT...     a line in the bar's server console
  reconnect TARGET [TEXT...]        the bar drops the session and reconnects later
  update    TARGET [TEXT...]        forced update: the bar asks for the newest module
  replytime TARGET [TEXT...]        the bar logs the time since its last chat line
  kick      TARGET                  end the session of the target
  users [HOST]                      list signed-in users (of one site)
  sites                             list sites with their user counts
  stats                             connection, user and site counts
  reports [open|all]                list users' reports, open ones unless 'all'
  report ID                         one report with the lines it quotes
  close ID [TEXT...]                close a report, with the operator's words
  help                              the server's own command list

Restrictions (kept in the store, applied on every node; DURATION is 10m, 2h,
7d or forever; RANGE an address or ADDR/BITS):
  ban user:NICK|addr:RANGE DURATION [REASON...]
                                    end the user's sessions (or the range's)
                                    and refuse sign-ins and sign-ups
  unban user:NICK|addr:RANGE        lift a ban
  disable user:NICK [REASON...]     refuse the account until enabled
  enable user:NICK                  lift the disabling
  password user:NICK                set a new random password and print it
  delete user:NICK                  delete the account and end its sessions
  mute site:HOST DURATION           close the site's public chat (users told)
  unmute site:HOST                  open it again

Exit status: 0 when the server answers OK, 1 on ERR, 2 on a usage error,
3 when the endpoint cannot be reached or the answer is cut off.
)";
}

} // namespace navlet::admin
