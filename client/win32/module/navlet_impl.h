// TNavletImpl: the bar control as the browser sees it. It owns one bar form
// and the band's window, answers the band interfaces by handing each call to
// the form's band operations (the decisions are the core's), and reaches the
// browser through TSiteHost. No exception leaves any of its methods.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <shobjidl.h>

#include <memory>

#include "client/win32/com/com_object.h"
#include "client/win32/com/connection_point.h"
#include "client/win32/module/navlet_properties.h"
#include "client/win32/module/site_host.h"

namespace navlet {
class TNavlet;
}

namespace navlet::win32 {

class TBarForm;

class TNavletImpl
    : public TComObject<TNavletImpl, IDeskBand, IObjectWithSite, IInputObject, IPersistStream,
                        IProvideClassInfo2, IConnectionPointContainer, IDispatch> {
  public:
    TNavletImpl();
    static const TInterfaceEntry* Interfaces();

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override;
    // IDockingWindow
    STDMETHODIMP ShowDW(BOOL show) override;
    STDMETHODIMP CloseDW(DWORD reserved) override;
    STDMETHODIMP ResizeBorderDW(LPCRECT, IUnknown*, BOOL) override;
    // IDeskBand
    STDMETHODIMP GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) override;
    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID riid, void** out) override;
    // IInputObject
    STDMETHODIMP UIActivateIO(BOOL activate, MSG* message) override;
    STDMETHODIMP HasFocusIO() override;
    STDMETHODIMP TranslateAcceleratorIO(MSG* message) override;
    // IPersistStream: the band keeps no state of its own in the browser's stream.
    STDMETHODIMP GetClassID(CLSID* out) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream*) override;
    STDMETHODIMP Save(IStream*, BOOL) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    // IProvideClassInfo2, from the module's type library
    STDMETHODIMP GetClassInfo(ITypeInfo** out) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* out) override;
    // IConnectionPointContainer: the INavletEvents point
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;
    // IDispatch: INavlet's properties
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO*, UINT* argError) override;

  private:
    ~TNavletImpl() override;
    void DetachSite();
    void DestroyBandWindow();

    TSiteHost host;
    TComPtr<IUnknown> site;
    TComPtr<TBrowserEventSink> browserEvents;
    TComPtr<TConnectionPoint> navletEvents;
    std::unique_ptr<TBarForm> bar; // the form and its window; see bar_form.h
    TNavletProperties properties;
};

} // namespace navlet::win32
