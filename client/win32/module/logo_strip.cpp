#include "client/win32/module/logo_strip.h"

#include "client/art/pictures.h"
#include "client/core/host.h"
#include "client/core/navlet.h"
#include "client/win32/kit/picture_bitmap.h"
#include "client/win32/kit/win32_kit.h"
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr wchar_t PANEL_CLASS[] = L"NavletLogoStripPanel";
constexpr wchar_t LOGO_CLASS[] = L"NavletLogoStrip";
// The strip's ground, where its picture does not reach.
constexpr COLORREF STRIP_GROUND = RGB(0x2A, 0x62, 0xAC);

struct TFirstChild {
    HWND site;
    HWND band;
    HWND found = nullptr;
};

// Stops at the topmost child window of the site; the band's own window (a
// child already when the browser sites the bar again) and everything inside
// it are passed over.
BOOL CALLBACK TakeFirstChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TFirstChild*>(param);
    if (GetParent(window) != search->site || window == search->band)
        return TRUE;
    search->found = window;
    return FALSE;
}

TLogoStrip* StripOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    return reinterpret_cast<TLogoStrip*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace

std::unique_ptr<TLogoStrip> TLogoStrip::Build(HWND siteWindow, HWND bandWindow, HWND barLogo,
                                              TNavlet& form, TWin32MenuTracker& menus) {
    if (!siteWindow)
        return nullptr;
    TFirstChild search{siteWindow, bandWindow};
    EnumChildWindows(siteWindow, TakeFirstChild, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return nullptr;
    SetWindowPos(search.found, HWND_BOTTOM, 0, 0, LOGO_STRIP_WIDTH, LOGO_STRIP_HEIGHT,
                 SWP_NOACTIVATE);
    std::unique_ptr<TLogoStrip> strip(new TLogoStrip(barLogo, form, menus));
    if (!strip->Make(search.found))
        return nullptr;
    return strip;
}

TLogoStrip::TLogoStrip(HWND bar, TNavlet& f, TWin32MenuTracker& m)
    : barLogo(bar), form(f), menus(m) {}

bool TLogoStrip::Make(HWND holder) {
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    RegisterWindowClass(PANEL_CLASS, &TLogoStrip::PanelProc, arrow,
                        reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RegisterWindowClass(LOGO_CLASS, &TLogoStrip::LogoProc, arrow); // the picture covers it all
    // No outer bevel: a plain child window the size of the strip.
    panel = CreateWindowExW(0, PANEL_CLASS, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, LOGO_STRIP_WIDTH,
                            LOGO_STRIP_HEIGHT, holder, nullptr, ThisModule(), this);
    if (!panel)
        return false;
    logo = CreateWindowExW(0, LOGO_CLASS, L"", WS_CHILD | WS_VISIBLE, 0, 0, LOGO_STRIP_WIDTH,
                           LOGO_STRIP_HEIGHT, panel, nullptr, ThisModule(), this);
    if (!logo)
        return false;
    picture = OpaqueBitmap(art::logoStrip, 0, 0, art::logoStrip.width, art::logoStrip.height,
                           STRIP_GROUND);
    // The options menu opens at the mouse over the logo where it now is.
    menus.Register(&form.navlet_left_img, logo);
    if (barLogo)
        ShowWindow(barLogo, SW_HIDE);
    ShowWindow(panel, SW_SHOWNA);
    return true;
}

TLogoStrip::~TLogoStrip() {
    if (panel)
        DestroyWindow(panel); // the logo goes with it
    menus.Unregister(&form.navlet_left_img);
    if (barLogo && IsWindow(barLogo)) {
        menus.Register(&form.navlet_left_img, barLogo);
        ShowWindow(barLogo, SW_SHOWNA);
    }
    if (picture)
        DeleteObject(picture);
}

void TLogoStrip::Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH ground = CreateSolidBrush(STRIP_GROUND);
    FillRect(dc, &client, ground);
    DeleteObject(ground);
    if (picture) {
        HDC source = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(source, picture);
        BitBlt(dc, 0, 0, art::logoStrip.width, art::logoStrip.height, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    EndPaint(window, &ps);
}

void TLogoStrip::MouseUp(UINT message, LPARAM at) {
    const int32_t x = short(LOWORD(at)), y = short(HIWORD(at));
    using TSender = TNavlet::TNavletSender;
    // The form's handlers run a modal menu; nothing they throw may reach the
    // browser's message loop.
    try {
        if (message == WM_LBUTTONUP)
            form.sbNavletClick(TSender::Logo, x, y);
        else
            form.sbNavletMouseUp(TSender::Logo,
                                 message == WM_RBUTTONUP ? TMouseButton::mbRight
                                                         : TMouseButton::mbMiddle,
                                 /*shift=*/0, x, y);
    } catch (...) {
    }
}

LRESULT CALLBACK TLogoStrip::PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TLogoStrip* self = StripOf(hwnd, message, lParam);
    switch (message) {
    case WM_CONTEXTMENU:
        return 0; // the panel's popup menu is empty
    case WM_NCDESTROY:
        if (self)
            self->panel = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TLogoStrip::LogoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TLogoStrip* self = StripOf(hwnd, message, lParam);
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        self->Paint(hwnd);
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: // handled here, so no context menu follows the options menu
    case WM_MBUTTONUP:
        self->MouseUp(message, lParam);
        return 0;
    case WM_NCDESTROY:
        self->logo = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace navlet::win32
