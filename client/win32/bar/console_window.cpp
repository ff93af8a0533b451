// The server output console: a tool window that stays above the browser,
// with the log and a "Clear" button, bound to the module's console form.
#include <string>

#include "client/core/console.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* CONSOLE_CLASS = L"NavletConsole";
constexpr int CLEAR_WIDTH = 75;
constexpr int CLEAR_HEIGHT = 23;
constexpr int MARGIN = 6;

class TConsoleWindow {
  public:
    TConsoleWindow(TConsoleForm& c, HWND owner) : console(&c) {
        RegisterWindowClass(CONSOLE_CLASS, &TConsoleWindow::Procedure,
                            LoadCursor(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
        const HWND root = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
        window = CreateWindowExW(WS_EX_TOOLWINDOW, CONSOLE_CLASS, WideFromAnsi(c.Caption()).c_str(),
                                 WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, TConsoleForm::WIDTH, TConsoleForm::HEIGHT, root,
                                 nullptr, ThisModule(), this);
        if (!window)
            return;
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        log = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                  ES_AUTOVSCROLL,
                              0, 0, 0, 0, window, nullptr, ThisModule(), nullptr);
        clear = CreateWindowExW(0, L"BUTTON", L"Clear", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                                0, 0, window, nullptr, ThisModule(), nullptr);
        SendMessageW(log, WM_SETFONT, WPARAM(font), FALSE);
        SendMessageW(clear, WM_SETFONT, WPARAM(font), FALSE);
        LayOut();
        observer = c.Observe([this] { Render(); });
        Render();
    }

  private:
    ~TConsoleWindow() { Detach(); }

    void Detach() {
        if (console)
            console->Unobserve(observer);
        console = nullptr;
    }

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
        if (console->Visible()) {
            shown = true;
            ShowWindow(window, SW_SHOWNOACTIVATE);
            return;
        }
        if (!shown)
            return; // made, not shown yet
        // Hidden after showing means closing: the console goes right after this.
        Detach();
        DestroyWindow(window);
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
            if (self->console) {
                TConsoleForm* closing = self->console;
                self->Detach(); // the console goes away inside FormClose
                closing->FormClose();
            }
            DestroyWindow(hwnd);
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
    int observer = 0;
    bool shown = false;
    HWND window = nullptr;
    HWND log = nullptr;
    HWND clear = nullptr;
    HFONT font = nullptr;
};

} // namespace

void ShowConsoleWindow(TConsoleForm& console, HWND owner) {
    new TConsoleWindow(console, owner); // shown by the console's Show, freed with its window
}

} // namespace navlet::win32
