// INavlet, the control's automation interface: the standard properties of a
// form-based control, as the module's type library declares them. Nothing in
// the bar reads them. Visible is the form's visibility (setting it shows or
// hides the band as the browser does), Enabled and Caption are the band
// window's own; the others are kept as a container sets them, from the
// defaults of a new form.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <map>

#include "client/win32/com/com_object.h"

namespace navlet::win32 {

class TNavletProperties {
  public:
    struct TBand {
        std::function<bool()> visible;
        std::function<HRESULT(bool)> show;
        std::function<HWND()> window; // null once closed
    };

    explicit TNavletProperties(TBand band);
    ~TNavletProperties();
    TNavletProperties(const TNavletProperties&) = delete;
    TNavletProperties& operator=(const TNavletProperties&) = delete;

    // The IDispatch of the control, for INavlet: the type information comes
    // from the module's type library, loaded on first use.
    HRESULT GetTypeInfo(UINT index, ITypeInfo** out);
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
    // Property get and put only; a put's value is changed to the property's
    // type or refused with DISP_E_TYPEMISMATCH (`argError` 0).
    HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError);

  private:
    HRESULT Load();
    HRESULT Get(DISPID id, VARIANT* out);
    HRESULT Put(DISPID id, const VARIANT& value);

    TBand band;
    TComPtr<ITypeInfo> info;
    std::map<DISPID, VARTYPE> types;
    std::map<DISPID, VARIANT> kept; // owned: cleared when replaced and at the end
};

} // namespace navlet::win32
