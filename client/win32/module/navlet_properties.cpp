#include "client/win32/module/navlet_properties.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "client/kit/graphics.h"
#include "client/win32/module/module_entry.h"
#include "client/win32/module/navlet_ids.h"

namespace navlet::win32 {

namespace {

constexpr DISPID DISPID_NAVLET_VISIBLE = 1;
constexpr DISPID DISPID_NAVLET_PIXELS_PER_INCH = 6;
constexpr DISPID DISPID_NAVLET_PRINT_SCALE = 7;
constexpr DISPID DISPID_NAVLET_SCALED = 8;
constexpr long SCREEN_PIXELS_PER_INCH = 96;
constexpr long PRINT_SCALE_PROPORTIONAL = 1;

// The automation type of a property, through one alias (OLE_COLOR).
VARTYPE PropertyType(ITypeInfo& owner, const TYPEDESC& type) {
    if (type.vt != VT_USERDEFINED)
        return type.vt;
    TComPtr<ITypeInfo> alias;
    TYPEATTR* attr = nullptr;
    VARTYPE vt = VT_EMPTY;
    if (SUCCEEDED(owner.GetRefTypeInfo(type.hreftype, alias.Put())) &&
        SUCCEEDED(alias->GetTypeAttr(&attr))) {
        if (attr->typekind == TKIND_ALIAS)
            vt = attr->tdescAlias.vt;
        alias->ReleaseTypeAttr(attr);
    }
    return vt;
}

VARIANT DefaultOf(DISPID id, VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    switch (type) {
    case VT_BOOL:
        v.boolVal = id == DISPID_NAVLET_SCALED ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_BSTR:
        v.bstrVal = SysAllocString(L"");
        break;
    case VT_I4:
        v.lVal = id == DISPID_NAVLET_PIXELS_PER_INCH ? SCREEN_PIXELS_PER_INCH
                 : id == DISPID_NAVLET_PRINT_SCALE   ? PRINT_SCALE_PROPORTIONAL
                                                     : 0;
        break;
    case VT_UI4:
        v.ulVal = id == DISPID_BACKCOLOR ? uint32_t(clSkyBlue) : 0; // what the bar's panels show
        break;
    default:
        v.vt = VT_EMPTY;
        break;
    }
    return v;
}

} // namespace

TNavletProperties::TNavletProperties(TBand b) : band(std::move(b)) {}

TNavletProperties::~TNavletProperties() {
    for (auto& [id, value] : kept)
        VariantClear(&value);
}

HRESULT TNavletProperties::Load() {
    if (info)
        return S_OK;
    TComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(ModulePathW().c_str(), REGKIND_NONE, library.Put());
    if (FAILED(hr))
        return hr;
    TComPtr<ITypeInfo> loaded;
    hr = library->GetTypeInfoOfGuid(DIID_INavlet, loaded.Put());
    if (FAILED(hr))
        return hr;
    TYPEATTR* attr = nullptr;
    hr = loaded->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    const WORD count = attr->cVars;
    loaded->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        VARDESC* var = nullptr;
        if (FAILED(loaded->GetVarDesc(i, &var)))
            continue;
        const DISPID id = var->memid;
        const VARTYPE type = PropertyType(*loaded, var->elemdescVar.tdesc);
        loaded->ReleaseVarDesc(var);
        types[id] = type;
        kept[id] = DefaultOf(id, type);
    }
    info = loaded;
    return S_OK;
}

HRESULT TNavletProperties::GetTypeInfo(UINT index, ITypeInfo** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    const HRESULT hr = Load();
    if (FAILED(hr))
        return hr;
    info->AddRef();
    *out = info.Get();
    return S_OK;
}

HRESULT TNavletProperties::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids)
        return E_POINTER;
    const HRESULT hr = Load();
    if (FAILED(hr))
        return hr;
    return DispGetIDsOfNames(info.Get(), names, count, ids);
}

HRESULT TNavletProperties::Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  UINT* argError) {
    if (!params)
        return E_INVALIDARG;
    if (const HRESULT hr = Load(); FAILED(hr))
        return hr;
    const auto type = types.find(id);
    if (type == types.end())
        return DISP_E_MEMBERNOTFOUND;
    if (flags & DISPATCH_PROPERTYGET) {
        if (params->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        return result ? Get(id, result) : S_OK;
    }
    if (!(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)))
        return DISP_E_MEMBERNOTFOUND;
    // A put names its one value DISPID_PROPERTYPUT.
    if (params->cArgs != 1)
        return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
        params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTOPTIONAL;
    VARIANT value;
    VariantInit(&value);
    if (FAILED(VariantChangeType(&value, &params->rgvarg[0], 0, type->second))) {
        if (argError)
            *argError = 0;
        return DISP_E_TYPEMISMATCH;
    }
    const HRESULT hr = Put(id, value);
    VariantClear(&value);
    return hr;
}

HRESULT TNavletProperties::Get(DISPID id, VARIANT* out) {
    VariantInit(out);
    const HWND window = band.window ? band.window() : nullptr;
    if (id == DISPID_NAVLET_VISIBLE && band.visible) {
        out->vt = VT_BOOL;
        out->boolVal = band.visible() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    if (id == DISPID_ENABLED && window) {
        out->vt = VT_BOOL;
        out->boolVal = IsWindowEnabled(window) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    if (id == DISPID_CAPTION && window) {
        std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
        const int n = GetWindowTextW(window, text.data(), int(text.size()));
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocStringLen(text.data(), UINT(n > 0 ? n : 0));
        return out->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    return VariantCopy(out, &kept[id]);
}

HRESULT TNavletProperties::Put(DISPID id, const VARIANT& value) {
    const HWND window = band.window ? band.window() : nullptr;
    if (id == DISPID_NAVLET_VISIBLE && band.show)
        return band.show(value.boolVal != VARIANT_FALSE);
    if (id == DISPID_ENABLED && window) {
        EnableWindow(window, value.boolVal != VARIANT_FALSE);
        return S_OK;
    }
    if (id == DISPID_CAPTION && window)
        return SetWindowTextW(window, value.bstrVal ? value.bstrVal : L"") ? S_OK : E_FAIL;
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = VariantCopy(&copy, const_cast<VARIANT*>(&value));
    if (FAILED(hr))
        return hr;
    VariantClear(&kept[id]);
    kept[id] = copy;
    return S_OK;
}

} // namespace navlet::win32
