// The browser as the bar reaches it through the band's site: the
// IWebBrowser2 from the site's service provider, its DWebBrowserEvents2, the
// input site for focus changes and the site's window. Implements the core's
// THostControl over them.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <ocidl.h>
#include <shobjidl.h>

#include <functional>
#include <string>

#include "client/kit/host_control.h"
#include "client/win32/com/com_object.h"

namespace navlet::win32 {

// The event sink advised on the browser: DocumentComplete (259) calls
// `onDocumentComplete`; every event, 259 included, is then answered as the
// standard dispatch does. The owner clears the callback before it goes.
class TBrowserEventSink : public TComObject<TBrowserEventSink, IDispatch> {
  public:
    static const TInterfaceEntry* Interfaces();
    std::function<void()> onDocumentComplete;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override;
};

class TSiteHost : public THostControl {
  public:
    // `band` is the control object as the input site knows it.
    explicit TSiteHost(IInputObject& band);
    ~TSiteHost() override;
    TSiteHost(const TSiteHost&) = delete;
    TSiteHost& operator=(const TSiteHost&) = delete;

    // Reaches the browser through `site` and advises `sink` on its events.
    // E_FAIL without a service provider, a browser or a site window; the
    // state reached so far is kept (as a browser that sites twice expects).
    HRESULT Attach(IUnknown* site, IDispatch* sink);
    // Unadvises the sink and lets go of everything the site gave.
    void Detach();

    HWND SiteWindow() const { return siteWindow; }
    HWND BrowserWindow() const { return browserWindow; }
    IInputObjectSite* InputSite() const { return inputSite.Get(); }

    // THostControl
    std::string LocationURL() override;
    void OpenNewWindow(const std::string& address) override;
    void FlashBrowserWindow() override;
    void ResizeBandSite(int32_t height) override;
    void FocusChanged(bool hasFocus) override;
    void SuppressFaultDialogs() override;
    void CloseInPlaceWindow() override;

    // Called by CloseInPlaceWindow; the control object closes its window.
    std::function<void()> onCloseWindow;

  private:
    TComPtr<IConnectionPoint> BrowserEventsPoint() const;

    IInputObject& band;
    TComPtr<IWebBrowser2> browser;
    TComPtr<IInputObjectSite> inputSite;
    HWND siteWindow = nullptr;
    HWND browserWindow = nullptr;
    DWORD eventCookie = 0;
};

} // namespace navlet::win32
