#include "tests/win32/bandhost/bar_driver.h"

#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <iterator>

#include "client/core/navlet.h"
#include "client/core/ticker.h"
#include "client/win32/bar/bar_window.h"
#include "tests/win32/bandhost/band_container.h"

namespace navlet::bandhost {

namespace {

constexpr char ACTIVE_CHAT_VIEW[] = "ActiveChatView";
// The ticker's buttons are drawn across its middle row.
constexpr int TICKER_BUTTON_ROW = MSG_LINE_HEIGHT / 2;

struct TSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchId(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TSearch*>(data);
    if (GetDlgCtrlID(window) != search->id)
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK MatchShownConversation(HWND window, LPARAM data) {
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (!IsWindowVisible(window) || _wcsnicmp(cls, L"RichEdit", 8) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
}

void SendClick(HWND window, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(window, WM_LBUTTONUP, 0, at);
}

// The form of the bar last made in this process, as the module exports it.
// The module is found by its export, not its file name: the class may point
// at another build of it (the Protected Mode one) or at an installed update.
const TNavlet* ExportedForm() {
    HMODULE modules[256];
    DWORD bytes = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes))
        return nullptr;
    const size_t count = std::min<size_t>(bytes / sizeof(HMODULE), std::size(modules));
    for (size_t i = 0; i < count; ++i)
        if (auto* form = reinterpret_cast<TNavlet* const*>(GetProcAddress(modules[i], "Navlet")))
            return *form;
    return nullptr;
}

} // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        // Some conditions change without a message (another process starts):
        // look again at least every tenth of a second.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<ULONGLONG>(end - now, 100)),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            TBandContainer::Route(msg);
    }
    return true;
}

std::string AnsiText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring wide(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(window, wide.data(), length + 1);
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), got, nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), got, text.data(), n, nullptr, nullptr);
    return text;
}

HWND TBarDriver::Control(const std::string& name) const {
    if (!band)
        return nullptr;
    if (name == ACTIVE_CHAT_VIEW) {
        HWND shown = nullptr;
        if (HWND pages = Control(LayoutRow(TPart::LeftPanel).name))
            EnumChildWindows(pages, &MatchShownConversation, LPARAM(&shown));
        return shown;
    }
    for (const TLayoutRow& row : BAR_LAYOUT) {
        if (name != row.name)
            continue;
        TSearch search{win32::ControlId(row.part), nullptr};
        EnumChildWindows(band, &MatchId, LPARAM(&search));
        return search.found;
    }
    return nullptr;
}

bool TBarDriver::IsShown(const std::string& name) const {
    HWND window = Control(name);
    return window && IsWindowVisible(window);
}

bool TBarDriver::Click(const std::string& name) {
    HWND window = Control(name);
    if (!window || !IsWindowVisible(window))
        return false;
    RECT r{};
    GetClientRect(window, &r);
    SendClick(window, r.right / 2, r.bottom / 2);
    return true;
}

bool TBarDriver::Type(const std::string& name, const std::string& text) {
    if (!Click(name))
        return false;
    HWND window = Control(name);
    for (const char c : text) {
        wchar_t wide = 0;
        if (MultiByteToWideChar(1252, 0, &c, 1, &wide, 1) != 1) // the bar's code page
            return false;
        SendMessageW(window, WM_CHAR, WPARAM(wide), 1);
    }
    return true;
}

bool TBarDriver::Press(const std::string& name, UINT virtualKey) {
    if (!Click(name))
        return false;
    HWND window = Control(name);
    // Posted, not sent: the key goes through the message loop as typed keys do.
    return PostMessageW(window, WM_KEYDOWN, virtualKey, 1) &&
           PostMessageW(window, WM_KEYUP, virtualKey, LPARAM(0xC0000001));
}

bool TBarDriver::ClickTab(int index) {
    HWND tabs = Control(LayoutRow(TPart::PageControl).name);
    RECT r{};
    if (!tabs || !SendMessageW(tabs, TCM_GETITEMRECT, WPARAM(index), LPARAM(&r)))
        return false;
    SendClick(tabs, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return int(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)) == index;
}

int TBarDriver::TabCount() const {
    HWND tabs = Control(LayoutRow(TPart::PageControl).name);
    return tabs ? int(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

int TBarDriver::FindEntry(HWND list, const std::string& caption) {
    const int count = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(i), LPARAM(&item));
        char ansi[128] = {};
        WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
        if (caption == ansi)
            return i;
    }
    return -1;
}

bool TBarDriver::ListShows(const std::string& name, const std::string& caption) const {
    HWND list = Control(name);
    return list && FindEntry(list, caption) >= 0;
}

bool TBarDriver::RightClickEntry(const std::string& name, const std::string& caption) {
    HWND list = Control(name);
    const int row = list && IsWindowVisible(list) ? FindEntry(list, caption) : -1;
    RECT r{};
    r.left = LVIR_LABEL;
    if (row < 0 || !SendMessageW(list, LVM_GETITEMRECT, WPARAM(row), LPARAM(&r)))
        return false;
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, at) &&
           PostMessageW(list, WM_RBUTTONUP, 0, at);
}

std::string TBarDriver::ChatText() const {
    HWND view = Control(ACTIVE_CHAT_VIEW);
    return view ? AnsiText(view) : std::string();
}

std::wstring TBarDriver::ChatCharacters() const {
    HWND view = Control(ACTIVE_CHAT_VIEW);
    if (!view)
        return {};
    std::wstring text(size_t(GetWindowTextLengthW(view)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(view, text.data(), int(text.size()))));
    return text;
}

int TBarDriver::AcceptButtonMiddle() const {
    const TNavlet* form = ExportedForm();
    if (!form || !form->msgHitMap || form->msgQueue.empty() ||
        form->msgQueue.front().kind != mkInvite)
        return -1;
    auto isAccept = [form](int x) {
        return (form->msgHitMap->At(x + form->msgSrcRect.left, TICKER_BUTTON_ROW) &
                MSG_BTN_ACCEPT) != 0;
    };
    const int width = form->msg_img.Width();
    int first = 0;
    while (first < width && !isAccept(first))
        ++first;
    if (first == width)
        return -1;
    int last = first;
    while (last + 1 < width && isAccept(last + 1))
        ++last;
    return (first + last) / 2;
}

bool TBarDriver::TickerHolds(const std::string& text) {
    const TNavlet* form = ExportedForm();
    if (!form)
        return false;
    for (const TMsgLine& line : form->msgQueue)
        if (line.text == text)
            return true;
    return false;
}

bool TBarDriver::ClickTicker(int x) {
    HWND ticker = Control(LayoutRow(TPart::msg_img).name);
    if (!ticker)
        return false;
    SendClick(ticker, x, TICKER_BUTTON_ROW);
    return true;
}

} // namespace navlet::bandhost
