// The server's log: one line per event, on stderr unless a test takes the
// lines, so that journald, a container runtime or a file redirect keep them
// as they are. A line holds the UTC time, the level, the subsystem, a short
// message and key=value fields, as logfmt text or as one JSON object:
//
//   time=2024-05-01T10:00:00.123Z level=info subsystem=signin msg="sign-in accepted" nick=alice
//   {"time":"2024-05-01T10:00:00.123Z","level":"info","subsystem":"signin","msg":"sign-in
//   accepted","nick":"alice"}
//
// What never goes in: a password or its hash, a chat line's text, a page
// address beyond its host. Callers pass only what may be shown; values are
// escaped and cut to a bounded length here, so a peer's bytes cannot forge a
// line or a field.
//
// A call below the level in force costs one relaxed atomic load; formatting
// happens only past it. Callable from any thread: each line is one write.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace navlet::server::log {

enum class TLevel : int { Error = 0, Warn = 1, Info = 2, Debug = 3 };
enum class TFormat { Text, Json };

// "error", "warn", "info", "debug"; false for anything else.
bool ParseLevel(std::string_view text, TLevel& out);
// "text", "json".
bool ParseFormat(std::string_view text, TFormat& out);
std::string_view LevelName(TLevel level);

// One field's value: text (escaped as needed) or a number (bare).
class TValue {
  public:
    TValue(std::string_view text) : text(text) {}
    TValue(const std::string& text) : text(text) {}
    TValue(const char* text) : text(text ? text : "") {}
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    TValue(T number)
        : isNumber(true), negative(number < 0),
          magnitude(number < 0 ? uint64_t(0) - uint64_t(number) : uint64_t(number)) {}
    TValue(bool flag) : text(flag ? "true" : "false"), isFlag(true) {}

    std::string_view text;
    bool isNumber = false;
    bool isFlag = false;
    bool negative = false;
    uint64_t magnitude = 0;
};

struct TField {
    std::string_view key; // lower_snake_case, chosen by our code
    TValue value;
};
using TFields = std::initializer_list<TField>;

namespace detail {
inline std::atomic<int> level{int(TLevel::Info)};
} // namespace detail

void SetLevel(TLevel level);
void SetFormat(TFormat format);
inline bool Enabled(TLevel level) {
    return int(level) <= detail::level.load(std::memory_order_relaxed);
}

// Where whole lines (with their newline) go; null: stderr. For tests and
// tools; the sink is called under a lock, one line at a time.
using TSink = std::function<void(std::string_view line)>;
void SetSink(TSink sink);

// Writes one line when `level` is in force.
void Write(TLevel level, std::string_view subsystem, std::string_view message, TFields fields = {});
inline void Error(std::string_view subsystem, std::string_view message, TFields fields = {}) {
    if (Enabled(TLevel::Error))
        Write(TLevel::Error, subsystem, message, fields);
}
inline void Warn(std::string_view subsystem, std::string_view message, TFields fields = {}) {
    if (Enabled(TLevel::Warn))
        Write(TLevel::Warn, subsystem, message, fields);
}
inline void Info(std::string_view subsystem, std::string_view message, TFields fields = {}) {
    if (Enabled(TLevel::Info))
        Write(TLevel::Info, subsystem, message, fields);
}
inline void Debug(std::string_view subsystem, std::string_view message, TFields fields = {}) {
    if (Enabled(TLevel::Debug))
        Write(TLevel::Debug, subsystem, message, fields);
}

// The line itself, without writing it: `unixMs` is the wall-clock time.
std::string FormatLine(TFormat format, int64_t unixMs, TLevel level, std::string_view subsystem,
                       std::string_view message, TFields fields);

// A value as a field shows it at most: longer ones are cut, marked "...".
inline constexpr size_t MAX_VALUE = 120;

} // namespace navlet::server::log
