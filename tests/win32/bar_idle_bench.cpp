// How busy an idle bar keeps its thread: a bar window with the ticker
// running, its messages dispatched for a while, and the process's CPU time
// over that while. Not a test: run it by hand (under wine and Xvfb) and read
// the figure.
//
//   win32_bar_idle_bench [seconds]
#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"

namespace {

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

} // namespace

int main(int argc, char** argv) {
    using namespace navlet;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    HWND host = CreateWindowExW(0, L"STATIC", L"band site", WS_POPUP | WS_VISIBLE, 0, 0, 810, 216,
                                nullptr, nullptr, nullptr, nullptr);
    win32::TWin32Kit kit;
    TNavlet bar{kit.Kit()};
    win32::TBarWindow window(bar, kit, host);
    bar.Form.SetVisible(true);
    SetWindowPos(window.Handle(), nullptr, 0, 0, 810, 216, SWP_NOZORDER);
    win32::test::PumpFor(2000); // settle: first paints, the ticker starts
    const double before = CpuSeconds();
    win32::test::PumpFor(DWORD(seconds) * 1000);
    const double used = CpuSeconds() - before;
    std::printf("idle bar, ticker running: %.2f s CPU in %d s (%.2f %% of one core)\n", used,
                seconds, 100.0 * used / seconds);
    DestroyWindow(host);
    return 0;
}
