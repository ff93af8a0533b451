#include "client/win32/bar/chat_controls.h"

#include <algorithm>

#include <commctrl.h>
#include <richedit.h>
#include <windowsx.h>

#include "client/core/module_state.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/gdi.h"
#include "client/win32/kit/win32_kit.h"
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* TICKER_CLASS = L"NavletTicker";
// The ticker's off-screen image: as wide as the widest ticker line.
constexpr int TICKER_IMAGE_WIDTH = 800;
constexpr int TICKER_IMAGE_HEIGHT = 16;

void AppendRun(HWND edit, const TTextRun& run) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_COLOR;
    format.dwEffects = (run.bold ? CFE_BOLD : 0) | (run.italic ? CFE_ITALIC : 0);
    format.crTextColor = ColorRefOf(run.color);
    const LONG end = GetWindowTextLengthW(edit) + 64; // past any end
    CHARRANGE at{end, end};
    SendMessageW(edit, EM_EXSETSEL, 0, LPARAM(&at));
    SendMessageW(edit, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
    const std::wstring text = WideFromAnsi(run.text);
    SendMessageW(edit, EM_REPLACESEL, FALSE, LPARAM(text.c_str()));
}

} // namespace

TShiftState ShiftOf(WPARAM keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT)
        s |= ssShift;
    if (keys & MK_CONTROL)
        s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    if (keys & MK_LBUTTON)
        s |= ssLeft;
    if (keys & MK_RBUTTON)
        s |= ssRight;
    if (keys & MK_MBUTTON)
        s |= ssMiddle;
    return s;
}

TChatViewBinding::TChatViewBinding(TNavlet& b, TChatView& v, HWND richEdit, TWin32MenuTracker& m)
    : bar(b), view(&v), menus(m) {
    Attach(richEdit);
    SendMessageW(richEdit, EM_SETEVENTMASK, 0, ENM_SELCHANGE | ENM_MOUSEEVENTS);
    menus.Register(view, richEdit);
    v.IsAtEnd = [richEdit] {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS | SIF_PAGE | SIF_RANGE;
        if (!GetScrollInfo(richEdit, SB_VERT, &info) || UINT(info.nMax - info.nMin) < info.nPage)
            return true; // no scroll bar: everything is in view
        return info.nPos + int(info.nPage) >= info.nMax - 2;
    };
    observations.Bind(
        v, *this, [this] { Render(); },
        [this] {
            menus.Unregister(view);
            view = nullptr;
        });
}

TChatViewBinding::~TChatViewBinding() {
    if (view) {
        menus.Unregister(view);
        view->IsAtEnd = nullptr;
    }
    if (window && IsWindow(window))
        DestroyWindow(window);
}

void TChatViewBinding::Render() {
    std::vector<std::vector<TTextRun>> lines;
    for (const TChatLine& line : view->Lines())
        lines.push_back(line.runs);
    // Rebuilding the text moves the scroll: the place the reader had comes back.
    POINT place{};
    SendMessageW(window, EM_GETSCROLLPOS, 0, LPARAM(&place));
    if (lines != shown) {
        SendMessageW(window, WM_SETREDRAW, FALSE, 0);
        SetWindowTextW(window, L"");
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0)
                AppendRun(window, TTextRun{"\r", clBlack, false, false});
            for (const TTextRun& run : lines[i])
                AppendRun(window, run);
        }
        SendMessageW(window, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(window, nullptr, TRUE);
        shown = std::move(lines);
    }
    // One byte of the model is one character here, a line break included.
    CHARRANGE selection{};
    SendMessageW(window, EM_EXGETSEL, 0, LPARAM(&selection));
    const LONG start = LONG(view->SelStart());
    const LONG end = LONG(view->SelStart() + view->SelLength());
    if (selection.cpMin != start || selection.cpMax != end) {
        CHARRANGE wanted{start, end};
        SendMessageW(window, EM_EXSETSEL, 0, LPARAM(&wanted));
    }
    if (view->ScrollRequests() != scrollRequests) {
        scrollRequests = view->ScrollRequests();
        SendMessageW(window, WM_VSCROLL, SB_BOTTOM, 0);
        return;
    }
    SendMessageW(window, EM_SETSCROLLPOS, 0, LPARAM(&place));
}

bool TChatViewBinding::Notify(const NMHDR& header, LRESULT& result) {
    if (!view)
        return false;
    if (header.code == EN_SELCHANGE) {
        const auto& change = reinterpret_cast<const SELCHANGE&>(header);
        view->SetSelection(size_t(change.chrg.cpMin),
                           size_t(change.chrg.cpMax - change.chrg.cpMin));
        return true;
    }
    if (header.code != EN_MSGFILTER)
        return false;
    const auto& filter = reinterpret_cast<const MSGFILTER&>(header);
    const int x = GET_X_LPARAM(filter.lParam);
    const int y = GET_Y_LPARAM(filter.lParam);
    if (filter.msg == WM_RBUTTONUP) {
        bool handled = false;
        bar.ChatContextPopup(*view, x, y, handled);
        result = 1; // the rich edit shows no menu of its own
        return true;
    }
    if (filter.msg == WM_LBUTTONUP || filter.msg == WM_MBUTTONUP) {
        const TMouseButton button =
            filter.msg == WM_LBUTTONUP ? TMouseButton::mbLeft : TMouseButton::mbMiddle;
        bar.ChatMouseUp(button, ShiftOf(filter.wParam), x, y);
    }
    return false;
}

TChatTabsBinding::TChatTabsBinding(TNavlet& b, HWND tabs, HWND parent, TWin32MenuTracker& m,
                                   TLater& l, HFONT f)
    : bar(b), pagesParent(parent), menus(m), later(l), font(f) {
    Attach(tabs);
    menus.Register(&bar.PageControl, tabs);
    observations.Bind(bar.PageControl, *this, [this] { Render(); });
}

TChatTabsBinding::~TChatTabsBinding() {
    menus.Unregister(&bar.PageControl);
}

HWND TChatTabsBinding::ActiveView() const {
    const int active = bar.PageControl.ActivePageIndex();
    if (active < 0 || active >= int(pages.size()))
        return nullptr;
    return pages[size_t(active)].binding->Window();
}

void TChatTabsBinding::Render() {
    TPageControl& control = bar.PageControl;
    std::vector<TShownPage> next;
    for (int i = 0; i < control.PageCount(); ++i) {
        TTabSheet& sheet = control.Page(i);
        // A binding whose view ended matches no sheet, even one made where
        // its sheet and view were.
        auto old = std::find_if(pages.begin(), pages.end(), [&](const TShownPage& p) {
            return p.sheet == &sheet && p.binding->View() == sheet.view.get();
        });
        if (old != pages.end()) {
            next.push_back(std::move(*old));
            pages.erase(old);
            continue;
        }
        HWND edit = CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                                    WS_CHILD | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                        ES_AUTOVSCROLL | ES_NOHIDESEL,
                                    0, 0, 10, 10, pagesParent, nullptr, ThisModule(), nullptr);
        if (!edit)
            edit = CreateWindowExW(0, RICHEDIT_CLASSW, L"",
                                   WS_CHILD | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                       ES_AUTOVSCROLL | ES_NOHIDESEL,
                                   0, 0, 10, 10, pagesParent, nullptr, ThisModule(), nullptr);
        SendMessageW(edit, WM_SETFONT, WPARAM(font), FALSE);
        next.push_back(
            TShownPage{&sheet, std::make_unique<TChatViewBinding>(bar, *sheet.view, edit, menus)});
    }
    // What is left belonged to tabs that are gone; their views went with
    // them, or go soon, and each binding hears of it. Their windows go once
    // this message is over: this may run inside one of theirs.
    for (TShownPage& gone : pages) {
        ShowWindow(gone.binding->Window(), SW_HIDE);
        std::shared_ptr<TChatViewBinding> dying(std::move(gone.binding));
        later.Later([dying] {});
    }
    pages = std::move(next);
    SendMessageW(window, TCM_DELETEALLITEMS, 0, 0);
    int index = 0;
    for (const TShownPage& page : pages) {
        std::wstring caption = WideFromAnsi(TabLabel(*page.sheet));
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = caption.data();
        item.lParam = LPARAM(page.sheet);
        SendMessageW(window, TCM_INSERTITEMW, WPARAM(index++), LPARAM(&item));
    }
    if (control.ActivePageIndex() >= 0)
        SendMessageW(window, TCM_SETCURSEL, WPARAM(control.ActivePageIndex()), 0);
    InvalidateRect(window, nullptr, TRUE);
    LayOut();
}

void TChatTabsBinding::LayOut() {
    RECT area{};
    GetClientRect(window, &area);
    SendMessageW(window, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
    MapWindowPoints(window, pagesParent, reinterpret_cast<POINT*>(&area), 2);
    const HWND active = ActiveView();
    for (const TShownPage& page : pages) {
        const HWND edit = page.binding->Window();
        if (edit != active || !page.sheet->visible) {
            ShowWindow(edit, SW_HIDE);
            continue;
        }
        SetWindowPos(edit, HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    }
}

bool TChatTabsBinding::Notify(const NMHDR& header, LRESULT&) {
    if (header.code == TCN_SELCHANGE) {
        const int index = int(SendMessageW(window, TCM_GETCURSEL, 0, 0));
        if (index < 0 || index == bar.PageControl.ActivePageIndex())
            return true;
        bar.PageControl.SetActivePageIndex(index);
        bar.PageControlChange();
        LayOut();
        return true;
    }
    if (header.code == NM_RCLICK) {
        POINT at{};
        GetCursorPos(&at);
        ScreenToClient(window, &at);
        bool handled = false;
        bar.ChatContextPopup(bar.PageControl, at.x, at.y, handled);
        return true;
    }
    return false;
}

bool TChatTabsBinding::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID >= pages.size())
        return true;
    const TTabSheet& sheet = *pages[item.itemID].sheet;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, sheet.highlighted ? RGB(255, 0, 0) : GetSysColor(COLOR_BTNTEXT));
    const HGDIOBJ old = SelectObject(dc, font);
    const std::wstring caption = WideFromAnsi(TabLabel(sheet));
    DrawTextW(dc, caption.c_str(), int(caption.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
    return true;
}

TTickerWindow::TTickerWindow(TNavlet& b, HWND parent, TFontCache& f) : bar(b), fonts(f) {
    const HINSTANCE instance = ThisModule();
    RegisterWindowClass(TICKER_CLASS, &TTickerWindow::Procedure);
    window = CreateWindowExW(0, TICKER_CLASS, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10,
                             TICKER_IMAGE_HEIGHT, parent, nullptr, instance, nullptr);
    if (!window)
        return;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    observations.Add(bar.msg_img, [this] { InvalidateRect(window, nullptr, FALSE); });
}

TTickerWindow::~TTickerWindow() {
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
}

void TTickerWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client{};
    GetClientRect(window, &client);
    // Drawn off-screen and copied in one go: the line scrolls without flicker.
    if (!image)
        image = std::make_unique<TDib>(TICKER_IMAGE_WIDTH, TICKER_IMAGE_HEIGHT);
    if (image->Valid()) {
        TGdiCanvas canvas(image->Dc(), fonts);
        bar.msg_paint(canvas);
        BitBlt(dc, 0, 0, std::min<int>(client.right, TICKER_IMAGE_WIDTH),
               std::min<int>(client.bottom, TICKER_IMAGE_HEIGHT), image->Dc(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK TTickerWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TTickerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    switch (message) {
    case WM_PAINT:
        self->Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    case WM_MOUSEMOVE:
        self->bar.msg_imgMouseMove(ShiftOf(wParam), x, y);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        const TMouseButton button = message == WM_LBUTTONDOWN   ? TMouseButton::mbLeft
                                    : message == WM_RBUTTONDOWN ? TMouseButton::mbRight
                                                                : TMouseButton::mbMiddle;
        self->bar.msg_imgMouseDown(button, ShiftOf(wParam), x, y);
        return 0;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursor(nullptr, self->bar.msg_img.Cursor() == TCursor::crHandPoint
                                              ? IDC_HAND
                                              : IDC_ARROW));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace navlet::win32
