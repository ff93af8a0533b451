#include "client/win32/module/site_host.h"

#include <exdispid.h>
#include <servprov.h>
#include <shlguid.h>

namespace navlet::win32 {

namespace {

std::string Narrow(const wchar_t* text, UINT length) {
    if (!text || length == 0)
        return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? size_t(n) : 0, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

// A missing optional argument of an automation call.
VARIANT MissingArgument() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

} // namespace

const TInterfaceEntry* TBrowserEventSink::Interfaces() {
    return InterfaceTable<TBrowserEventSink>(TInterfaces{
        Answers<&IID_IDispatch, IDispatch>,
        Answers<&DIID_DWebBrowserEvents2, IDispatch>,
    });
}

STDMETHODIMP TBrowserEventSink::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP TBrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TBrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP TBrowserEventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                       EXCEPINFO*, UINT*) {
    return Guarded([&] {
        if (dispid == DISPID_DOCUMENTCOMPLETE && onDocumentComplete)
            onDocumentComplete();
        return S_OK;
    });
}

TSiteHost::TSiteHost(IInputObject& b) : band(b) {}

TSiteHost::~TSiteHost() {
    Detach();
}

HRESULT TSiteHost::Attach(IUnknown* site, IDispatch* sink) {
    TComPtr<IServiceProvider> provider;
    if (!site || FAILED(site->QueryInterface(IID_IServiceProvider, provider.PutVoid())))
        return E_FAIL;
    if (FAILED(provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.PutVoid())) ||
        !browser)
        return E_FAIL;
    SHANDLE_PTR handle = 0;
    if (SUCCEEDED(browser->get_HWND(&handle)))
        browserWindow = reinterpret_cast<HWND>(handle);
    TComPtr<IOleWindow> window;
    if (FAILED(site->QueryInterface(IID_IOleWindow, window.PutVoid())))
        return E_FAIL;
    window->GetWindow(&siteWindow);
    // Without the events the bar still works, it only learns of no page.
    if (TComPtr<IConnectionPoint> point = BrowserEventsPoint(); point && sink)
        point->Advise(sink, &eventCookie);
    site->QueryInterface(IID_IInputObjectSite, inputSite.PutVoid());
    return S_OK;
}

void TSiteHost::Detach() {
    if (browser && eventCookie) {
        if (TComPtr<IConnectionPoint> point = BrowserEventsPoint())
            point->Unadvise(eventCookie);
    }
    eventCookie = 0;
    browser.Reset();
    inputSite.Reset();
    siteWindow = nullptr;
    browserWindow = nullptr;
}

TComPtr<IConnectionPoint> TSiteHost::BrowserEventsPoint() const {
    TComPtr<IConnectionPointContainer> container;
    TComPtr<IConnectionPoint> point;
    if (browser &&
        SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer, container.PutVoid())))
        container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put());
    return point;
}

std::string TSiteHost::LocationURL() {
    if (!browser)
        return {};
    BSTR url = nullptr;
    if (FAILED(browser->get_LocationURL(&url)) || !url)
        return {};
    std::string out = Narrow(url, SysStringLen(url));
    SysFreeString(url);
    return out;
}

void TSiteHost::OpenNewWindow(const std::string& address) {
    if (!browser)
        return;
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    const std::wstring wide = Widen(address);
    url.bstrVal = SysAllocStringLen(wide.data(), UINT(wide.size()));
    if (!url.bstrVal)
        return;
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = navOpenInNewWindow;
    VARIANT target = MissingArgument(), post = MissingArgument(), headers = MissingArgument();
    browser->Navigate2(&url, &flags, &target, &post, &headers);
    VariantClear(&url);
}

void TSiteHost::FlashBrowserWindow() {
    if (browserWindow)
        FlashWindow(browserWindow, TRUE);
}

void TSiteHost::ResizeBandSite(int32_t height) {
    // The band site's parent lays the band out across its width afterwards.
    if (HWND parent = siteWindow ? GetParent(siteWindow) : nullptr)
        SetWindowPos(parent, HWND_TOP, 0, 0, 0, height, 0);
}

void TSiteHost::FocusChanged(bool hasFocus) {
    if (inputSite)
        inputSite->OnFocusChangeIS(&band, hasFocus ? TRUE : FALSE);
}

void TSiteHost::SuppressFaultDialogs() {
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
}

void TSiteHost::CloseInPlaceWindow() {
    if (onCloseWindow)
        onCloseWindow();
}

} // namespace navlet::win32
