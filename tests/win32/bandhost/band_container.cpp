#include "tests/win32/bandhost/band_container.h"

#include <comcat.h>
#include <shlguid.h>

#include <algorithm>
#include <cstdio>

namespace navlet::bandhost {

namespace {

constexpr wchar_t FRAME_CLASS[] = L"NavletBandHostFrame";
constexpr wchar_t BAR_AREA_CLASS[] = L"NavletBandHostBarArea";
constexpr wchar_t SITE_CLASS[] = L"NavletBandHostSite";
constexpr wchar_t CHROME_CLASS[] = L"NavletBandHostChrome";
constexpr int CHROME_WIDTH = 8;

void RegisterClasses(WNDPROC frameProc, WNDPROC barAreaProc) {
    static bool done = false;
    if (done)
        return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpfnWndProc = frameProc;
    wc.lpszClassName = FRAME_CLASS;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = barAreaProc;
    wc.lpszClassName = BAR_AREA_CLASS;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = SITE_CLASS;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassExW(&wc);
    wc.lpszClassName = CHROME_CLASS;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1);
    RegisterClassExW(&wc);
    done = true;
}

constexpr wchar_t USER_CLSID_KEY[] = L"Software\\Classes\\CLSID";
constexpr wchar_t COMM_BAND_KEY[] =
    L"\\Implemented Categories\\{00021494-0000-0000-C000-000000000046}";

std::wstring ClsidString(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return text;
}

// The default value of a per-user class's InprocServer32; empty when none.
std::wstring UserInprocServer(const CLSID& clsid) {
    const std::wstring key =
        std::wstring(USER_CLSID_KEY) + L"\\" + ClsidString(clsid) + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS)
        return {};
    return path;
}

void AddUserCommBands(std::vector<CLSID>& found) {
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, USER_CLSID_KEY, 0, KEY_READ, &classes) != ERROR_SUCCESS)
        return;
    wchar_t name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = 64;
        if (RegEnumKeyExW(classes, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY category = nullptr;
        CLSID clsid;
        if (RegOpenKeyExW(classes, (std::wstring(name) + COMM_BAND_KEY).c_str(), 0, KEY_READ,
                          &category) != ERROR_SUCCESS)
            continue;
        RegCloseKey(category);
        if (SUCCEEDED(CLSIDFromString(name, &clsid)))
            found.push_back(clsid);
    }
    RegCloseKey(classes);
}

} // namespace

HRESULT CreateBand(const CLSID& clsid, IUnknown** out, const char** how) {
    *out = nullptr;
    const std::wstring module = UserInprocServer(clsid);
    if (module.empty()) {
        *how = "classes root";
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(out));
    }
    *how = "per-user classes";
    // Kept loaded for the process's life, as COM keeps a module in use.
    HMODULE loaded = LoadLibraryW(module.c_str());
    if (!loaded)
        return HRESULT_FROM_WIN32(GetLastError());
    using TGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<TGetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(loaded, "DllGetClassObject")));
    if (!get)
        return CO_E_ERRORINDLL;
    TComPtr<IClassFactory> factory;
    const HRESULT hr = get(clsid, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(out));
}

std::vector<CLSID> FindCommBands() {
    std::vector<CLSID> found;
    AddUserCommBands(found);
    TComPtr<ICatInformation> categories;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatInformation, categories.PutVoid())))
        return found;
    CATID band = CATID_CommBand;
    TComPtr<IEnumCLSID> classes;
    if (FAILED(categories->EnumClassesOfCategories(1, &band, 0, nullptr, classes.Put())) ||
        !classes)
        return found;
    CLSID clsid;
    ULONG got = 0;
    while (classes->Next(1, &clsid, &got) == S_OK && got == 1)
        if (std::find(found.begin(), found.end(), clsid) == found.end())
            found.push_back(clsid);
    return found;
}

TBandContainer* TBandContainer::living = nullptr;

TBandContainer::TBandContainer() {
    living = this;
    RegisterClasses(&TBandContainer::FrameProc, &TBandContainer::BarAreaProc);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    frame = CreateWindowExW(0, FRAME_CLASS, L"navlet-bandhost", WS_OVERLAPPEDWINDOW, 0, 0, 900, 500,
                            nullptr, nullptr, instance, this);
    barArea = CreateWindowExW(0, BAR_AREA_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                              0, 0, frame, nullptr, instance, this);
    siteWindow = CreateWindowExW(0, SITE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                 0, 0, barArea, nullptr, instance, nullptr);
    chrome = CreateWindowExW(0, CHROME_CLASS, L"", WS_CHILD | WS_VISIBLE, 0, 0, CHROME_WIDTH, 0,
                             siteWindow, nullptr, instance, nullptr);
    browser = TComPtr<TScriptedBrowser>::Attach(new TScriptedBrowser(frame));
    site = TComPtr<TBandSite>::Attach(new TBandSite(siteWindow, *browser));
    ShowWindow(frame, SW_SHOWNA);
}

TBandContainer::~TBandContainer() {
    if (living == this)
        living = nullptr;
    Close();
    site->ForgetWindow();
    browser->ForgetWindow();
    if (frame)
        DestroyWindow(frame);
}

HRESULT TBandContainer::Host(IUnknown* object) {
    if (!object || FAILED(object->QueryInterface(IID_IDeskBand, band.PutVoid())))
        return E_NOINTERFACE;
    TComPtr<IObjectWithSite> withSite;
    if (FAILED(band->QueryInterface(IID_IObjectWithSite, withSite.PutVoid())))
        return E_NOINTERFACE;
    const HRESULT hr = withSite->SetSite(static_cast<IOleWindow*>(site.Get()));
    if (FAILED(hr))
        return hr;
    info = {};
    info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                  DBIM_MODEFLAGS | DBIM_BKCOLOR;
    infoResult = band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &info);
    bandHeight = SUCCEEDED(infoResult) ? int(info.ptActual.y) : 0;
    Layout();
    return hr;
}

HRESULT TBandContainer::Show(bool show) {
    if (!band)
        return E_UNEXPECTED;
    const HRESULT hr = band->ShowDW(show ? TRUE : FALSE);
    Layout();
    return hr;
}

HRESULT TBandContainer::Close() {
    if (!band)
        return S_FALSE;
    const HRESULT hr = band->CloseDW(0);
    TComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(band->QueryInterface(IID_IObjectWithSite, withSite.PutVoid())))
        withSite->SetSite(nullptr);
    band.Reset();
    return hr;
}

HWND TBandContainer::BandWindow() const {
    HWND window = nullptr;
    if (band)
        band->GetWindow(&window);
    return window;
}

bool TBandContainer::OfferKey(MSG& message) {
    if (!band || message.message < WM_KEYFIRST || message.message > WM_KEYLAST)
        return false;
    TComPtr<IInputObject> input;
    if (FAILED(band->QueryInterface(IID_IInputObject, input.PutVoid())))
        return false;
    HWND focus = GetFocus();
    const HWND bandWindow = BandWindow();
    if (!site->BandHasFocus() && !(bandWindow && focus && IsChild(bandWindow, focus)))
        return false;
    return input->TranslateAcceleratorIO(&message) == S_OK;
}

HRESULT TBandContainer::TranslateKey(MSG& message) {
    TComPtr<IInputObject> input;
    if (!band || FAILED(band->QueryInterface(IID_IInputObject, input.PutVoid())))
        return E_NOINTERFACE;
    return input->TranslateAcceleratorIO(&message);
}

void TBandContainer::Route(MSG& message) {
    // The band translated and dispatched what it took itself.
    if (living && living->OfferKey(message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void TBandContainer::Pump(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            Route(msg);
        const auto left = LONG(end - GetTickCount());
        if (left <= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(left), QS_ALLINPUT);
    }
}

void TBandContainer::Layout() {
    if (!frame || laying)
        return;
    laying = true; // moving the bar area reports back here
    RECT client;
    GetClientRect(frame, &client);
    const int width = client.right - client.left;
    const int height = bandHeight > client.bottom ? int(client.bottom) : bandHeight;
    SetWindowPos(barArea, nullptr, 0, client.bottom - height, width, height, SWP_NOZORDER);
    SetWindowPos(siteWindow, nullptr, 0, 0, width, height, SWP_NOZORDER);
    // The band takes the width right of the chrome, as wide as the band made it.
    int left = 0;
    if (HWND grip = Chrome()) {
        RECT r;
        GetWindowRect(grip, &r);
        MapWindowPoints(nullptr, siteWindow, reinterpret_cast<POINT*>(&r), 2);
        if (r.bottom - r.top < height)
            SetWindowPos(grip, nullptr, 0, 0, r.right - r.left, height,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        left = r.right > 0 ? int(r.right) : 0;
    }
    if (HWND bandWindow = BandWindow())
        SetWindowPos(bandWindow, nullptr, left, 0, width - left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    laying = false;
}

LRESULT CALLBACK TBandContainer::FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TBandContainer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_SIZE && self)
        self->Layout();
    if (message == WM_NCDESTROY && self)
        self->frame = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TBandContainer::BarAreaProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TBandContainer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_WINDOWPOSCHANGED && self && !self->laying) {
        // The band moved its site's parent: its height is the band's new height.
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOSIZE)) {
            self->bandHeight = pos->cy;
            self->Layout();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool TBandContainer::Screenshot(const std::wstring& path) const {
    if (!frame)
        return false;
    RECT client;
    GetClientRect(frame, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0)
        return false;
    HDC windowDc = GetDC(frame);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memoryDc, bitmap);
        BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
        const DWORD stride = (DWORD(width) * 3 + 3) & ~3u;
        const DWORD size = stride * DWORD(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(bmi.bmiHeader);
        file.bfSize = file.bfOffBits + size;
        bmi.bmiHeader.biSizeImage = size;
        if (FILE* f = _wfopen(path.c_str(), L"wb")) {
            ok = fwrite(&file, sizeof(file), 1, f) == 1 &&
                 fwrite(&bmi.bmiHeader, sizeof(bmi.bmiHeader), 1, f) == 1 &&
                 fwrite(bits, size, 1, f) == 1;
            ok = fclose(f) == 0 && ok;
        }
        SelectObject(memoryDc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memoryDc);
    ReleaseDC(frame, windowDc);
    return ok;
}

} // namespace navlet::bandhost
