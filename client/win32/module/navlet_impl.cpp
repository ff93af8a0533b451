#include "client/win32/module/navlet_impl.h"

#include <oleauto.h>

#include "client/win32/module/bar_form.h"
#include "client/win32/module/core_include.h"
#include "client/win32/module/module_entry.h"
#include "client/win32/module/navlet_ids.h"

namespace navlet::win32 {

namespace {

// The platform's "key is down": any of the bits 0xF0 of the key state's low byte.
bool KeyDown(int virtualKey) {
    return (GetKeyState(virtualKey) & 0xF0) != 0;
}

} // namespace

TNavletImpl::TNavletImpl()
    : host(*this), browserEvents(TComPtr<TBrowserEventSink>::Attach(new TBrowserEventSink)),
      navletEvents(
          TComPtr<TConnectionPoint>::Attach(new TConnectionPoint(*this, DIID_INavletEvents))),
      bar(std::make_unique<TBarForm>()),
      properties({[this] {
                      const TNavlet* form = bar->Form();
                      return form && form->Form.Visible();
                  },
                  [this](bool show) { return ShowDW(show ? TRUE : FALSE); },
                  [this] { return bar->Window(); }}) {
    host.onCloseWindow = [this] { bar->CloseWindow(); };
    browserEvents->onDocumentComplete = [this] {
        if (TNavlet* form = bar->Form())
            form->BrowserDocumentComplete();
    };
}

TNavletImpl::~TNavletImpl() {
    DetachSite();
    browserEvents->onDocumentComplete = nullptr;
    navletEvents->Disown();
    bar.reset();
}

const TInterfaceEntry* TNavletImpl::Interfaces() {
    return InterfaceTable<TNavletImpl>(TInterfaces{
        Answers<&IID_IDeskBand, IDeskBand>,
        Answers<&IID_IOleWindow, IOleWindow, IDeskBand>,
        Answers<&IID_IDockingWindow, IDockingWindow, IDeskBand>,
        Answers<&IID_IObjectWithSite, IObjectWithSite>,
        Answers<&IID_IInputObject, IInputObject>,
        Answers<&IID_IPersist, IPersist, IPersistStream>,
        Answers<&IID_IPersistStream, IPersistStream>,
        Answers<&IID_IProvideClassInfo, IProvideClassInfo, IProvideClassInfo2>,
        Answers<&IID_IProvideClassInfo2, IProvideClassInfo2>,
        Answers<&IID_IConnectionPointContainer, IConnectionPointContainer>,
        Answers<&IID_IDispatch, IDispatch>,
        Answers<&DIID_INavlet, IDispatch>,
    });
}

STDMETHODIMP TNavletImpl::GetWindow(HWND* out) {
    if (!out)
        return E_POINTER;
    *out = bar->Window();
    return S_OK;
}

STDMETHODIMP TNavletImpl::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP TNavletImpl::ShowDW(BOOL show) {
    return Guarded([&] {
        HRESULT hr = S_OK;
        if (TNavlet* form = bar->Form())
            hr = form->ShowDW(show != FALSE);
        bar->FollowFormVisibility(show != FALSE);
        return hr;
    });
}

STDMETHODIMP TNavletImpl::CloseDW(DWORD) {
    return Guarded([&] {
        TNavlet* form = bar->Form();
        if (!form) {
            host.SuppressFaultDialogs();
            bar->CloseWindow();
            return S_OK;
        }
        const HRESULT hr = form->CloseDW();
        // Closed even when the browser never sited the band.
        bar->CloseWindow();
        return hr;
    });
}

STDMETHODIMP TNavletImpl::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP TNavletImpl::GetBandInfo(DWORD, DWORD, DESKBANDINFO* info) {
    if (!info)
        return E_INVALIDARG;
    return Guarded([&] {
        TBandInfo band;
        band.mask = info->dwMask;
        const HRESULT hr = navlet::GetBandInfo(&band);
        if (band.mask & DBIM_MINSIZE)
            info->ptMinSize = {band.minSize.x, band.minSize.y};
        if (band.mask & DBIM_MAXSIZE)
            info->ptMaxSize = {band.maxSize.x, band.maxSize.y};
        if (band.mask & DBIM_INTEGRAL)
            info->ptIntegral = {band.integral.x, band.integral.y};
        if (band.mask & DBIM_ACTUAL)
            info->ptActual = {band.actual.x, band.actual.y};
        if (band.mask & DBIM_TITLE)
            info->wszTitle[0] = L'\0';
        if (band.mask & DBIM_MODEFLAGS)
            info->dwModeFlags = band.modeFlags;
        info->dwMask = band.mask;
        return hr;
    });
}

STDMETHODIMP TNavletImpl::SetSite(IUnknown* newSite) {
    return Guarded([&] {
        DetachSite();
        if (!newSite)
            return S_OK;
        const HRESULT hr = host.Attach(newSite, browserEvents.Get());
        if (FAILED(hr))
            return hr;
        bar->BuildLogoStrip(host.SiteWindow());
        bar->PlaceInto(host.SiteWindow());
        newSite->AddRef();
        site = TComPtr<IUnknown>::Attach(newSite);
        if (TNavlet* form = bar->Form())
            form->AttachHost(host);
        return S_OK;
    });
}

void TNavletImpl::DetachSite() {
    if (TNavlet* form = bar ? bar->Form() : nullptr)
        form->DetachHost();
    host.Detach();
    site.Reset();
}

STDMETHODIMP TNavletImpl::GetSite(REFIID riid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    IInputObjectSite* inputSite = host.InputSite();
    if (!inputSite)
        return E_FAIL;
    return inputSite->QueryInterface(riid, out);
}

STDMETHODIMP TNavletImpl::UIActivateIO(BOOL activate, MSG*) {
    return Guarded([&] {
        if (TNavlet* form = bar->Form())
            return HRESULT(form->UIActivateIO(activate != FALSE));
        if (!activate)
            host.FocusChanged(false);
        return S_OK;
    });
}

STDMETHODIMP TNavletImpl::HasFocusIO() {
    return Guarded([&] {
        TNavlet* form = bar->Form();
        return form ? HRESULT(form->HasFocusIO()) : S_FALSE;
    });
}

STDMETHODIMP TNavletImpl::TranslateAcceleratorIO(MSG* message) {
    if (!message)
        return E_INVALIDARG;
    return Guarded([&] {
        TNavlet* form = bar->Form();
        if (!form) {
            host.FocusChanged(false);
            return S_FALSE;
        }
        TKeyMessage key;
        key.message = message->message;
        key.virtualKey = uint32_t(message->wParam);
        key.altDown = KeyDown(VK_MENU);
        key.ctrlDown = KeyDown(VK_CONTROL);
        const TKeyAction action = form->TranslateAcceleratorIO(key);
        const HRESULT hr = KeyActionResult(action);
        if (action == TKeyAction::Dispatch) {
            TranslateMessage(message);
            DispatchMessageW(message);
        }
        if (hr == S_OK)
            message->wParam = 0;
        return hr;
    });
}

STDMETHODIMP TNavletImpl::GetClassID(CLSID* out) {
    if (!out)
        return E_POINTER;
    *out = CLSID_Navlet;
    return S_OK;
}

STDMETHODIMP TNavletImpl::IsDirty() {
    return S_FALSE;
}

STDMETHODIMP TNavletImpl::Load(IStream*) {
    return S_OK;
}

STDMETHODIMP TNavletImpl::Save(IStream*, BOOL) {
    return S_OK;
}

STDMETHODIMP TNavletImpl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size)
        return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP TNavletImpl::GetClassInfo(ITypeInfo** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
        const std::wstring path = ModulePathW();
        TComPtr<ITypeLib> typeLib;
        const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.Put());
        if (FAILED(hr))
            return hr;
        return typeLib->GetTypeInfoOfGuid(CLSID_Navlet, out);
    });
}

STDMETHODIMP TNavletImpl::GetGUID(DWORD kind, GUID* out) {
    if (!out)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *out = GUID_NULL;
        return E_INVALIDARG;
    }
    *out = DIID_INavletEvents;
    return S_OK;
}

STDMETHODIMP TNavletImpl::EnumConnectionPoints(IEnumConnectionPoints** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
        *out = new TConnectionPointsEnum({navletEvents.Get()});
        return S_OK;
    });
}

STDMETHODIMP TNavletImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, DIID_INavletEvents))
        return CONNECT_E_NOCONNECTION;
    navletEvents->AddRef();
    *out = navletEvents.Get();
    return S_OK;
}

STDMETHODIMP TNavletImpl::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP TNavletImpl::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    return Guarded([&] { return properties.GetTypeInfo(index, out); });
}

STDMETHODIMP TNavletImpl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    return Guarded([&] { return properties.GetIDsOfNames(names, count, ids); });
}

STDMETHODIMP TNavletImpl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT* argError) {
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    return Guarded([&] { return properties.Invoke(id, flags, params, result, argError); });
}

} // namespace navlet::win32
