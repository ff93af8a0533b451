// Reports of users by users: the reporter's reason and words with the
// reported user's last lines where the reporter saw them, kept in the store
// for the operators (every node lists every node's reports), at most
// REPORTS_PER_HOUR an hour per reporting account.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/requests.h"
#include "server/core/client.h"
#include "server/core/clock.h"
#include "server/core/directory.h"
#include "server/core/store_runner.h"

namespace navlet::server {

inline constexpr size_t REPORT_LINES = 30; // of the reported user, the latest
inline constexpr std::string_view REPORT_THANKS = "Thank you: the operators will look at it.";
inline constexpr std::string_view REPORT_TOO_MANY =
    "You have sent many reports lately: try again in an hour.";
inline constexpr std::string_view REPORT_BUSY = "The report was not sent: try again in a minute.";

// One line as the reporter saw it.
struct TQuotedLine {
    double stamp = 0;       // UTC days since 30 December 1899
    std::string_view where; // "site" or "private"
    std::string text;
};

// Where the quoted lines come from: the sites and the chats, which the front
// keeps.
class TReportSources {
  public:
    // The lines of `target` that `reporter` was shown in its site's public
    // chat and its private chats, in any order.
    virtual void SaidTo(const TClient& reporter, uint64_t target,
                        std::vector<TQuotedLine>& out) const = 0;

  protected:
    ~TReportSources() = default;
};

// "YYYY-MM-DD HH:MM:SS where: text" lines, oldest first, the latest
// REPORT_LINES of them, one per row.
std::string QuoteLines(std::vector<TQuotedLine> lines);

class TReportDesk {
  public:
    TReportDesk(TDirectory& directory, TStore& store, TStoreRunner& runner, const TClock& clock,
                const TReportSources& sources);
    ~TReportDesk();
    TReportDesk(const TReportDesk&) = delete;
    TReportDesk& operator=(const TReportDesk&) = delete;
    void SetStoreRunner(TStoreRunner& r) { runner = &r; }

    // Request 18. The reporter's ticker says whether it was kept; a report
    // of nobody, of oneself or with an unknown reason is dropped.
    void Report(TClient& client, const TReportRequest& request);

  private:
    TDirectory& directory;
    TStore& store;
    TStoreRunner* runner;
    const TClock& clock;
    const TReportSources& sources;
    std::shared_ptr<bool> alive; // lets late store answers find the desk gone
};

} // namespace navlet::server
