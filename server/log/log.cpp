#include "server/log/log.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace navlet::server::log {

namespace {

std::atomic<int> format{int(TFormat::Text)};
std::mutex sinkMutex;
TSink sink; // under sinkMutex

void WriteStderr(std::string_view line) {
    while (!line.empty()) {
        ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere to complain to
        line.remove_prefix(size_t(n));
    }
}

void AppendTime(std::string& out, int64_t unixMs) {
    std::time_t seconds = std::time_t(unixMs / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  int(unixMs % 1000));
    out += text;
}

void AppendNumber(std::string& out, const TValue& value) {
    if (value.negative)
        out += '-';
    out += std::to_string(value.magnitude);
}

const char HEX[] = "0123456789abcdef";

// Bytes a peer chose may hold anything: each byte outside printable ASCII
// becomes \xNN (\u00NN in JSON), so a line stays one line of text.
void AppendEscaped(std::string& out, std::string_view text, TFormat how) {
    bool cut = text.size() > MAX_VALUE;
    if (cut)
        text = text.substr(0, MAX_VALUE);
    for (char c : text) {
        auto b = uint8_t(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\t') {
            out += "\\t";
        } else {
            out += how == TFormat::Json ? "\\u00" : "\\x";
            out += HEX[b >> 4];
            out += HEX[b & 15];
        }
    }
    if (cut)
        out += "...";
}

bool NeedsQuotes(std::string_view text) {
    if (text.empty() || text.size() > MAX_VALUE)
        return true;
    for (char c : text) {
        auto b = uint8_t(c);
        if (b <= ' ' || b >= 0x7F || c == '"' || c == '=' || c == '\\')
            return true;
    }
    return false;
}

void AppendText(std::string& out, std::string_view key, const TValue& value) {
    out += ' ';
    out += key;
    out += '=';
    if (value.isNumber) {
        AppendNumber(out, value);
        return;
    }
    if (!NeedsQuotes(value.text)) {
        out += value.text;
        return;
    }
    out += '"';
    AppendEscaped(out, value.text, TFormat::Text);
    out += '"';
}

void AppendJson(std::string& out, std::string_view key, const TValue& value) {
    out += ",\"";
    out += key;
    out += "\":";
    if (value.isNumber) {
        AppendNumber(out, value);
        return;
    }
    if (value.isFlag) {
        out += value.text;
        return;
    }
    out += '"';
    AppendEscaped(out, value.text, TFormat::Json);
    out += '"';
}

} // namespace

bool ParseLevel(std::string_view text, TLevel& out) {
    for (TLevel level : {TLevel::Error, TLevel::Warn, TLevel::Info, TLevel::Debug})
        if (text == LevelName(level)) {
            out = level;
            return true;
        }
    return false;
}

bool ParseFormat(std::string_view text, TFormat& out) {
    if (text == "text")
        out = TFormat::Text;
    else if (text == "json")
        out = TFormat::Json;
    else
        return false;
    return true;
}

std::string_view LevelName(TLevel level) {
    switch (level) {
    case TLevel::Error:
        return "error";
    case TLevel::Warn:
        return "warn";
    case TLevel::Info:
        return "info";
    case TLevel::Debug:
        return "debug";
    }
    return "info";
}

void SetLevel(TLevel level) {
    detail::level.store(int(level), std::memory_order_relaxed);
}

void SetFormat(TFormat how) {
    format.store(int(how), std::memory_order_relaxed);
}

void SetSink(TSink next) {
    std::lock_guard lock(sinkMutex);
    sink = std::move(next);
}

std::string FormatLine(TFormat how, int64_t unixMs, TLevel level, std::string_view subsystem,
                       std::string_view message, TFields fields) {
    std::string line;
    line.reserve(160);
    if (how == TFormat::Json) {
        line += "{\"time\":\"";
        AppendTime(line, unixMs);
        line += '"';
        AppendJson(line, "level", LevelName(level));
        AppendJson(line, "subsystem", subsystem);
        AppendJson(line, "msg", message);
        for (const TField& field : fields)
            AppendJson(line, field.key, field.value);
        line += "}\n";
        return line;
    }
    line += "time=";
    AppendTime(line, unixMs);
    AppendText(line, "level", LevelName(level));
    AppendText(line, "subsystem", subsystem);
    AppendText(line, "msg", message);
    for (const TField& field : fields)
        AppendText(line, field.key, field.value);
    line += '\n';
    return line;
}

void Write(TLevel level, std::string_view subsystem, std::string_view message, TFields fields) {
    if (!Enabled(level))
        return;
    int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    std::string line = FormatLine(TFormat(format.load(std::memory_order_relaxed)), now, level,
                                  subsystem, message, fields);
    std::lock_guard lock(sinkMutex);
    if (sink)
        sink(line);
    else
        WriteStderr(line);
}

} // namespace navlet::server::log
