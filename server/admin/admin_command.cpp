#include "server/admin/admin_command.h"

#include <charconv>

#include "protocol/messages.h"

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

std::string Answer(int reached) {
    if (reached < 0)
        return "ERR no such user\n";
    return "OK " + std::to_string(reached) + "\n";
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
    error = "unknown command";
    return false;
}

namespace {

// One word of a listing: what peers reported reaches the operator's terminal
// only as printable ASCII without blanks; anything else is written %XX.
std::string Word(std::string_view text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto b = uint8_t(c);
        if (b > ' ' && b < 0x7F && b != '%') {
            out += c;
            continue;
        }
        out += '%';
        out += HEX[b >> 4];
        out += HEX[b & 15];
    }
    return out.empty() ? "-" : out;
}

std::string UserLine(std::string_view nick, std::string_view id, std::string_view host) {
    return "* " + Word(nick) + " " + std::string(id) + " " + Word(host) + "\n";
}

} // namespace

bool RunAcrossCluster(TService& service, const TAdminCommand& c,
                      std::function<void(std::string answer)> answer) {
    auto total = [answer = std::move(answer)](int reached) { answer(Answer(reached)); };
    switch (c.verb) {
    case TAdminVerb::Notice:
        service.Notice(c.target, c.notice, c.buttons, c.text, total);
        return true;
    case TAdminVerb::Reconnect:
        service.Command(c.target, CHAT_RECONNECT, c.text, total);
        return true;
    case TAdminVerb::Update:
        service.Command(c.target, CHAT_FORCE_UPDATE, c.text, total);
        return true;
    case TAdminVerb::ReplyTime:
        service.Command(c.target, CHAT_REPLY_TIME, c.text, total);
        return true;
    case TAdminVerb::Kick:
        service.Kick(c.target, total);
        return true;
    default:
        return false;
    }
}

std::string ClusterUsersAnswer(const std::vector<std::array<std::string, 3>>& users,
                               std::string_view host) {
    std::string folded = FoldCase(host), out;
    size_t count = 0;
    for (const auto& [nick, id, site] : users) {
        if (!folded.empty() && site != folded)
            continue;
        out += UserLine(nick, id, site);
        ++count;
    }
    return out + "OK " + std::to_string(count) + "\n";
}

std::string RunAdminCommand(TService& service, size_t connections, const TAdminCommand& c) {
    switch (c.verb) {
    case TAdminVerb::Notice:
        return Answer(service.Notice(c.target, c.notice, c.buttons, c.text));
    case TAdminVerb::Reconnect:
        return Answer(service.Command(c.target, CHAT_RECONNECT, c.text));
    case TAdminVerb::Update:
        return Answer(service.Command(c.target, CHAT_FORCE_UPDATE, c.text));
    case TAdminVerb::ReplyTime:
        return Answer(service.Command(c.target, CHAT_REPLY_TIME, c.text));
    case TAdminVerb::Kick:
        return Answer(service.Kick(c.target));
    case TAdminVerb::Users: {
        std::string out;
        auto users = service.OnlineUsers(c.host);
        for (const TClient* u : users)
            out += UserLine(u->account->account.nick, std::to_string(u->Id()),
                            u->site ? u->site->host : std::string());
        return out + "OK " + std::to_string(users.size()) + "\n";
    }
    case TAdminVerb::Sites: {
        std::string out;
        auto sites = service.BusiestSites(SIZE_MAX);
        for (const TSiteCount& s : sites)
            out += "* " + Word(s.host) + " " + std::to_string(s.users) + "\n";
        return out + "OK " + std::to_string(sites.size()) + "\n";
    }
    case TAdminVerb::Stats: {
        std::string out = "* connections " + std::to_string(connections) + "\n* users " +
                          std::to_string(service.SignedInCount()) + "\n* sites " +
                          std::to_string(service.SiteCount()) + "\n";
        if (const TClusterLink* cluster = service.Cluster()) {
            TClusterStatus status = cluster->Status();
            out += "* node " + status.nodeId + "\n* redis " + (status.redisUp ? "up" : "down") +
                   "\n* nodes " + std::to_string(status.nodes) + "\nOK 6\n";
            return out;
        }
        return out + "OK 3\n";
    }
    case TAdminVerb::Help:
        return "* NOTICE STATUS|TICKER|CONSOLE TARGET TEXT\n"
               "* NOTICE BUTTONS N TARGET TEXT\n"
               "* RECONNECT|UPDATE|REPLYTIME TARGET [TEXT]\n"
               "* KICK TARGET\n"
               "* USERS [HOST] | SITES | STATS | HELP | QUIT\n"
               "* TARGET: all | user:NICK | site:HOST\n"
               "OK 6\n";
    case TAdminVerb::Quit:
        return "OK 0\n";
    }
    return "ERR unknown command\n";
}

} // namespace navlet::server
