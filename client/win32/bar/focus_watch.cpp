#include "client/win32/bar/focus_watch.h"

#include <algorithm>
#include <vector>

namespace navlet::win32 {

namespace {

// Per thread: bars of other browser windows may live on other threads.
thread_local std::vector<TFocusWatch*> watches;
thread_local HHOOK hook = nullptr;

} // namespace

TFocusWatch::TFocusWatch(HWND r, std::function<void(HWND)> f) : root(r), onFocus(std::move(f)) {
    if (!hook)
        hook = SetWindowsHookExW(WH_CBT, &TFocusWatch::Hook, nullptr, GetCurrentThreadId());
    watches.push_back(this);
}

TFocusWatch::~TFocusWatch() {
    std::erase(watches, this);
    if (watches.empty() && hook) {
        UnhookWindowsHookEx(hook);
        hook = nullptr;
    }
}

LRESULT CALLBACK TFocusWatch::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_SETFOCUS) {
        const HWND now = reinterpret_cast<HWND>(wParam);
        // A copy: a bar may go while it hears of the focus.
        const std::vector<TFocusWatch*> current = watches;
        for (TFocusWatch* watch : current)
            if (std::find(watches.begin(), watches.end(), watch) != watches.end() && now &&
                IsChild(watch->root, now))
                watch->onFocus(now);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace navlet::win32
