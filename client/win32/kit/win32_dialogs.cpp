// The About box, with the bar's About picture, and the report box: dialogs
// made from an in-memory template that make their controls themselves.
#include <vector>

#include "client/win32/kit/ansi.h"
#include "client/win32/kit/picture_bitmap.h"
#include "client/win32/kit/win32_kit.h"

namespace navlet::win32 {

namespace {

constexpr RECT Win32Rect(const TRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}
constexpr int ID_PICTURE = 101;
constexpr int ID_VERSION = 102;
constexpr int ID_REPORT_TEXT = 103;
constexpr int ID_ALSO_IGNORE = 104;
constexpr int ID_FIRST_REASON = 110;

struct TAboutState {
    TAboutForm* form;
    HBITMAP picture = nullptr;
    HFONT font = nullptr;
};

HWND Child(HWND dialog, const wchar_t* cls, const std::wstring& text, DWORD style, const RECT& r,
           int id, HFONT font) {
    HWND child = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, dialog,
                                 reinterpret_cast<HMENU>(intptr_t(id)), nullptr, nullptr);
    if (child && font)
        SendMessageW(child, WM_SETFONT, WPARAM(font), FALSE);
    return child;
}

HFONT DialogFont() {
    return CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                       DEFAULT_QUALITY, 0, L"Verdana");
}

void SizeClientArea(HWND dialog, const TRect& client) {
    RECT frame = Win32Rect(client);
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

void BuildAboutBox(HWND dialog, TAboutState& state) {
    SetWindowTextW(dialog, WideFromAnsi(state.form->caption).c_str());
    SizeClientArea(dialog, about_layout::CLIENT);
    state.font = DialogFont();
    state.picture = OpaqueBitmap(art::aboutPicture, 0, 0, about_layout::PICTURE.Width(),
                                 about_layout::PICTURE.Height(), RGB(255, 255, 255));
    HWND image = Child(dialog, L"STATIC", L"", SS_BITMAP, Win32Rect(about_layout::PICTURE),
                       ID_PICTURE, nullptr);
    SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(state.picture));
    // The label sizes itself to its text, on white.
    const std::wstring version = WideFromAnsi(state.form->versionLabel);
    HDC dc = GetDC(dialog);
    const HGDIOBJ old = SelectObject(dc, state.font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, version.c_str(), int(version.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    Child(dialog, L"STATIC", version, SS_LEFT,
          RECT{about_layout::VERSION_LEFT, about_layout::VERSION_TOP,
               about_layout::VERSION_LEFT + extent.cx, about_layout::VERSION_TOP + extent.cy},
          ID_VERSION, state.font);
    Child(dialog, L"STATIC", L"", SS_ETCHEDHORZ, Win32Rect(about_layout::BEVEL), 0, nullptr);
    HWND ok =
        Child(dialog, L"BUTTON", WideFromAnsi(state.form->okCaption), BS_DEFPUSHBUTTON | WS_TABSTOP,
              Win32Rect(about_layout::OK_BUTTON), IDOK, state.font);
    SetFocus(ok);
}

INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<TAboutState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        BuildAboutBox(dialog, *reinterpret_cast<TAboutState*>(lParam));
        return FALSE; // the focus is set
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == ID_VERSION) {
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
            return INT_PTR(GetStockObject(WHITE_BRUSH));
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam) == IDOK ? MODAL_RESULT_OK : 0);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (state) {
            if (state->picture)
                DeleteObject(state->picture);
            if (state->font)
                DeleteObject(state->font);
            state->picture = nullptr;
            state->font = nullptr;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

struct TReportState {
    TReportForm* form;
    HFONT font = nullptr;
};

void BuildReportBox(HWND dialog, TReportState& state) {
    namespace L = report_layout;
    const TReportForm& form = *state.form;
    SetWindowTextW(dialog, WideFromAnsi(form.caption).c_str());
    SizeClientArea(dialog, L::CLIENT);
    state.font = DialogFont();
    Child(dialog, L"STATIC", WideFromAnsi(form.prompt), SS_LEFT, Win32Rect(L::PROMPT), 0,
          state.font);
    for (int i = 0; i < int(form.reasons.size()); ++i) {
        // The first radio button starts the group the arrow keys move in.
        const DWORD group = i == 0 ? WS_GROUP | WS_TABSTOP : 0;
        HWND reason = Child(dialog, L"BUTTON", WideFromAnsi(form.reasons[size_t(i)]),
                            BS_AUTORADIOBUTTON | group, Win32Rect(L::Reason(i)),
                            ID_FIRST_REASON + i, state.font);
        SendMessageW(reason, BM_SETCHECK, i == form.reason ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    Child(dialog, L"STATIC", WideFromAnsi(form.textLabel), SS_LEFT | WS_GROUP,
          Win32Rect(L::TEXT_LABEL), 0, state.font);
    HWND text =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", WideFromAnsi(form.text).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, L::TEXT.left,
                        L::TEXT.top, L::TEXT.Width(), L::TEXT.Height(), dialog,
                        reinterpret_cast<HMENU>(intptr_t(ID_REPORT_TEXT)), nullptr, nullptr);
    SendMessageW(text, WM_SETFONT, WPARAM(state.font), FALSE);
    SendMessageW(text, EM_LIMITTEXT, WPARAM(form.textMaxLength > 0 ? form.textMaxLength : 0), 0);
    HWND alsoIgnore = Child(dialog, L"BUTTON", WideFromAnsi(form.alsoIgnoreCaption),
                            BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, Win32Rect(L::ALSO_IGNORE),
                            ID_ALSO_IGNORE, state.font);
    SendMessageW(alsoIgnore, BM_SETCHECK, form.alsoIgnore ? BST_CHECKED : BST_UNCHECKED, 0);
    Child(dialog, L"STATIC", L"", SS_ETCHEDHORZ, Win32Rect(L::BEVEL), 0, nullptr);
    HWND ok =
        Child(dialog, L"BUTTON", WideFromAnsi(form.okCaption),
              BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, Win32Rect(L::OK_BUTTON), IDOK, state.font);
    // A report names its reason: OK waits for one.
    EnableWindow(ok, form.reason >= 0);
    Child(dialog, L"BUTTON", WideFromAnsi(form.cancelCaption), BS_PUSHBUTTON | WS_TABSTOP,
          Win32Rect(L::CANCEL_BUTTON), IDCANCEL, state.font);
    SetFocus(text);
}

// The user's answers, read back before the controls go.
void ReadReportBox(HWND dialog, TReportForm& form) {
    form.reason = -1;
    for (int i = 0; i < int(form.reasons.size()); ++i)
        if (IsDlgButtonChecked(dialog, ID_FIRST_REASON + i) == BST_CHECKED)
            form.reason = i;
    HWND text = GetDlgItem(dialog, ID_REPORT_TEXT);
    const int length = GetWindowTextLengthW(text);
    std::wstring typed(size_t(length) + 1, L'\0');
    typed.resize(size_t(GetWindowTextW(text, typed.data(), length + 1)));
    form.text = AnsiFromWide(typed);
    form.alsoIgnore = IsDlgButtonChecked(dialog, ID_ALSO_IGNORE) == BST_CHECKED;
}

INT_PTR CALLBACK ReportProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<TReportState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        BuildReportBox(dialog, *reinterpret_cast<TReportState*>(lParam));
        return FALSE; // the focus is set
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= ID_FIRST_REASON && HIWORD(wParam) == BN_CLICKED) {
            EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
            return TRUE;
        }
        if (id == IDOK && !IsWindowEnabled(GetDlgItem(dialog, IDOK)))
            return TRUE; // Enter before a reason was chosen
        if (id != IDOK && id != IDCANCEL)
            return FALSE;
        if (state)
            ReadReportBox(dialog, *state->form);
        EndDialog(dialog, id == IDOK ? MODAL_RESULT_OK : 0);
        return TRUE;
    }
    case WM_DESTROY:
        if (state && state->font) {
            DeleteObject(state->font);
            state->font = nullptr;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// A dialog template with no items: the box makes its controls itself.
std::vector<WORD> EmptyDialogTemplate() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    header->cdit = 0;
    header->cx = 200;
    header->cy = 150;
    // Then: no menu, the default class, an empty title (the three zero words).
    return words;
}

} // namespace

int TWin32Dialogs::ShowAboutBox(TAboutForm& form) {
    TAboutState state{&form};
    const std::vector<WORD> dialogTemplate = EmptyDialogTemplate();
    const INT_PTR result = DialogBoxIndirectParamW(
        nullptr, reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), owners.Current(),
        &AboutProcedure, reinterpret_cast<LPARAM>(&state));
    form.modalResult = result == MODAL_RESULT_OK ? MODAL_RESULT_OK : 0;
    return form.modalResult;
}

int TWin32Dialogs::ShowReportBox(TReportForm& form) {
    TReportState state{&form};
    const std::vector<WORD> dialogTemplate = EmptyDialogTemplate();
    const INT_PTR result = DialogBoxIndirectParamW(
        nullptr, reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), owners.Current(),
        &ReportProcedure, reinterpret_cast<LPARAM>(&state));
    form.modalResult = result == MODAL_RESULT_OK ? MODAL_RESULT_OK : 0;
    return form.modalResult;
}

} // namespace navlet::win32
