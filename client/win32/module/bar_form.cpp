#include "client/win32/module/bar_form.h"

#include "client/core/host.h"
#include "client/core/navlet.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/win32_kit.h"
#include "client/win32/module/logo_strip.h"
#include "client/win32/module/module_entry.h"
#include "client/win32/module/module_kit.h"

namespace navlet {
// The bar form class's global form pointer: the form last made in this module,
// null once it is gone. The module exports it as "Navlet", beside AboutForm
// and ConsoleForm.
TNavlet* Navlet = nullptr;
} // namespace navlet

namespace navlet::win32 {

namespace {

constexpr wchar_t BAND_WINDOW_CLASS[] = L"NavletBandWindow";

ATOM BandWindowClass(WNDPROC proc) {
    static const ATOM atom = [proc] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = moduleInstance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = BAND_WINDOW_CLASS;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

} // namespace

TBarForm::TBarForm() : bar(std::make_unique<TKitForm>()) {
    Navlet = &bar->Form();
    if (BandWindowClass(&TBarForm::WindowProc))
        window = CreateWindowExW(0, BAND_WINDOW_CLASS, L"Navlet", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                                 BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT, nullptr, nullptr,
                                 moduleInstance, nullptr);
    if (!window)
        return;
    try {
        view = std::make_unique<TBarWindow>(bar->Form(), bar->Kit(), window);
    } catch (...) {
        CloseWindow(); // no destructor runs for a half-made object
        throw;
    }
}

TBarForm::~TBarForm() {
    if (bar && Navlet == &bar->Form())
        Navlet = nullptr;
    CloseWindow();
    bar.reset();
}

HWND TBarForm::BarWindow() const {
    return view ? view->Handle() : nullptr;
}

TNavlet* TBarForm::Form() const {
    return bar ? &bar->Form() : nullptr;
}

void TBarForm::BuildLogoStrip(HWND siteWindow) {
    logoStrip.reset();
    if (!bar || !view)
        return;
    logoStrip = TLogoStrip::Build(siteWindow, window, view->Control("navlet_left_img"), bar->Form(),
                                  bar->Kit().menus);
}

void TBarForm::PlaceInto(HWND siteWindow) {
    if (!window || !siteWindow)
        return;
    // Made as a pop-up, the form becomes a child of the browser's band site.
    const auto style = uint32_t(GetWindowLongPtrW(window, GWL_STYLE));
    SetWindowLongPtrW(window, GWL_STYLE, LONG_PTR((style | WS_CHILD) & ~uint32_t(WS_POPUP)));
    SetParent(window, siteWindow);
}

void TBarForm::FollowFormVisibility(bool fallback) {
    if (!window)
        return;
    const TNavlet* form = Form();
    const bool visible = form ? form->Form.Visible() : fallback;
    ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
}

void TBarForm::CloseWindow() {
    logoStrip.reset();
    view.reset();
    if (!window)
        return;
    DestroyWindow(window);
    window = nullptr;
}

LRESULT CALLBACK TBarForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        // The bar's own window fills the band.
        if (HWND child = GetWindow(hwnd, GW_CHILD))
            MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace navlet::win32
