#include "tests/win32/bandhost/modal_loop_driver.h"

#include <map>

namespace navlet::bandhost {

namespace {

constexpr UINT TICK_MS = 100;
// What the loop waits for comes after a deferred handler or a repaint; a
// loaded machine under wine may take a while.
constexpr int GIVE_UP_TICKS = 600;

// The drivers watching now, by their timers: a report box opens from a menu
// item, so its driver watches beside the menu's.
std::map<UINT_PTR, TModalLoopDriver*>& Watching() {
    static std::map<UINT_PTR, TModalLoopDriver*> watching;
    return watching;
}

} // namespace

std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

void TModalLoopDriver::Watch() {
    error.clear();
    shotTaken = false;
    ticks = 0;
    run = TRun::Watching;
    timer = SetTimer(nullptr, 0, TICK_MS, &TModalLoopDriver::Tick);
    if (!timer) {
        Fail("no timer");
        return;
    }
    Watching()[timer] = this;
}

void TModalLoopDriver::Stop() {
    StopTimer();
    if (run == TRun::Watching)
        Dismiss();
}

void TModalLoopDriver::StopTimer() {
    if (!timer)
        return;
    KillTimer(nullptr, timer);
    Watching().erase(timer);
    timer = 0;
}

void CALLBACK TModalLoopDriver::Tick(HWND, UINT, UINT_PTR id, DWORD) {
    const auto found = Watching().find(id);
    if (found == Watching().end())
        return;
    TModalLoopDriver& driver = *found->second;
    if (++driver.ticks > GIVE_UP_TICKS) {
        driver.Fail(driver.giveUpWhy);
        return;
    }
    driver.Step();
}

void TModalLoopDriver::Fail(const std::string& why) {
    if (error.empty())
        error = why;
    Dismiss();
    Finish();
}

void TModalLoopDriver::Finish() {
    StopTimer();
    run = TRun::Done;
}

} // namespace navlet::bandhost
