// How busy an idle bar keeps its thread: a bar window with the ticker
// running, its messages dispatched for a while, and the process's CPU time
// over that while. Not a test: run it by hand (under wine and Xvfb) and read
// the figure. With a nick and password, and NAVLET_SERVER naming a server
// (tests/win32/with_server.sh), the bar signs in first.
//
//   win32_bar_idle_bench [seconds [nick password]]
#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

#include "client/core/host.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/support/host_fakes.h"
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
    const bool signIn = argc > 3;
    if (signIn) {
        auto key = kit.registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create);
        if (key) {
            key->WriteString("nck", argv[2]);
            key->WriteString("pwd", TNavlet::ScramblePassword(argv[3], -1));
            key->WriteInteger("autologin", 1);
        }
    }
    TNavlet bar{kit.Kit()};
    testing::TRecordingHostControl page{"http://www.example.com/"};
    win32::TBarWindow window(bar, kit, host);
    if (!signIn)
        bar.Form.SetVisible(true); // as the band is shown; ShowDW does it when signing in
    SetWindowPos(window.Handle(), nullptr, 0, 0, 810, 216, SWP_NOZORDER);
    if (signIn) {
        bar.AttachHost(page);
        bar.ShowDW(true);
        if (!win32::test::PumpUntil([&] { return bar.loggedIn; }, 15000)) {
            std::printf("the bar did not sign in\n");
            return 1;
        }
    }
    win32::test::PumpFor(2000); // settle: first paints, the ticker starts
    const double before = CpuSeconds();
    win32::test::PumpFor(DWORD(seconds) * 1000);
    const double used = CpuSeconds() - before;
    std::printf("idle bar%s, ticker running: %.2f s CPU in %d s (%.2f %% of one core)\n",
                signIn ? " signed in" : "", used, seconds, 100.0 * used / seconds);
    if (signIn)
        bar.CloseDW();
    DestroyWindow(host);
    return 0;
}
