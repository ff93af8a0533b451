// The banner's web browser: Shell.Explorer in a minimal in-place container.
// The container is one COM object (client site, in-place site and frame, and
// the sink of DWebBrowserEvents2) around a child window of the banner panel,
// which holds the control's window and takes its input on and off.
#include "client/win32/kit/win32_web_browser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ocidl.h>
#include <oleidl.h>

#include "client/win32/com/com_object.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* CONTAINER_CLASS = L"NavletBannerBrowser";
constexpr UINT WM_REPORT_FAILURE = WM_APP + 1;
// A navigation that neither completes nor fails in this time counts as
// failed, so that the bar shows its own banner rather than a blank panel.
constexpr UINT_PTR NAVIGATION_TIMER = 1;
constexpr UINT NAVIGATION_TIMEOUT_MS = 30000;
// After an error the control shows its error page; a control that has no
// engine to show it never completes, so the bar does not wait long.
constexpr UINT ERROR_PAGE_TIMEOUT_MS = 3000;

} // namespace

// The container object, made with the module's COM helpers. It lives as
// long as the control holds it; the owning TWin32WebBrowser detaches itself
// before it goes. No exception leaves any of its methods.
class TBrowserSite final : public TComObject<TBrowserSite, IOleClientSite, IOleInPlaceSite,
                                             IOleInPlaceFrame, IDispatch, IDocHostUIHandler> {
  public:
    explicit TBrowserSite(TWin32WebBrowser* browser, HWND window)
        : owner(browser), window(window) {}

    static const TInterfaceEntry* Interfaces() {
        return InterfaceTable<TBrowserSite>(TInterfaces{
            Answers<&IID_IOleClientSite, IOleClientSite>,
            Answers<&IID_IOleWindow, IOleWindow, IOleInPlaceSite>,
            Answers<&IID_IOleInPlaceSite, IOleInPlaceSite>,
            Answers<&IID_IOleInPlaceUIWindow, IOleInPlaceUIWindow, IOleInPlaceFrame>,
            Answers<&IID_IOleInPlaceFrame, IOleInPlaceFrame>,
            Answers<&IID_IDispatch, IDispatch>,
            Answers<&DIID_DWebBrowserEvents2, IDispatch>,
            Answers<&IID_IDocHostUIHandler, IDocHostUIHandler>,
        });
    }

    // Makes the control in the container window; false when the platform has
    // no browser control to give.
    bool CreateControl(const RECT& bounds);
    bool Navigate(const std::string& address);
    void Resize(const RECT& bounds);
    void Destroy();
    void Detach() { owner = nullptr; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (of the in-place site and of the frame)
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out)
            return E_POINTER;
        *out = window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (document)
            *document = nullptr;
        RECT client{};
        GetClientRect(window, &client);
        if (position)
            *position = client;
        if (clip)
            *clip = client;
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = window;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override {
        if (inPlace && position)
            inPlace->SetObjectRects(position, position);
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no menus, no tool space.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    // (also IDocHostUIHandler's)
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler: a banner page shows no menu of the browser engine
    // on a right click (the bar's rule: its own menu or nothing), and the
    // engine's other defaults stay.
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) override { return E_NOTIMPL; }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* out, DWORD) override { return NoAnswer(out); }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** out) override { return NoAnswer(out); }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override { return NoAnswer(out); }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        return NoAnswer(out);
    }

    // IDispatch: the browser's events.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

  private:
    ~TBrowserSite() override = default;
    template <class T> static HRESULT NoAnswer(T** out) {
        if (out)
            *out = nullptr;
        return S_FALSE;
    }
    // Whether the event's frame (its first argument, last in the array) is
    // the top-level browser: frames of the page report too.
    bool FromTopLevel(const DISPPARAMS* params) const;

    TWin32WebBrowser* owner;
    HWND window;
    IOleObject* object = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    IWebBrowser2* browser = nullptr;
    IConnectionPoint* events = nullptr;
    DWORD cookie = 0;
};

bool TBrowserSite::CreateControl(const RECT& bounds) {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object))) ||
        !object)
        return false;
    if (FAILED(object->SetClientSite(static_cast<IOleClientSite*>(this)))) {
        Destroy();
        return false;
    }
    RECT area = bounds;
    if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this),
                              0, window, &area)) ||
        FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser))) ||
        !browser) {
        Destroy();
        return false;
    }
    object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
    // No script error boxes or other dialogs from a banner page.
    browser->put_Silent(VARIANT_TRUE);
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&points))) &&
        points) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events)) && events &&
            FAILED(events->Advise(static_cast<IDispatch*>(this), &cookie))) {
            events->Release();
            events = nullptr;
        }
        points->Release();
    }
    if (!events) {
        // Without its events the bar would never learn the banner's fate.
        Destroy();
        return false;
    }
    Resize(bounds);
    return true;
}

bool TBrowserSite::Navigate(const std::string& address) {
    if (!browser)
        return false;
    BSTR url = SysAllocString(WideFromAnsi(address).c_str());
    VARIANT empty;
    VariantInit(&empty);
    const HRESULT result = browser->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
    return SUCCEEDED(result);
}

void TBrowserSite::Resize(const RECT& bounds) {
    if (!inPlace)
        return;
    const RECT area{0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
    inPlace->SetObjectRects(&area, &area);
}

void TBrowserSite::Destroy() {
    if (events) {
        events->Unadvise(cookie);
        events->Release();
        events = nullptr;
    }
    if (browser) {
        browser->Stop();
        browser->Release();
        browser = nullptr;
    }
    if (inPlace) {
        inPlace->InPlaceDeactivate();
        inPlace->Release();
        inPlace = nullptr;
    }
    if (object) {
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
        object->Release();
        object = nullptr;
    }
}

bool TBrowserSite::FromTopLevel(const DISPPARAMS* params) const {
    if (!params || params->cArgs == 0 || !browser)
        return false;
    const VARIANT& frame = params->rgvarg[params->cArgs - 1];
    if (frame.vt != VT_DISPATCH || !frame.pdispVal)
        return false;
    IUnknown* eventFrame = nullptr;
    IUnknown* topLevel = nullptr;
    frame.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&eventFrame));
    browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&topLevel));
    const bool same = eventFrame && eventFrame == topLevel;
    if (eventFrame)
        eventFrame->Release();
    if (topLevel)
        topLevel->Release();
    return same;
}

STDMETHODIMP TBrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                  EXCEPINFO*, UINT*) {
    // The bar's handlers run inside the control's event: nothing they throw
    // may reach it.
    return Guarded([&] {
        if (!owner)
            return S_OK;
        if (id == DISPID_NAVIGATEERROR && FromTopLevel(params)) {
            owner->NavigateError();
            return S_OK;
        }
        if (id == DISPID_DOCUMENTCOMPLETE && FromTopLevel(params))
            owner->DocumentComplete();
        return S_OK;
    });
}

namespace {

LRESULT CALLBACK ContainerProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* browser = reinterpret_cast<TWin32WebBrowser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (browser &&
        (message == WM_REPORT_FAILURE || (message == WM_TIMER && wParam == NAVIGATION_TIMER))) {
        browser->GiveUp();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

TWin32WebBrowser::TWin32WebBrowser() {
    const HRESULT ole = OleInitialize(nullptr);
    oleStarted = SUCCEEDED(ole); // S_FALSE too: the count went up
}

TWin32WebBrowser::~TWin32WebBrowser() {
    OnDocumentComplete = nullptr;
    OnNavigateError = nullptr;
    if (site) {
        site->Detach();
        site->Destroy();
        site->Release();
        site = nullptr;
    }
    if (container) {
        SetWindowLongPtrW(container, GWLP_USERDATA, 0);
        DestroyWindow(container);
    }
    if (oleStarted)
        OleUninitialize();
}

bool TWin32WebBrowser::MakeContainer() {
    if (container)
        return true;
    const HINSTANCE instance = ThisModule();
    RegisterWindowClass(CONTAINER_CLASS, &ContainerProcedure, LoadCursor(nullptr, IDC_ARROW));
    const bool placed = parent && IsWindow(parent);
    container = CreateWindowExW(0, CONTAINER_CLASS, L"",
                                placed ? WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN : 0, bounds.left,
                                bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                                placed ? parent : HWND_MESSAGE, nullptr, instance, nullptr);
    if (!container)
        return false;
    SetWindowLongPtrW(container, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    EnableWindow(container, inputEnabled);
    return true;
}

void TWin32WebBrowser::Place(HWND newParent, const RECT& newBounds) {
    parent = newParent;
    bounds = newBounds;
    if (!container)
        return;
    if (!parent) {
        // The panel is going: the control waits hidden, out of its reach, so
        // that the panel's end does not take the control's windows with it.
        ShowWindow(container, SW_HIDE);
        SetParent(container, HWND_MESSAGE);
        return;
    }
    if (GetParent(container) != parent) {
        SetParent(container, parent);
        SetWindowLongPtrW(container, GWL_STYLE, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN);
    }
    MoveWindow(container, bounds.left, bounds.top, bounds.right - bounds.left,
               bounds.bottom - bounds.top, TRUE);
    if (site)
        site->Resize(bounds);
}

void TWin32WebBrowser::Navigate(const std::string& address) {
    navigating = true;
    errorReported = false;
    if (!MakeContainer()) {
        // No window to report from later: the bar hears of it now.
        GiveUp();
        return;
    }
    // The control is made inside the bar's panel, once; where it cannot be
    // made, every navigation fails and the default banner shows.
    if (!site && !creationFailed && parent) {
        site = new TBrowserSite(this, container);
        if (!site->CreateControl(bounds)) {
            site->Detach();
            site->Release();
            site = nullptr;
            creationFailed = true;
        }
    }
    if (!site || !site->Navigate(address)) {
        PostMessageW(container, WM_REPORT_FAILURE, 0, 0);
        return;
    }
    SetTimer(container, NAVIGATION_TIMER, NAVIGATION_TIMEOUT_MS, nullptr);
}

void TWin32WebBrowser::SetInputEnabled(bool enabled) {
    inputEnabled = enabled;
    if (container)
        EnableWindow(container, enabled);
}

bool TWin32WebBrowser::HasControl() const {
    return site != nullptr;
}

void TWin32WebBrowser::DocumentComplete() {
    if (!navigating)
        return; // one completion per navigation
    navigating = false;
    if (container)
        KillTimer(container, NAVIGATION_TIMER);
    if (OnDocumentComplete)
        OnDocumentComplete();
}

void TWin32WebBrowser::NavigateError() {
    if (!navigating || errorReported)
        return;
    errorReported = true;
    if (container)
        SetTimer(container, NAVIGATION_TIMER, ERROR_PAGE_TIMEOUT_MS, nullptr);
    if (OnNavigateError)
        OnNavigateError();
}

void TWin32WebBrowser::GiveUp() {
    if (container)
        KillTimer(container, NAVIGATION_TIMER);
    // The error first, then the completed (error) page, as the control
    // reports them.
    NavigateError();
    DocumentComplete();
}

} // namespace navlet::win32
