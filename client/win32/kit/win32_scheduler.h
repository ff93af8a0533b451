// Core timers as SetTimer timers of the kit's message window; ticks arrive as
// WM_TIMER through the host's message loop.
#pragma once

#include <map>

#include "client/kit/scheduler.h"
#include "client/win32/kit/message_window.h"

namespace navlet::win32 {

class TWin32Scheduler : public TScheduler {
  public:
    explicit TWin32Scheduler(TMessageWindow& window);
    ~TWin32Scheduler() override;

    // 0 when the platform has no timer left to give.
    TTimerHandle Start(uint32_t intervalMs, std::function<void()> tick) override;
    void Stop(TTimerHandle handle) override;
    size_t ActiveCount() const { return ticks.size(); }

  private:
    void Tick(WPARAM id);

    TMessageWindow& window;
    std::map<TTimerHandle, std::function<void()>> ticks;
    TTimerHandle nextHandle = 1;
};

} // namespace navlet::win32
