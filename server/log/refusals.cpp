#include "server/log/refusals.h"

#include <chrono>

namespace navlet::server::log {

bool TRefusalLog::Note(TLevel level, std::string_view subsystem, std::string_view kind,
                       std::string_view address, int64_t nowMs) {
    if (!Enabled(level))
        return false;
    std::unique_lock lock(mutex);
    TKey key{std::string(kind), std::string(address)};
    auto it = windows.find(key);
    if (it != windows.end() && nowMs - it->second.startMs >= limits.windowMs) {
        Summarise(it->first, it->second);
        windows.erase(it);
        it = windows.end();
    }
    if (it == windows.end()) {
        if (windows.size() >= limits.maxAddresses)
            key.second = OTHERS;
        it = windows.try_emplace(std::move(key), TWindow{nowMs, 0, level, std::string(subsystem)})
                 .first;
    }
    return ++it->second.count <= uint64_t(limits.fullPerWindow);
}

void TRefusalLog::Flush(int64_t nowMs) {
    std::unique_lock lock(mutex);
    for (auto it = windows.begin(); it != windows.end();) {
        if (nowMs - it->second.startMs < limits.windowMs) {
            ++it;
            continue;
        }
        Summarise(it->first, it->second);
        it = windows.erase(it);
    }
}

size_t TRefusalLog::Tracked() const {
    std::unique_lock lock(mutex);
    return windows.size();
}

void TRefusalLog::Summarise(const TKey& key, const TWindow& window) const {
    if (window.count <= uint64_t(limits.fullPerWindow) || !Enabled(window.level))
        return;
    int64_t seconds = limits.windowMs / 1000;
    std::string message = std::to_string(window.count) + " " + key.first + " from " + key.second +
                          " in the last " + std::to_string(seconds) + " s";
    Write(window.level, window.subsystem, message,
          {{"count", window.count},
           {"kind", key.first},
           {"address", key.second},
           {"window_s", seconds},
           {"logged", limits.fullPerWindow}});
}

namespace {

TRefusalLog& Refusals() {
    static TRefusalLog refusals;
    return refusals;
}

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool NoteRefusal(TLevel level, std::string_view subsystem, std::string_view kind,
                 std::string_view address) {
    return Refusals().Note(level, subsystem, kind, address, SteadyMs());
}

void FlushRefusals() {
    Refusals().Flush(SteadyMs());
}

} // namespace navlet::server::log
