#include "server/admin/admin_command.h"

#include <cstdio>
#include <ctime>

#include "protocol/messages.h"

namespace navlet::server {

namespace {

std::string Answer(int reached) {
    if (reached < 0)
        return "ERR no such user\n";
    return "OK " + std::to_string(reached) + "\n";
}

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

// A text for the operator's terminal: printable ASCII and blanks as they
// are, anything else (line ends, bytes of other code pages, '%') as %XX.
std::string Printable(std::string_view text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto b = uint8_t(c);
        if (b >= ' ' && b < 0x7F && b != '%') {
            out += c;
            continue;
        }
        out += '%';
        out += HEX[b >> 4];
        out += HEX[b & 15];
    }
    return out;
}

std::string_view ReasonName(uint8_t reason) {
    switch (reason) {
    case REPORT_SPAM:
        return "spam";
    case REPORT_HARASSMENT:
        return "harassment";
    case REPORT_ILLEGAL:
        return "illegal";
    default:
        return "other";
    }
}

std::string UtcText(int64_t unixSeconds) {
    const time_t t = time_t(unixSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char out[80];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return out;
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

bool RunRestriction(TService& service, const TAdminCommand& c,
                    std::function<void(std::string answer)> answer) {
    auto reply = [answer = std::move(answer)](TRestrictionDesk::TOutcome outcome) {
        if (!outcome.error.empty()) {
            answer("ERR " + outcome.error + "\n");
            return;
        }
        std::string out;
        if (!outcome.password.empty())
            out += "* password " + outcome.password + "\n";
        if (outcome.untilS != 0)
            out += "* until " + std::to_string(outcome.untilS) + "\n";
        answer(out + "OK " + std::to_string(outcome.sessions) + "\n");
    };
    TRestrictionDesk& desk = service.Restrictions();
    const TRestrictionKind banKind = c.subjectKind == TBanSubject::Address
                                         ? TRestrictionKind::AddressBan
                                         : TRestrictionKind::UserBan;
    switch (c.verb) {
    case TAdminVerb::Ban:
        desk.Ban(banKind, c.subject, c.durationS, c.text, std::move(reply));
        return true;
    case TAdminVerb::Unban:
        desk.Unban(banKind, c.subject, std::move(reply));
        return true;
    case TAdminVerb::Disable:
    case TAdminVerb::Enable:
        desk.Disable(c.subject, c.verb == TAdminVerb::Disable, c.text, std::move(reply));
        return true;
    case TAdminVerb::Password:
        desk.NewPassword(c.subject, std::move(reply));
        return true;
    case TAdminVerb::Delete:
        desk.Delete(c.subject, std::move(reply));
        return true;
    case TAdminVerb::Mute:
        desk.Mute(c.subject, c.durationS, std::move(reply));
        return true;
    case TAdminVerb::Unmute:
        desk.Unmute(c.subject, std::move(reply));
        return true;
    default:
        return false;
    }
}

std::string ReportsAnswer(const std::vector<TReport>& reports) {
    std::string out;
    for (const TReport& r : reports)
        out += "* " + std::to_string(r.id) + " " + UtcText(r.created) + " " + Word(r.reporterNick) +
               " " + Word(r.targetNick) + " " + std::string(ReasonName(r.reason)) + " " +
               (r.closed ? "closed" : "open") + " " + Word(r.site) + "\n";
    return out + "OK " + std::to_string(reports.size()) + "\n";
}

std::string ReportAnswer(const std::optional<TReport>& report) {
    if (!report)
        return "ERR no such report\n";
    const TReport& r = *report;
    std::vector<std::string> data = {
        "id " + std::to_string(r.id),
        "when " + UtcText(r.created),
        "reporter " + Word(r.reporterNick) + " " + std::to_string(r.reporter),
        "target " + Word(r.targetNick) + " " + std::to_string(r.target),
        "reason " + std::string(ReasonName(r.reason)),
        "site " + Word(r.site),
        "text " + Printable(r.text),
        r.closed ? "closed " + Printable(r.closeText) : "open",
    };
    for (size_t at = 0; at < r.lines.size();) {
        size_t end = r.lines.find('\n', at);
        if (end == std::string::npos)
            end = r.lines.size();
        data.push_back("line " + Printable(std::string_view(r.lines).substr(at, end - at)));
        at = end + 1;
    }
    std::string out;
    for (const std::string& line : data)
        out += "* " + line + "\n";
    return out + "OK " + std::to_string(data.size()) + "\n";
}

bool RunReportCommand(TService& service, const TAdminCommand& c,
                      std::function<void(std::string answer)> answer) {
    if (c.verb != TAdminVerb::Reports && c.verb != TAdminVerb::Report &&
        c.verb != TAdminVerb::Close)
        return false;
    auto out = std::make_shared<std::string>();
    TStore& store = service.Store();
    service.RunStoreWork(
        [&store, c, out] {
            if (c.verb == TAdminVerb::Reports) {
                *out = ReportsAnswer(store.Reports(c.all));
            } else if (c.verb == TAdminVerb::Report) {
                *out = ReportAnswer(store.FindReport(c.report));
            } else {
                *out = store.CloseReport(c.report, c.text) ? "OK 1\n" : "ERR no such open report\n";
            }
            if (TStore::LastCallFailed())
                *out = "ERR store unavailable\n";
        },
        [out, answer = std::move(answer)] { answer(std::move(*out)); });
    return true;
}

std::string ClusterUsersAnswer(const std::vector<cluster::TSessionRecord>& users,
                               std::string_view host) {
    std::string folded = FoldCase(host), out;
    size_t count = 0;
    for (const cluster::TSessionRecord& user : users) {
        if (!folded.empty() && user.host != folded)
            continue;
        out += UserLine(user.nick, std::to_string(user.account), user.host);
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
               "* REPORTS [OPEN|ALL] | REPORT ID | CLOSE ID [TEXT]\n"
               "* TARGET: all | user:NICK | site:HOST\n"
               "* BAN user:NICK|addr:RANGE DURATION [REASON] | UNBAN user:NICK|addr:RANGE\n"
               "* DISABLE user:NICK [REASON] | ENABLE user:NICK\n"
               "* PASSWORD user:NICK | DELETE user:NICK\n"
               "* MUTE site:HOST DURATION | UNMUTE site:HOST\n"
               "* DURATION: 10m | 2h | 7d | forever\n"
               "OK 12\n";
    case TAdminVerb::Quit:
        return "OK 0\n";
    case TAdminVerb::Reports:
        return ReportsAnswer(service.Store().Reports(c.all));
    case TAdminVerb::Report:
        return ReportAnswer(service.Store().FindReport(c.report));
    case TAdminVerb::Close:
        return service.Store().CloseReport(c.report, c.text) ? "OK 1\n"
                                                             : "ERR no such open report\n";
    default: // the restrictions' verbs answer later (RunRestriction)
        break;
    }
    return "ERR unknown command\n";
}

} // namespace navlet::server
