#include "tests/win32/bandhost/report_box_driver.h"

#include <utility>

#include "tests/win32/window_shot.h"

namespace navlet::bandhost {

namespace {

constexpr UINT TICK_MS = 100;
// The box opens once the menu's loop has returned its item; a loaded machine
// under wine may take a while.
constexpr int GIVE_UP_TICKS = 600;
// Typed characters and a checked button repaint shortly after: the shot waits.
constexpr int PAINT_TICKS = 4;

TReportBoxDriver* watching = nullptr;

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

bool IsKind(HWND window, const wchar_t* kind) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return lstrcmpiW(name, kind) == 0;
}

LONG_PTR ButtonType(HWND window) {
    return GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK;
}

std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND TextField(HWND dialog) {
    return FindWindowExW(dialog, nullptr, L"EDIT", nullptr);
}

BOOL CALLBACK CollectReportBox(HWND window, LPARAM found) {
    if (!IsReportBox(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

} // namespace

bool IsReportBox(HWND dialog) {
    return IsKind(dialog, L"#32770") && IsWindowVisible(dialog) && TextField(dialog);
}

TReportBoxDriver::~TReportBoxDriver() {
    Stop();
}

void TReportBoxDriver::Start(TReportBoxPlan next) {
    Stop();
    plan = std::move(next);
    seen = {};
    error.clear();
    shotTaken = false;
    box = nullptr;
    ticks = 0;
    Enter(TPhase::WaitBox);
    watching = this;
    timer = SetTimer(nullptr, 0, TICK_MS, &TReportBoxDriver::Tick);
    if (!timer)
        Fail("no timer");
}

void TReportBoxDriver::Stop() {
    if (timer)
        KillTimer(nullptr, timer);
    timer = 0;
    if (watching == this)
        watching = nullptr;
    if (phase != TPhase::Idle && phase != TPhase::Done && box && IsWindow(box))
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

void CALLBACK TReportBoxDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (watching)
        watching->Step();
}

void TReportBoxDriver::Fail(const std::string& why) {
    if (error.empty())
        error = why;
    // Cancelled, so that nothing is reported on a half-filled box.
    if (box && IsWindow(box))
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    Finish();
}

void TReportBoxDriver::Finish() {
    if (timer)
        KillTimer(nullptr, timer);
    timer = 0;
    watching = nullptr;
    phase = TPhase::Done;
}

void TReportBoxDriver::Step() {
    if (++ticks > GIVE_UP_TICKS) {
        Fail("no report box, or it did not close");
        return;
    }
    ++phaseTicks;
    switch (phase) {
    case TPhase::WaitBox: {
        EnumThreadWindows(GetCurrentThreadId(), CollectReportBox, LPARAM(&box));
        if (!box)
            return;
        seen.caption = Utf8(TextOf(box));
        for (HWND child : Children(box)) {
            if (!IsKind(child, L"BUTTON"))
                continue;
            if (ButtonType(child) == BS_AUTORADIOBUTTON)
                seen.reasons.push_back(Utf8(TextOf(child)));
            else if (ButtonType(child) == BS_AUTOCHECKBOX)
                seen.alsoIgnore = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
        }
        seen.reportBeforeReason = IsWindowEnabled(GetDlgItem(box, IDOK)) != FALSE;
        Enter(TPhase::Fill);
        return;
    }
    case TPhase::Fill: {
        HWND reason = nullptr;
        for (HWND child : Children(box))
            if (IsKind(child, L"BUTTON") && ButtonType(child) == BS_AUTORADIOBUTTON &&
                TextOf(child) == plan.reason)
                reason = child;
        if (!reason) {
            Fail("no reason \"" + Utf8(plan.reason) + "\"");
            return;
        }
        // A click, as the mouse gives it: the box hears that a reason was chosen.
        SendMessageW(reason, BM_CLICK, 0, 0);
        HWND text = TextField(box);
        SetFocus(text);
        for (const wchar_t c : plan.words)
            SendMessageW(text, WM_CHAR, WPARAM(c), 1);
        seen.typed = Utf8(TextOf(text));
        Enter(TPhase::Shot);
        return;
    }
    case TPhase::Shot:
        if (!plan.shotPath.empty()) {
            if (phaseTicks < PAINT_TICKS)
                return;
            shotTaken = win32::test::SaveWindowShot(box, plan.shotPath);
        }
        Enter(TPhase::Press);
        return;
    case TPhase::Press: {
        HWND report = GetDlgItem(box, IDOK);
        if (!IsWindowEnabled(report)) {
            Fail("Report stays disabled with a reason chosen");
            return;
        }
        // Posted: the box ends in its own loop, not inside this timer.
        PostMessageW(report, BM_CLICK, 0, 0);
        Enter(TPhase::WaitClosed);
        return;
    }
    case TPhase::WaitClosed:
        if (!IsWindow(box))
            Finish();
        return;
    case TPhase::Idle:
    case TPhase::Done:
        return;
    }
}

} // namespace navlet::bandhost
