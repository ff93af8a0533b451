#include "tests/win32/bandhost/report_box_driver.h"

#include <utility>

#include "tests/win32/window_shot.h"

namespace navlet::bandhost {

namespace {

// Typed characters and a checked button repaint shortly after: the shot waits.
constexpr int PAINT_TICKS = 4;

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

void TReportBoxDriver::Start(TReportBoxPlan next) {
    Stop();
    plan = std::move(next);
    seen = {};
    box = nullptr;
    Enter(TPhase::WaitBox);
    Watch();
}

void TReportBoxDriver::Dismiss() {
    // Cancelled, so that nothing is reported on a half-filled box.
    if (box && IsWindow(box))
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

void TReportBoxDriver::Step() {
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
    }
}

} // namespace navlet::bandhost
