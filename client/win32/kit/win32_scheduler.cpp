#include "client/win32/kit/win32_scheduler.h"

namespace navlet::win32 {

TWin32Scheduler::TWin32Scheduler(TMessageWindow& w) : window(w) {
    window.SetHandler(WM_TIMER, [this](WPARAM id, LPARAM) { Tick(id); });
}

TWin32Scheduler::~TWin32Scheduler() {
    window.SetHandler(WM_TIMER, nullptr);
    for (const auto& entry : ticks)
        KillTimer(window.Handle(), UINT_PTR(entry.first));
}

TTimerHandle TWin32Scheduler::Start(uint32_t intervalMs, std::function<void()> tick) {
    if (!window.Handle() || intervalMs == 0)
        return 0;
    // Handles are never reused, so a WM_TIMER already queued for a stopped
    // timer finds no tick.
    const TTimerHandle handle = nextHandle++;
    if (SetTimer(window.Handle(), UINT_PTR(handle), intervalMs, nullptr) == 0)
        return 0;
    ticks[handle] = std::move(tick);
    return handle;
}

void TWin32Scheduler::Stop(TTimerHandle handle) {
    auto it = ticks.find(handle);
    if (it == ticks.end())
        return;
    KillTimer(window.Handle(), UINT_PTR(handle));
    ticks.erase(it); // maybe inside its own tick: Tick holds a copy
}

void TWin32Scheduler::Tick(WPARAM id) {
    auto it = ticks.find(TTimerHandle(id));
    if (it == ticks.end())
        return;
    const std::function<void()> call = it->second;
    call();
}

} // namespace navlet::win32
