// The About box: a dialog made from an in-memory template, with the bar's
// About picture.
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

void BuildAboutBox(HWND dialog, TAboutState& state) {
    SetWindowTextW(dialog, WideFromAnsi(state.form->caption).c_str());
    RECT frame = Win32Rect(about_layout::CLIENT);
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    state.font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                             DEFAULT_QUALITY, 0, L"Verdana");
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

} // namespace navlet::win32
