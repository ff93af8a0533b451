#include "server/core/reports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "server/core/wire.h"
#include "server/log/log.h"

namespace navlet::server {

namespace {

constexpr ChatId TICKER_NOTICE = 0x200;

int64_t UnixSeconds(double utcDays) {
    return int64_t(std::floor((utcDays - 25569.0) * 86400.0));
}

std::string DateText(double utcDays) {
    const time_t t = time_t(UnixSeconds(utcDays));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char out[80];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return out;
}

} // namespace

std::string QuoteLines(std::vector<TQuotedLine> lines) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TQuotedLine& a, const TQuotedLine& b) { return a.stamp < b.stamp; });
    const size_t skip = lines.size() > REPORT_LINES ? lines.size() - REPORT_LINES : 0;
    std::string out;
    for (size_t i = skip; i < lines.size(); ++i) {
        out += DateText(lines[i].stamp);
        out += ' ';
        out += lines[i].where;
        out += ": ";
        out += lines[i].text; // blanked of control characters as it was said
        out += '\n';
    }
    return out;
}

TReportDesk::TReportDesk(TDirectory& directory, TStore& store, TStoreRunner& runner,
                         const TClock& clock, const TReportSources& sources)
    : directory(directory), store(store), runner(&runner), clock(clock), sources(sources),
      alive(std::make_shared<bool>(true)) {}

TReportDesk::~TReportDesk() {
    *alive = false;
}

void TReportDesk::Report(TClient& client, const TReportRequest& request) {
    if (request.user == 0 || request.user == client.Id() || request.reason >= REPORT_REASON_COUNT)
        return;
    std::vector<TQuotedLine> quoted;
    sources.SaidTo(client, request.user, quoted);
    auto report = std::make_shared<TReport>();
    report->reporter = client.Id();
    report->reporterNick = client.account->account.nick;
    report->target = request.user;
    report->created = UnixSeconds(clock.NowUtcDays());
    report->reason = request.reason;
    report->text = BlankControls(request.text);
    report->site = client.site ? client.siteUrl.substr(0, client.siteUrl.find('/')) : "";
    report->lines = QuoteLines(std::move(quoted));
    struct TOutcome {
        uint64_t id = 0;
        bool known = false;
        bool failed = false;
    };
    auto outcome = std::make_shared<TOutcome>();
    TStore& db = store;
    std::weak_ptr<bool> desk = alive;
    const uint64_t serial = client.serial;
    runner->RunOrdered(
        [&db, report, outcome] {
            std::optional<TAccount> target = db.FindAccountById(report->target);
            if (!target) {
                outcome->failed = TStore::LastCallFailed();
                return;
            }
            outcome->known = true;
            report->targetNick = target->nick;
            outcome->id = db.AddReport(*report);
            outcome->failed = outcome->id == 0 && TStore::LastCallFailed();
        },
        [this, desk, outcome, report, serial] {
            if (desk.expired())
                return;
            if (outcome->id != 0)
                log::Info("reports", "report kept",
                          {{"report", outcome->id},
                           {"reporter", report->reporter},
                           {"target", report->target},
                           {"reason", int(report->reason)}});
            TClient* reporter = directory.LiveClient(serial);
            if (!reporter || (!outcome->known && !outcome->failed))
                return; // an unknown user: nothing to say
            std::string_view notice = outcome->id != 0  ? REPORT_THANKS
                                      : outcome->failed ? REPORT_BUSY
                                                        : REPORT_TOO_MANY;
            reporter->sink.Deliver(ChatLineWire(MakeChatAddress(0, TICKER_NOTICE), notice));
        });
}

} // namespace navlet::server
