// Periodic timers as the platform runs them. The core's timer models (TTimer)
// are the only callers; handlers hear of ticks through them.
#pragma once

#include <cstdint>
#include <functional>

namespace navlet {

using TTimerHandle = uint64_t; // 0 is never a live timer

class TScheduler {
  public:
    virtual ~TScheduler() = default;
    // Calls `tick` every `intervalMs` (> 0) from now on until Stop. Ticks run on
    // the bar's thread; a tick may stop or start any timer, its own included.
    virtual TTimerHandle Start(uint32_t intervalMs, std::function<void()> tick) = 0;
    // Safe on a handle already stopped, and from inside that timer's own tick.
    virtual void Stop(TTimerHandle handle) = 0;
};

} // namespace navlet
