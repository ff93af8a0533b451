#include "server/admin/admin_grammar.h"

#include <charconv>

#include "protocol/ascii.h"
#include "server/core/restriction_rules.h"

namespace navlet::server {

namespace {

// Splits off the next blank-separated word; `rest` keeps what follows it.
std::string_view NextWord(std::string_view& rest) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    size_t end = rest.find(' ');
    std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return word;
}

std::string Text(std::string_view rest) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return {};
    return std::string(rest.substr(start, MAX_NOTICE_TEXT));
}

bool ParseTarget(std::string_view word, TTarget& target) {
    std::string folded = FoldCase(word);
    if (folded == "all") {
        target = TTarget{TTarget::All, {}};
        return true;
    }
    if (folded.rfind("user:", 0) == 0 && word.size() > 5) {
        target = TTarget{TTarget::User, std::string(word.substr(5))};
        return true;
    }
    if (folded.rfind("site:", 0) == 0 && word.size() > 5) {
        target = TTarget{TTarget::Site, std::string(word.substr(5))};
        return true;
    }
    return false;
}

bool ParseNotice(std::string_view rest, TAdminCommand& out, std::string& error) {
    std::string kind = FoldCase(NextWord(rest));
    if (kind == "status")
        out.notice = TNoticeKind::Status;
    else if (kind == "ticker")
        out.notice = TNoticeKind::Ticker;
    else if (kind == "console")
        out.notice = TNoticeKind::Console;
    else if (kind == "buttons") {
        out.notice = TNoticeKind::Buttons;
        std::string_view n = NextWord(rest);
        unsigned value = 0;
        auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), value);
        if (n.empty() || ec != std::errc() || end != n.data() + n.size() || value > 255) {
            error = "bad buttons";
            return false;
        }
        out.buttons = uint8_t(value);
    } else {
        error = "unknown notice kind";
        return false;
    }
    if (!ParseTarget(NextWord(rest), out.target)) {
        error = "bad target";
        return false;
    }
    out.text = Text(rest);
    if (out.text.empty()) {
        error = "missing text";
        return false;
    }
    return true;
}

// user:NICK, or with `addresses` also addr:RANGE.
bool ParseSubject(std::string_view word, bool addresses, TAdminCommand& out, std::string& error) {
    std::string folded = FoldCase(word);
    if (folded.rfind("user:", 0) == 0 && word.size() > 5) {
        out.subjectKind = TBanSubject::User;
        out.subject = std::string(word.substr(5));
        return true;
    }
    if (addresses && folded.rfind("addr:", 0) == 0) {
        TAddressRange range;
        if (ParseAddressRange(word.substr(5), range, &out.subject)) {
            out.subjectKind = TBanSubject::Address;
            return true;
        }
        error = "bad address range";
        return false;
    }
    error = addresses ? "bad target: user:NICK or addr:RANGE" : "bad target: user:NICK";
    return false;
}

bool ParseDuration(std::string_view word, TAdminCommand& out, std::string& error) {
    auto duration = ParseRestrictionDuration(word);
    if (!duration) {
        error = "bad duration: 10m, 2h, 7d or forever";
        return false;
    }
    out.durationS = *duration;
    return true;
}

bool ParseSite(std::string_view word, TAdminCommand& out, std::string& error) {
    if (FoldCase(word).rfind("site:", 0) != 0 || word.size() <= 5) {
        error = "bad target: site:HOST";
        return false;
    }
    out.subject = FoldCase(word.substr(5));
    return true;
}

// BAN, UNBAN, DISABLE, ENABLE, PASSWORD, DELETE, MUTE, UNMUTE.
bool ParseRestriction(TAdminVerb verb, std::string_view rest, TAdminCommand& out,
                      std::string& error) {
    out.verb = verb;
    std::string_view target = NextWord(rest);
    switch (verb) {
    case TAdminVerb::Ban:
        if (!ParseSubject(target, /*addresses=*/true, out, error) ||
            !ParseDuration(NextWord(rest), out, error))
            return false;
        out.text = Text(rest).substr(0, MAX_BAN_REASON);
        return true;
    case TAdminVerb::Unban:
        return ParseSubject(target, /*addresses=*/true, out, error);
    case TAdminVerb::Disable:
        if (!ParseSubject(target, /*addresses=*/false, out, error))
            return false;
        out.text = Text(rest).substr(0, MAX_BAN_REASON);
        return true;
    case TAdminVerb::Mute:
        return ParseSite(target, out, error) && ParseDuration(NextWord(rest), out, error);
    case TAdminVerb::Unmute:
        return ParseSite(target, out, error);
    default:
        return ParseSubject(target, /*addresses=*/false, out, error);
    }
}

} // namespace

bool ParseAdminCommand(std::string_view line, TAdminCommand& out, std::string& error) {
    out = TAdminCommand{};
    std::string_view rest = line;
    std::string verb = FoldCase(NextWord(rest));
    if (verb == "notice") {
        out.verb = TAdminVerb::Notice;
        return ParseNotice(rest, out, error);
    }
    if (verb == "reconnect" || verb == "update" || verb == "replytime" || verb == "kick") {
        out.verb = verb == "reconnect" ? TAdminVerb::Reconnect
                   : verb == "update"  ? TAdminVerb::Update
                   : verb == "kick"    ? TAdminVerb::Kick
                                       : TAdminVerb::ReplyTime;
        if (!ParseTarget(NextWord(rest), out.target)) {
            error = "bad target";
            return false;
        }
        if (out.verb != TAdminVerb::Kick)
            out.text = Text(rest);
        return true;
    }
    if (verb == "users") {
        out.verb = TAdminVerb::Users;
        out.host = std::string(NextWord(rest));
        return true;
    }
    if (verb == "reports") {
        out.verb = TAdminVerb::Reports;
        std::string which = FoldCase(NextWord(rest));
        if (!which.empty() && which != "open" && which != "all") {
            error = "bad listing";
            return false;
        }
        out.all = which == "all";
        return true;
    }
    if (verb == "report" || verb == "close") {
        out.verb = verb == "report" ? TAdminVerb::Report : TAdminVerb::Close;
        std::string_view n = NextWord(rest);
        auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), out.report);
        if (n.empty() || ec != std::errc() || end != n.data() + n.size() || out.report == 0) {
            error = "bad report number";
            return false;
        }
        if (out.verb == TAdminVerb::Close)
            out.text = Text(rest);
        return true;
    }
    const std::pair<const char*, TAdminVerb> simple[] = {{"sites", TAdminVerb::Sites},
                                                         {"stats", TAdminVerb::Stats},
                                                         {"help", TAdminVerb::Help},
                                                         {"quit", TAdminVerb::Quit}};
    for (const auto& [name, v] : simple) {
        if (verb == name) {
            out.verb = v;
            return true;
        }
    }
    const std::pair<const char*, TAdminVerb> restrictions[] = {
        {"ban", TAdminVerb::Ban},           {"unban", TAdminVerb::Unban},
        {"disable", TAdminVerb::Disable},   {"enable", TAdminVerb::Enable},
        {"password", TAdminVerb::Password}, {"delete", TAdminVerb::Delete},
        {"mute", TAdminVerb::Mute},         {"unmute", TAdminVerb::Unmute}};
    for (const auto& [name, v] : restrictions)
        if (verb == name)
            return ParseRestriction(v, rest, out, error);
    error = "unknown command";
    return false;
}

bool ParseAdminLine(std::string_view line, TAdminCommand& out, std::string& error) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.find_first_not_of(' ') == std::string_view::npos) {
        out = TAdminCommand{};
        error = "empty line";
        return false;
    }
    return ParseAdminCommand(line, out, error);
}

} // namespace navlet::server
