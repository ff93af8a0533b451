#include "server/admin/admin_command.h"

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
               "* TARGET: all | user:NICK | site:HOST\n"
               "* BAN user:NICK|addr:RANGE DURATION [REASON] | UNBAN user:NICK|addr:RANGE\n"
               "* DISABLE user:NICK [REASON] | ENABLE user:NICK\n"
               "* PASSWORD user:NICK | DELETE user:NICK\n"
               "* MUTE site:HOST DURATION | UNMUTE site:HOST\n"
               "* DURATION: 10m | 2h | 7d | forever\n"
               "OK 11\n";
    case TAdminVerb::Quit:
        return "OK 0\n";
    default: // the restrictions' verbs answer later (RunRestriction)
        break;
    }
    return "ERR unknown command\n";
}

} // namespace navlet::server
