#include "tests/win32/bandhost/browser_site.h"

#include <exdispid.h>
#include <shlguid.h>

namespace navlet::bandhost {

using win32::Answers;
using win32::InterfaceTable;
using win32::TInterfaces;

TScriptedBrowser::TScriptedBrowser(HWND topLevel)
    : window(topLevel), events(TComPtr<win32::TConnectionPoint>::Attach(
                            new win32::TConnectionPoint(*this, DIID_DWebBrowserEvents2))) {}

TScriptedBrowser::~TScriptedBrowser() {
    events->Disown();
}

const TInterfaceEntry* TScriptedBrowser::Interfaces() {
    return InterfaceTable<TScriptedBrowser>(TInterfaces{
        Answers<&IID_IWebBrowser2, IWebBrowser2>,
        Answers<&IID_IDispatch, IDispatch, IWebBrowser2>,
        Answers<&IID_IWebBrowser, IWebBrowser, IWebBrowser2>,
        Answers<&IID_IWebBrowserApp, IWebBrowserApp, IWebBrowser2>,
        Answers<&IID_IConnectionPointContainer, IConnectionPointContainer>,
    });
}

void TScriptedBrowser::Load(const std::wstring& url) {
    location = url;
    // DocumentComplete(pDisp, URL): dispatch arguments come last first.
    VARIANT urlArg, browserArg;
    VariantInit(&urlArg);
    VariantInit(&browserArg);
    BSTR text = SysAllocString(url.c_str());
    VARIANT urlValue;
    VariantInit(&urlValue);
    urlValue.vt = VT_BSTR;
    urlValue.bstrVal = text;
    urlArg.vt = VT_VARIANT | VT_BYREF;
    urlArg.pvarVal = &urlValue;
    browserArg.vt = VT_DISPATCH;
    browserArg.pdispVal = static_cast<IWebBrowser2*>(this);
    events->Fire(DISPID_DOCUMENTCOMPLETE, {urlArg, browserArg});
    SysFreeString(text);
}

STDMETHODIMP TScriptedBrowser::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP TScriptedBrowser::get_LocationURL(BSTR* url) {
    if (!url)
        return E_POINTER;
    ++locationReads;
    *url = SysAllocStringLen(location.data(), UINT(location.size()));
    return *url ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TScriptedBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT*, VARIANT*,
                                         VARIANT*) {
    if (!url || url->vt != VT_BSTR || !url->bstrVal)
        return E_INVALIDARG;
    std::wstring address(url->bstrVal, SysStringLen(url->bstrVal));
    if (flags && flags->vt == VT_I4 && (flags->lVal & navOpenInNewWindow))
        address += L" in a new window";
    navigations.push_back(std::move(address));
    return S_OK;
}

STDMETHODIMP TScriptedBrowser::get_HWND(SHANDLE_PTR* handle) {
    if (!handle)
        return E_POINTER;
    *handle = reinterpret_cast<SHANDLE_PTR>(window);
    return window ? S_OK : E_FAIL;
}

STDMETHODIMP TScriptedBrowser::EnumConnectionPoints(IEnumConnectionPoints** out) {
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TScriptedBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, DIID_DWebBrowserEvents2))
        return CONNECT_E_NOCONNECTION;
    events->AddRef();
    *out = events.Get();
    return S_OK;
}

TBandSite::TBandSite(HWND siteWindow, TScriptedBrowser& b) : window(siteWindow) {
    b.AddRef();
    browser = TComPtr<TScriptedBrowser>::Attach(&b);
}

const TInterfaceEntry* TBandSite::Interfaces() {
    return InterfaceTable<TBandSite>(TInterfaces{
        Answers<&IID_IOleWindow, IOleWindow>,
        Answers<&IID_IInputObjectSite, IInputObjectSite>,
        Answers<&IID_IServiceProvider, IServiceProvider>,
    });
}

STDMETHODIMP TBandSite::GetWindow(HWND* out) {
    if (!out)
        return E_POINTER;
    *out = window;
    return window ? S_OK : E_FAIL;
}

STDMETHODIMP TBandSite::OnFocusChangeIS(IUnknown*, BOOL hasFocus) {
    ++focusReports;
    bandHasFocus = hasFocus != FALSE;
    return S_OK;
}

STDMETHODIMP TBandSite::QueryService(REFGUID service, REFIID riid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(service, SID_SWebBrowserApp))
        return E_NOINTERFACE;
    return browser->QueryInterface(riid, out);
}

} // namespace navlet::bandhost
