// Runs the thread's message loop in tests, as the browser does for the bar.
#pragma once

#include <functional>

#include <windows.h>

namespace navlet::win32::test {

// Dispatches messages until `done` holds or `timeoutMs` passed; returns
// whether `done` held.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// Dispatches whatever arrives for `ms`.
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

} // namespace navlet::win32::test
