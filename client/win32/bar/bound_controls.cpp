#include "client/win32/bar/bound_controls.h"

#include <commctrl.h>

#include "client/win32/bar/pictures.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/gdi.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* BINDING_PROPERTY = L"NavletBinding";

std::wstring WideWindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length) + 1, L'\0');
    const int n = GetWindowTextW(window, text.data(), length + 1);
    text.resize(size_t(std::max(0, n)));
    return text;
}

std::string WindowText(HWND window) {
    return AnsiFromWide(WideWindowText(window));
}

} // namespace

void TObservations::Bind(TModel& model, TBinding& binding, std::function<void()> render,
                         TModel::TObserver onEnd) {
    auto guarded = [&binding, render = std::move(render)] {
        const TBinding::TRenderGuard guard(binding);
        render();
    };
    guarded();
    held.push_back(model.Watch(std::move(guarded), std::move(onEnd)));
}

void TObservations::Add(TModel& model, TModel::TObserver observer, TModel::TObserver onEnd) {
    held.push_back(model.Watch(std::move(observer), std::move(onEnd)));
}

TBinding::~TBinding() {
    if (window && IsWindow(window))
        RemovePropW(window, BINDING_PROPERTY);
}

void TBinding::Attach(HWND control) {
    window = control;
    SetPropW(control, BINDING_PROPERTY, this);
}

TBinding* TBinding::Of(HWND control) {
    return control ? static_cast<TBinding*>(GetPropW(control, BINDING_PROPERTY)) : nullptr;
}

void BindVisible(HWND window, TControl& model, TObservations& observations) {
    auto render = [window, &model] { ShowWindow(window, model.Visible() ? SW_SHOWNA : SW_HIDE); };
    observations.Add(model, render);
    render();
}

TEditBinding::TEditBinding(TEdit& m, HWND edit, std::function<void()> focus)
    : model(m), onFocus(std::move(focus)) {
    Attach(edit);
    observations.Bind(model, *this, [this] { Render(); });
}

TEditBinding::~TEditBinding() {
    if (background)
        DeleteObject(background);
    if (hintFont) {
        if (window && IsWindow(window))
            SendMessageW(window, WM_SETFONT, WPARAM(boxFont), FALSE);
        DeleteObject(hintFont);
    }
}

namespace {

int TextWidth(HWND window, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(window);
    if (!dc)
        return 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

} // namespace

HFONT TEditBinding::NarrowerCut(const std::wstring& text, int room, int full) const {
    LOGFONTW shape{};
    TEXTMETRICW metrics{};
    HDC dc = GetDC(window);
    if (!dc || !GetObjectW(boxFont, sizeof shape, &shape)) {
        if (dc)
            ReleaseDC(window, dc);
        return nullptr;
    }
    HGDIOBJ old = SelectObject(dc, boxFont);
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    // The font mapper scales by the average width asked for; a few tries
    // find the widest cut that fits.
    const LONG first = std::max<LONG>(1, LONG(metrics.tmAveCharWidth) * room / full);
    for (LONG width = first; width > 0 && width > first - 4; --width) {
        shape.lfWidth = width;
        HFONT cut = CreateFontIndirectW(&shape);
        if (!cut)
            return nullptr;
        if (TextWidth(window, cut, text) <= room || width == 1 || width == first - 3)
            return cut;
        DeleteObject(cut);
    }
    return nullptr;
}

void TEditBinding::FitHint() {
    if (!boxFont)
        boxFont = HFONT(SendMessageW(window, WM_GETFONT, 0, 0));
    if (!boxFont)
        return;
    RECT client{};
    GetClientRect(window, &client);
    const DWORD margins = DWORD(SendMessageW(window, EM_GETMARGINS, 0, 0));
    const int room = client.right - LOWORD(margins) - HIWORD(margins) - 1;
    const std::wstring text = WideFromAnsi(model.Text());
    HFONT wanted = boxFont;
    const int full = TextWidth(window, boxFont, text);
    if (model.FontColor() == clGray && room > 0 && full > room) {
        if (hintFont && TextWidth(window, hintFont, text) <= room)
            return; // the cut made before still fits
        if (HFONT cut = NarrowerCut(text, room, full))
            wanted = cut;
    }
    if (wanted == HFONT(SendMessageW(window, WM_GETFONT, 0, 0)))
        return;
    SendMessageW(window, WM_SETFONT, WPARAM(wanted), TRUE);
    if (hintFont)
        DeleteObject(hintFont);
    hintFont = wanted == boxFont ? nullptr : wanted;
}

void TEditBinding::Render() {
    SendMessageW(window, EM_LIMITTEXT, model.MaxLength() > 0 ? WPARAM(model.MaxLength()) : 0, 0);
    if (WindowText(window) != model.Text()) {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(window, EM_GETSEL, WPARAM(&start), LPARAM(&end));
        SetWindowTextW(window, WideFromAnsi(model.Text()).c_str());
        const DWORD length = DWORD(GetWindowTextLengthW(window));
        SendMessageW(window, EM_SETSEL, std::min(start, length), std::min(end, length));
    }
    FitHint();
    if (!background || backgroundColor != model.Color()) {
        if (background)
            DeleteObject(background);
        backgroundColor = model.Color();
        background = CreateSolidBrush(ColorRefOf(backgroundColor));
    }
    InvalidateRect(window, nullptr, TRUE);
}

void TEditBinding::Command(WORD code) {
    if (code == EN_CHANGE) {
        Typed();
        return;
    }
    if (code == EN_SETFOCUS && onFocus)
        onFocus();
}

void TEditBinding::Typed() {
    const std::wstring wide = WideWindowText(window);
    const TAnsiText typed = TypedAnsiFromWide(wide);
    DWORD start = 0;
    SendMessageW(window, EM_GETSEL, WPARAM(&start), 0);
    if (model.OnTyped)
        model.OnTyped(typed.text, typed.refused); // its echo finds the text already there
    else
        model.SetText(typed.text);
    if (WindowText(window) == model.Text() && typed.refused == 0)
        return;
    // A refused edit leaves the model as it was: the box shows it again, with
    // the caret where the refused characters began.
    const TRenderGuard guard(*this);
    Render();
    const DWORD shrunk = DWORD(wide.size()) - DWORD(GetWindowTextLengthW(window));
    const DWORD caret = start > shrunk ? start - shrunk : 0;
    SendMessageW(window, EM_SETSEL, caret, caret);
}

HBRUSH TEditBinding::Colors(HDC dc) {
    SetTextColor(dc, ColorRefOf(model.FontColor()));
    SetBkColor(dc, ColorRefOf(model.Color()));
    return background;
}

TButtonBinding::TButtonBinding(HWND button, std::function<void()> click)
    : onClick(std::move(click)) {
    Attach(button);
}

void TButtonBinding::Command(WORD code) {
    if (code == BN_CLICKED && onClick)
        onClick();
}

TSpeedButtonBinding::TSpeedButtonBinding(TSpeedButton& m, HWND button, HWND tips, COLORREF bg)
    : model(m), tooltips(tips), background(bg) {
    Attach(button);
    observations.Bind(model, *this, [this] { Render(); });
}

TSpeedButtonBinding::~TSpeedButtonBinding() {
    if (picture)
        DeleteObject(picture);
}

void TSpeedButtonBinding::SetFixedPicture(HBITMAP fixed) {
    if (picture)
        DeleteObject(picture);
    picture = fixed;
    fixedPicture = true;
    SendMessageW(window, BM_SETIMAGE, IMAGE_BITMAP, LPARAM(picture));
}

void TSpeedButtonBinding::Render() {
    if (!fixedPicture) {
        HBITMAP glyph = Glyph16(model.Glyph(), background);
        SendMessageW(window, BM_SETIMAGE, IMAGE_BITMAP, LPARAM(glyph));
        if (picture)
            DeleteObject(picture);
        picture = glyph;
    }
    SendMessageW(window, BM_SETSTATE, model.Down(), 0);
    if (!tooltips)
        return;
    // One tool per button, made with the first render; later renders only
    // change its text (the LED's glyph changes twice a second).
    std::wstring hint = WideFromAnsi(model.Hint());
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(window);
    tool.uId = UINT_PTR(window);
    tool.lpszText = hint.data();
    if (!toolAdded) {
        toolAdded = SendMessageW(tooltips, TTM_ADDTOOLW, 0, LPARAM(&tool)) != FALSE;
        return;
    }
    SendMessageW(tooltips, TTM_UPDATETIPTEXTW, 0, LPARAM(&tool));
}

void TSpeedButtonBinding::Command(WORD code) {
    if (code == BN_CLICKED && model.OnClick)
        model.OnClick();
}

TPeopleListBinding::TPeopleListBinding(TNavlet& b, TListView& m, HWND list, TPopup p, TLater& l,
                                       std::function<void()> focus)
    : bar(b), model(m), popup(p), later(l), onFocus(std::move(focus)) {
    Attach(list);
    states = StateImageList();
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_STATE, LPARAM(states));
    observations.Bind(model, *this, [this] { Render(); });
}

TPeopleListBinding::~TPeopleListBinding() {
    if (window && IsWindow(window))
        SendMessageW(window, LVM_SETIMAGELIST, LVSIL_STATE, 0);
    if (states)
        ImageList_Destroy(states);
}

void TPeopleListBinding::Render() {
    SendMessageW(window, WM_SETREDRAW, FALSE, 0);
    SendMessageW(window, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (const TListItem& item : model.Items()) {
        std::wstring caption = WideFromAnsi(item.caption);
        LVITEMW entry{};
        entry.mask = LVIF_TEXT | LVIF_STATE;
        entry.iItem = row++;
        entry.pszText = caption.data();
        entry.stateMask = LVIS_STATEIMAGEMASK | LVIS_SELECTED;
        entry.state = INDEXTOSTATEIMAGEMASK(UINT(item.stateIndex + 1)) |
                      (entry.iItem == model.Selected() ? LVIS_SELECTED : 0);
        SendMessageW(window, LVM_INSERTITEMW, 0, LPARAM(&entry));
    }
    SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(window, nullptr, TRUE);
}

bool TPeopleListBinding::Notify(const NMHDR& header, LRESULT&) {
    switch (header.code) {
    case NM_CLICK:
    case NM_RCLICK: {
        const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
        int row = click.iItem;
        if (row < 0 && header.code == NM_RCLICK)
            row = model.Selected();
        Open(row);
        return true;
    }
    case NM_SETFOCUS:
        if (onFocus)
            onFocus();
        return true;
    default:
        return false;
    }
}

void TPeopleListBinding::Open(int row) {
    if (row < 0)
        return;
    later.Later([this, row] {
        if (row >= model.Count())
            return; // the list changed meanwhile
        model.SetSelected(row);
        RECT entry{};
        entry.left = LVIR_BOUNDS;
        SendMessageW(window, LVM_GETITEMRECT, WPARAM(row), LPARAM(&entry));
        bool handled = false;
        (bar.*popup)(entry.left, entry.top, handled);
    });
}

TComboBinding::TComboBinding(TComboBoxEx& m, HWND combo, HIMAGELIST images,
                             std::function<void()> focus)
    : model(m), onFocus(std::move(focus)) {
    Attach(combo);
    SendMessageW(combo, CBEM_SETIMAGELIST, 0, LPARAM(images));
    observations.Bind(model, *this, [this] { Render(); });
}

void TComboBinding::Render() {
    SendMessageW(window, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < model.ItemCount(); ++i) {
        std::wstring caption = WideFromAnsi(model.Item(i).caption);
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        item.iItem = i;
        item.pszText = caption.data();
        item.iImage = model.Item(i).imageIndex;
        item.iSelectedImage = model.Item(i).selectedImageIndex;
        SendMessageW(window, CBEM_INSERTITEMW, 0, LPARAM(&item));
    }
    HWND edit = reinterpret_cast<HWND>(SendMessageW(window, CBEM_GETEDITCONTROL, 0, 0));
    if (edit && WindowText(edit) != model.Text())
        SetWindowTextW(edit, WideFromAnsi(model.Text()).c_str());
}

void TComboBinding::Command(WORD code) {
    if (code == CBN_SETFOCUS && onFocus)
        onFocus();
    HWND edit = reinterpret_cast<HWND>(SendMessageW(window, CBEM_GETEDITCONTROL, 0, 0));
    if (code == CBN_EDITCHANGE && edit) {
        model.SetText(WindowText(edit));
        return;
    }
    if (code == CBN_SELCHANGE) {
        const int index = int(SendMessageW(window, CB_GETCURSEL, 0, 0));
        if (index >= 0 && index < model.ItemCount())
            model.SetText(model.Item(index).caption);
    }
}

} // namespace navlet::win32

namespace navlet::win32 {

namespace {

constexpr UINT_PTR KEYS_SUBCLASS = 0x4E4B; // this file's subclass id

LRESULT CALLBACK KeysProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR data) {
    auto* onKey = reinterpret_cast<std::function<void(char)>*>(data);
    switch (message) {
    case WM_CHAR:
        if (wParam != VK_RETURN && wParam < 0x100)
            (*onKey)(char(wParam));
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &KeysProcedure, id);
        delete onKey;
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace

void WatchKeys(HWND control, std::function<void(char)> onKey) {
    if (!control)
        return;
    auto* held = new std::function<void(char)>(std::move(onKey));
    if (!SetWindowSubclass(control, &KeysProcedure, KEYS_SUBCLASS, DWORD_PTR(held)))
        delete held;
}

} // namespace navlet::win32
