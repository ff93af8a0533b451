// The server output console: a tool window owned by the browser window, so
// that it stays above it, opened centred on that window's screen, with the
// log (no wrapping, scrolling both ways) and a "Clear" button, bound to the
// module's console form.
#include <string>

#include "client/core/console.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/bar/bound_controls.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* CONSOLE_CLASS = L"NavletConsole";
constexpr int CLEAR_WIDTH = 75;
constexpr int CLEAR_HEIGHT = 23;
constexpr int MARGIN = 6;

// A window of this size centred in the work area of `anchor`'s screen (the
// primary one without a window).
RECT CentredOnScreenOf(HWND anchor, int width, int height) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(MonitorFromWindow(anchor, MONITOR_DEFAULTTOPRIMARY), &info))
        area = info.rcWork;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    return {left, top, left + width, top + height};
}

class TConsoleWindow {
  public:
    TConsoleWindow(TConsoleForm& c, HWND owner) : console(&c) {
        RegisterWindowClass(CONSOLE_CLASS, &TConsoleWindow::Procedure,
                            LoadCursor(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
        const HWND root = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
        const RECT area = CentredOnScreenOf(root, TConsoleForm::WIDTH, TConsoleForm::HEIGHT);
        window = CreateWindowExW(WS_EX_TOOLWINDOW, CONSOLE_CLASS, WideFromAnsi(c.Caption()).c_str(),
                                 WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX, area.left, area.top,
                                 TConsoleForm::WIDTH, TConsoleForm::HEIGHT, root, nullptr,
                                 ThisModule(), this);
        if (!window)
            return;
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        // A multi-line edit with a horizontal scroll bar does not wrap.
        log = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                  ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                              0, 0, 0, 0, window, nullptr, ThisModule(), nullptr);
        clear = CreateWindowExW(0, L"BUTTON", L"Clear", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                                0, 0, window, nullptr, ThisModule(), nullptr);
        SendMessageW(log, WM_SETFONT, WPARAM(font), FALSE);
        SendMessageW(clear, WM_SETFONT, WPARAM(font), FALSE);
        LayOut();
        observations.Add(
            c, [this] { Render(); },
            [this] {
                console = nullptr; // closed, by the user or by the bar
                if (!destroying)
                    DestroyWindow(window); // frees this window object
            });
        Render();
    }

  private:
    ~TConsoleWindow() = default;

    void LayOut() {
        RECT r{};
        GetClientRect(window, &r);
        MoveWindow(log, MARGIN, MARGIN, r.right - 2 * MARGIN, r.bottom - 3 * MARGIN - CLEAR_HEIGHT,
                   TRUE);
        MoveWindow(clear, r.right - MARGIN - CLEAR_WIDTH, r.bottom - MARGIN - CLEAR_HEIGHT,
                   CLEAR_WIDTH, CLEAR_HEIGHT, TRUE);
    }

    void Render() {
        if (!console)
            return;
        std::string text;
        for (const std::string& line : console->Log())
            text += line + "\r\n";
        SetWindowTextW(log, WideFromAnsi(text).c_str());
        SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
        ShowWindow(window, console->Visible() ? SW_SHOWNOACTIVATE : SW_HIDE);
    }

    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<TConsoleWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        switch (message) {
        case WM_SIZE:
            if (self->log)
                self->LayOut();
            return 0;
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lParam) == self->clear && HIWORD(wParam) == BN_CLICKED &&
                self->console)
                self->console->btClearClick();
            return 0;
        case WM_CLOSE:
            // The console's end destroys the window and this object with it.
            if (self->console)
                self->console->FormClose();
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            // Also when its browser window goes: the console ends with it, so
            // that the next text makes a new one instead of filling none.
            self->destroying = true;
            if (TConsoleForm* ending = self->console) {
                self->console = nullptr;
                ending->FormClose();
            }
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            delete self;
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }

    TConsoleForm* console;
    bool destroying = false;
    HWND window = nullptr;
    HWND log = nullptr;
    HWND clear = nullptr;
    HFONT font = nullptr;
    TObservations observations;
};

} // namespace

void ShowConsoleWindow(TConsoleForm& console, HWND owner) {
    new TConsoleWindow(console, owner); // shown by the console's Show, freed with its window
}

} // namespace navlet::win32
