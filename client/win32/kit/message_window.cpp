#include "client/win32/kit/message_window.h"
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* CLASS_NAME = L"NavletKitMessageWindow";

} // namespace

TMessageWindow::TMessageWindow() {
    const HINSTANCE instance = ThisModule();
    RegisterWindowClass(CLASS_NAME, &TMessageWindow::Procedure);
    window = CreateWindowExW(0, CLASS_NAME, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                             nullptr);
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TMessageWindow::~TMessageWindow() {
    if (!window)
        return;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
}

void TMessageWindow::SetHandler(UINT message, THandler handler) {
    if (handler)
        handlers[message] = std::move(handler);
    else
        handlers.erase(message);
}

LRESULT CALLBACK TMessageWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TMessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        auto it = self->handlers.find(message);
        if (it != self->handlers.end()) {
            // The handler may replace itself: call a copy.
            const THandler call = it->second;
            call(wParam, lParam);
            return 0;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace navlet::win32
