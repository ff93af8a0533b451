#include "server/core/clock.h"

#include <chrono>

namespace navlet::server {

int64_t TSystemClock::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double TSystemClock::NowUtcDays() const {
    using namespace std::chrono;
    double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return UnixToDays(seconds);
}

} // namespace navlet::server
