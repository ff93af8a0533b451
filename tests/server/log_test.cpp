// The operator's log: lines read back field by field in both formats, the
// level in force, and the summary of a flood of refusals.
#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "server/log/log.h"
#include "server/log/refusals.h"
#include "tests/server/log_lines.h"

namespace {

using namespace navlet::server;
using namespace navlet::server::testing;
using log::TFormat;
using log::TLevel;

// Takes the process's log lines for the test's length.
class TCapturedLog {
  public:
    TCapturedLog() {
        log::SetSink([this](std::string_view line) { text.append(line); });
    }
    ~TCapturedLog() {
        log::SetSink(nullptr);
        log::SetLevel(TLevel::Info);
        log::SetFormat(TFormat::Text);
    }
    std::vector<TLogFields> Lines() const { return ParseLogLines(text); }
    std::string text;
};

constexpr int64_t A_MOMENT = 1714557600123; // 2024-05-01T10:00:00.123Z

TEST(ServerLog, TextAndJsonLinesReadBackFieldByField) {
    const std::string hostile = "a b\"c=d\\e\nf\x01\xff";
    for (TFormat format : {TFormat::Text, TFormat::Json}) {
        std::string line =
            log::FormatLine(format, A_MOMENT, TLevel::Warn, "signin", "sign-in refused",
                            {{"nick", hostile},
                             {"count", -42},
                             {"ok", true},
                             {"empty", ""},
                             {"address", "127.0.0.1"}});
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line whatever the fields hold";
        std::vector<TLogFields> lines = ParseLogLines(line.substr(0, line.size() - 1));
        ASSERT_EQ(lines.size(), 1u);
        TLogFields fields = lines[0];
        ASSERT_FALSE(fields.empty()) << line;
        EXPECT_EQ(fields["time"], "2024-05-01T10:00:00.123Z");
        EXPECT_EQ(fields["level"], "warn");
        EXPECT_EQ(fields["subsystem"], "signin");
        EXPECT_EQ(fields["msg"], "sign-in refused");
        EXPECT_EQ(fields["nick"], hostile) << line;
        EXPECT_EQ(fields["count"], "-42");
        EXPECT_EQ(fields["ok"], "true");
        EXPECT_EQ(fields["empty"], "");
        EXPECT_EQ(fields["address"], "127.0.0.1");
        EXPECT_EQ(fields.size(), 9u);
    }
    // Plain words stay unquoted in text, as an operator reads them.
    std::string plain = log::FormatLine(TFormat::Text, A_MOMENT, TLevel::Info, "server", "started",
                                        {{"sessions", "127.0.0.1:80"}});
    EXPECT_NE(plain.find(" sessions=127.0.0.1:80\n"), std::string::npos) << plain;
    EXPECT_EQ(plain.rfind("time=2024-05-01T10:00:00.123Z level=info subsystem=server ", 0), 0u);
}

TEST(ServerLog, LongValuesAreCut) {
    std::string huge(5000, 'x');
    std::string line =
        log::FormatLine(TFormat::Text, A_MOMENT, TLevel::Info, "web", "m", {{"nick", huge}});
    auto fields = ParseTextLogLine(line.substr(0, line.size() - 1));
    ASSERT_TRUE(fields);
    EXPECT_EQ((*fields)["nick"], std::string(log::MAX_VALUE, 'x') + "...");
}

TEST(ServerLog, OnlyTheLevelsInForceAreWritten) {
    TCapturedLog captured;
    log::SetLevel(TLevel::Warn);
    log::Debug("t", "debug line");
    log::Info("t", "info line");
    log::Warn("t", "warn line");
    log::Error("t", "error line");
    log::SetLevel(TLevel::Debug);
    log::Debug("t", "debug line");
    auto lines = captured.Lines();
    ASSERT_EQ(lines.size(), 3u) << captured.text;
    EXPECT_EQ(lines[0]["msg"], "warn line");
    EXPECT_EQ(lines[1]["msg"], "error line");
    EXPECT_EQ(lines[2]["level"], "debug");
    // The time is the wall clock's, in UTC.
    EXPECT_TRUE(std::regex_match(lines[0]["time"],
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));

    log::SetFormat(TFormat::Json);
    log::Info("t", "as json", {{"n", 1}});
    lines = captured.Lines();
    ASSERT_EQ(lines.size(), 4u) << captured.text;
    EXPECT_EQ(lines[3]["n"], "1");
    EXPECT_EQ(captured.text.substr(captured.text.rfind("\n{") + 1, 9), "{\"time\":\"");
}

TEST(ServerLog, LevelAndFormatNames) {
    TLevel level = TLevel::Info;
    EXPECT_TRUE(log::ParseLevel("debug", level));
    EXPECT_EQ(level, TLevel::Debug);
    EXPECT_TRUE(log::ParseLevel("error", level));
    EXPECT_EQ(level, TLevel::Error);
    EXPECT_FALSE(log::ParseLevel("INFO", level));
    EXPECT_FALSE(log::ParseLevel("verbose", level));
    TFormat format = TFormat::Text;
    EXPECT_TRUE(log::ParseFormat("json", format));
    EXPECT_EQ(format, TFormat::Json);
    EXPECT_FALSE(log::ParseFormat("xml", format));
}

TEST(ServerLog, AFloodOfRefusalsIsSummarisedOncePerWindow) {
    TCapturedLog captured;
    log::TRefusalLog refusals({/*windowMs=*/60000, /*fullPerWindow=*/3, /*maxAddresses=*/4});
    const std::string kind = "sign-ins refused for too many attempts";
    int full = 0;
    for (int i = 0; i < 412; ++i)
        full += refusals.Note(TLevel::Info, "signin", kind, "127.0.51.1", 1000 + i) ? 1 : 0;
    EXPECT_EQ(full, 3);
    // Another address is not hidden behind the first one's flood.
    EXPECT_TRUE(refusals.Note(TLevel::Info, "signin", kind, "127.0.51.2", 2000));
    refusals.Flush(60999);
    EXPECT_TRUE(captured.Lines().empty()) << "the window is not over yet";
    refusals.Flush(61000);
    auto lines = captured.Lines();
    ASSERT_EQ(lines.size(), 1u) << "one line for the flood, none for an address under the bound";
    EXPECT_EQ(lines[0]["msg"], "412 " + kind + " from 127.0.51.1 in the last 60 s");
    EXPECT_EQ(lines[0]["count"], "412");
    EXPECT_EQ(lines[0]["address"], "127.0.51.1");
    EXPECT_EQ(lines[0]["subsystem"], "signin");
    EXPECT_EQ(refusals.Tracked(), 1u);
    refusals.Flush(62000);
    EXPECT_EQ(refusals.Tracked(), 0u);
    // A new window begins in full again.
    EXPECT_TRUE(refusals.Note(TLevel::Info, "signin", kind, "127.0.51.1", 70000));
}

TEST(ServerLog, RefusalsFromCountlessAddressesShareOneCount) {
    TCapturedLog captured;
    log::TRefusalLog refusals({/*windowMs=*/1000, /*fullPerWindow=*/1, /*maxAddresses=*/4});
    int full = 0;
    for (int i = 0; i < 1000; ++i)
        full +=
            refusals.Note(TLevel::Info, "web", "sign-ups refused", "10.0.0." + std::to_string(i), 0)
                ? 1
                : 0;
    EXPECT_LE(refusals.Tracked(), 5u) << "bounded memory";
    EXPECT_EQ(full, 5);
    refusals.Flush(1000);
    auto summary =
        FindLogLine(captured.Lines(), "996 sign-ups refused from other addresses in the last 1 s");
    EXPECT_TRUE(summary) << captured.text;
    // Nothing is counted at a level out of force.
    log::SetLevel(TLevel::Warn);
    EXPECT_FALSE(refusals.Note(TLevel::Info, "web", "sign-ups refused", "10.0.0.1", 2000));
    EXPECT_EQ(refusals.Tracked(), 0u);
}

} // namespace
