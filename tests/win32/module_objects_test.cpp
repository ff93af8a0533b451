// The module's objects in this process, reached through its exports as COM
// reaches them: the class table and factory, the lock count, the control
// object's interfaces and site, and a thousand band lives that must leave
// nothing behind.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "client/win32/com/com_object.h"
#include "tests/win32/bandhost/band_container.h"
#include "tests/win32/process_runner.h"

namespace {

using navlet::bandhost::TBandContainer;
using navlet::win32::TComPtr;

const CLSID NAVLET_CLSID = {
    0x5E0A7C21, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};
const IID NAVLET_EVENTS = {
    0x5E0A7C23, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};
const IID NAVLET_DISPATCH = {
    0x5E0A7C22, 0x6B3D, 0x4F19, {0x9A, 0x42, 0xC8, 0xD1, 0x7E, 0x05, 0xB3, 0xA6}};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

class ModuleObjects : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        module = LoadLibraryW(navlet::wintest::ModulePath().c_str());
        ASSERT_NE(module, nullptr);
        getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    }

    void SetUp() override {
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
    }

    TComPtr<IClassFactory> Factory() {
        TComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(NAVLET_CLSID, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    }

    TComPtr<IDeskBand> NewBand() {
        TComPtr<IDeskBand> band;
        EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDeskBand, band.PutVoid()), S_OK);
        return band;
    }

    static inline HMODULE module = nullptr;
    static inline GetClassObjectFn getClassObject = nullptr;
    static inline CanUnloadNowFn canUnloadNow = nullptr;
};

TEST_F(ModuleObjects, ExportsTheEntriesAndTheModuleWideVariables) {
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                             "DllUnregisterServer", "Navlet", "AboutForm", "ConsoleForm"})
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
}

TEST_F(ModuleObjects, ClassObjectAnswersOnlyItsClassAndIsMadeOnce) {
    EXPECT_EQ(getClassObject(NAVLET_CLSID, IID_IClassFactory, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    TComPtr<IClassFactory> first = Factory(), second = Factory();
    EXPECT_EQ(first.Get(), second.Get());
    TComPtr<IUnknown> aggregated;
    EXPECT_EQ(first->CreateInstance(reinterpret_cast<IUnknown*>(first.Get()), IID_IUnknown,
                                    aggregated.PutVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(canUnloadNow(), S_OK); // a kept factory is no lock
}

TEST_F(ModuleObjects, CanUnloadOnlyWithoutBarsAndServerLocks) {
    ASSERT_EQ(canUnloadNow(), S_OK);
    {
        TComPtr<IDeskBand> band = NewBand();
        EXPECT_EQ(canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
    TComPtr<IClassFactory> factory = Factory();
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ModuleObjects, ControlObjectAnswersItsInterfacesWithOneIdentity) {
    TComPtr<IDeskBand> band = NewBand();
    TComPtr<IUnknown> identity;
    ASSERT_EQ(band->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    for (const IID* iid :
         {&IID_IDeskBand, &IID_IDockingWindow, &IID_IOleWindow, &IID_IObjectWithSite,
          &IID_IInputObject, &IID_IPersist, &IID_IPersistStream, &IID_IProvideClassInfo,
          &IID_IProvideClassInfo2, &IID_IConnectionPointContainer}) {
        TComPtr<IUnknown> part;
        ASSERT_EQ(band->QueryInterface(*iid, part.PutVoid()), S_OK);
        TComPtr<IUnknown> back;
        ASSERT_EQ(part->QueryInterface(IID_IUnknown, back.PutVoid()), S_OK);
        EXPECT_EQ(back.Get(), identity.Get());
    }
    TComPtr<IUnknown> none;
    EXPECT_EQ(band->QueryInterface(IID_IClassFactory, none.PutVoid()), E_NOINTERFACE);

    TComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(band->QueryInterface(IID_IProvideClassInfo2, info.PutVoid()), S_OK);
    GUID events = {};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_TRUE(IsEqualGUID(events, NAVLET_EVENTS));
    TComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(info->GetClassInfo(classInfo.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(classInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualGUID(attr->guid, NAVLET_CLSID));
    classInfo->ReleaseTypeAttr(attr);

    TComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(band->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    TComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, point.Put()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(NAVLET_EVENTS, point.Put()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    TComPtr<IConnectionPointContainer> owner;
    ASSERT_EQ(point->GetConnectionPointContainer(owner.Put()), S_OK);
    EXPECT_EQ(owner.Get(), container.Get());
}

// A container's sink of the control's events.
class TEventSink : public navlet::win32::TComObject<TEventSink, IDispatch> {
  public:
    static const navlet::win32::TInterfaceEntry* Interfaces() {
        return navlet::win32::InterfaceTable<TEventSink>(navlet::win32::TInterfaces{
            navlet::win32::Answers<&IID_IDispatch, IDispatch>,
        });
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return S_OK;
    }

  private:
    ~TEventSink() override = default;
};

DISPID IdOf(IDispatch& dispatch, const wchar_t* name, HRESULT* result = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = dispatch.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (result)
        *result = hr;
    return id;
}

HRESULT PutProperty(IDispatch& dispatch, DISPID id, VARIANT value, UINT* argError = nullptr) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return dispatch.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                           nullptr, nullptr, argError);
}

HRESULT GetProperty(IDispatch& dispatch, DISPID id, VARIANT* value) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(value);
    return dispatch.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                           DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

TEST_F(ModuleObjects, INavletPropertiesAnswerThroughTheTypeLibrary) {
    TComPtr<IDeskBand> band = NewBand();
    TComPtr<IDispatch> dispatch;
    ASSERT_EQ(band->QueryInterface(NAVLET_DISPATCH, dispatch.PutVoid()), S_OK);
    UINT infos = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&infos), S_OK);
    EXPECT_EQ(infos, 1u);
    TComPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.Put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, NAVLET_DISPATCH));
    info->ReleaseTypeAttr(attr);

    // Names in any letter case, as scripts write them.
    EXPECT_EQ(IdOf(*dispatch, L"Caption"), DISPID(-518));
    const DISPID pixels = IdOf(*dispatch, L"pixelsPerInch");
    EXPECT_EQ(pixels, 6);
    HRESULT hr = S_OK;
    IdOf(*dispatch, L"Navigate", &hr);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);

    // The caption is the band window's.
    VARIANT value;
    ASSERT_EQ(PutProperty(*dispatch, IdOf(*dispatch, L"Caption"), Text(L"Navlet here")), S_OK);
    HWND window = nullptr;
    ASSERT_EQ(band->GetWindow(&window), S_OK);
    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    EXPECT_STREQ(caption, L"Navlet here");
    ASSERT_EQ(GetProperty(*dispatch, DISPID(-518), &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_STREQ(value.bstrVal, L"Navlet here");
    VariantClear(&value);

    // Kept properties take their declared type, or refuse the value.
    ASSERT_EQ(GetProperty(*dispatch, pixels, &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 96);
    VARIANT text = Text(L"120");
    EXPECT_EQ(PutProperty(*dispatch, pixels, text), S_OK);
    VariantClear(&text);
    UINT argError = 99;
    text = Text(L"many");
    EXPECT_EQ(PutProperty(*dispatch, pixels, text, &argError), DISP_E_TYPEMISMATCH);
    VariantClear(&text);
    EXPECT_EQ(argError, 0u);
    ASSERT_EQ(GetProperty(*dispatch, pixels, &value), S_OK);
    EXPECT_EQ(value.lVal, 120);

    ASSERT_EQ(GetProperty(*dispatch, IdOf(*dispatch, L"Visible"), &value), S_OK);
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, VARIANT_FALSE); // not shown yet
    EXPECT_EQ(GetProperty(*dispatch, 999, &value), DISP_E_MEMBERNOTFOUND);
}

TEST_F(ModuleObjects, ConnectionPointsAndTheirConnectionsAreListed) {
    TComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(NewBand()->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    TComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    TComPtr<IConnectionPoint> point;
    ASSERT_EQ(points->Next(1, point.Put(), nullptr), S_OK);
    IID events = {};
    EXPECT_EQ(point->GetConnectionInterface(&events), S_OK);
    EXPECT_TRUE(IsEqualIID(events, NAVLET_EVENTS));
    IConnectionPoint* more = nullptr;
    EXPECT_EQ(points->Next(1, &more, nullptr), S_FALSE);
    EXPECT_EQ(points->Reset(), S_OK);
    EXPECT_EQ(points->Skip(2), S_FALSE);

    auto sink = TComPtr<TEventSink>::Attach(new TEventSink);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);
    TComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Put()), S_OK);
    ASSERT_EQ(point->Unadvise(cookie), S_OK); // the list was taken before
    CONNECTDATA listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0].dwCookie, cookie);
    TComPtr<IUnknown> listedSink = TComPtr<IUnknown>::Attach(listed[0].pUnk);
    TComPtr<IUnknown> sinkIdentity;
    ASSERT_EQ(sink->QueryInterface(IID_IUnknown, sinkIdentity.PutVoid()), S_OK);
    TComPtr<IUnknown> listedIdentity;
    ASSERT_EQ(listedSink->QueryInterface(IID_IUnknown, listedIdentity.PutVoid()), S_OK);
    EXPECT_EQ(listedIdentity.Get(), sinkIdentity.Get());

    ASSERT_EQ(point->EnumConnections(connections.Put()), S_OK);
    EXPECT_EQ(connections->Next(1, listed, nullptr), S_FALSE);
}

TEST_F(ModuleObjects, BandCallsWithoutABrowserFailAsTheBrowserExpects) {
    TComPtr<IDeskBand> band = NewBand();
    EXPECT_EQ(band->GetBandInfo(0, 0, nullptr), E_INVALIDARG);
    TComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(band->QueryInterface(IID_IObjectWithSite, withSite.PutVoid()), S_OK);
    TComPtr<IUnknown> site;
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, site.PutVoid()), E_FAIL);
    EXPECT_EQ(site.Get(), nullptr);
    // A site with no service provider: no browser to reach.
    TComPtr<IStream> notASite;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, notASite.Put()), S_OK);
    EXPECT_EQ(withSite->SetSite(notASite.Get()), E_FAIL);
    EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
    TComPtr<IInputObject> input;
    ASSERT_EQ(band->QueryInterface(IID_IInputObject, input.PutVoid()), S_OK);
    EXPECT_EQ(input->TranslateAcceleratorIO(nullptr), E_INVALIDARG);
    EXPECT_EQ(band->ResizeBorderDW(nullptr, nullptr, FALSE), E_NOTIMPL);
    EXPECT_EQ(band->ContextSensitiveHelp(TRUE), E_NOTIMPL);
}

// A popup menu as the test saw it while it was open.
struct TSeenMenu {
    std::vector<std::wstring> captions;
    POINT at{-1, -1}; // its top left corner on the screen
};

TSeenMenu seenMenu;

// Reads the open menu, if any, and closes it; the menu's modal loop runs it.
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (!menuWindow || !IsWindowVisible(menuWindow) || !seenMenu.captions.empty())
        return;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, UINT(i), text, 64, MF_BYPOSITION);
        seenMenu.captions.push_back(text);
    }
    RECT r;
    GetWindowRect(menuWindow, &r);
    seenMenu.at = {r.left, r.top};
    EndMenu();
}

// The menu that a mouse button's release at (x, y) of `window` opens.
TSeenMenu MenuAfterRelease(HWND window, UINT message, int x, int y) {
    seenMenu = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadOpenMenu);
    PostMessageW(window, message, 0, MAKELPARAM(x, y));
    TBandContainer::Pump(600);
    KillTimer(nullptr, timer);
    return seenMenu;
}

RECT RectIn(HWND window, HWND parent) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(ModuleObjects, SitingMovesTheLogoIntoAStripInTheSiteWindowsFirstChild) {
    TBandContainer container;
    HWND chrome = container.Chrome();
    ASSERT_NE(chrome, nullptr);
    {
        TComPtr<IUnknown> band;
        ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, band.PutVoid()), S_OK);
        ASSERT_EQ(container.Host(band.Get()), S_OK);
    }
    ASSERT_EQ(container.Show(true), S_OK);
    TBandContainer::Pump(100);

    // The browser's window: at the corner, strip-sized, under the band.
    const RECT holder = RectIn(chrome, container.SiteWindow());
    EXPECT_EQ(holder.left, 0);
    EXPECT_EQ(holder.top, 0);
    EXPECT_EQ(holder.right - holder.left, 24);
    EXPECT_EQ(holder.bottom - holder.top, 700);
    EXPECT_EQ(GetWindow(chrome, GW_HWNDLAST), chrome);
    EXPECT_EQ(RectIn(container.BandWindow(), container.SiteWindow()).left, 24);

    // Our panel in it, without a bevel, holding the logo over its whole area.
    HWND panel = GetWindow(chrome, GW_CHILD);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(IsWindowVisible(panel));
    RECT client;
    GetClientRect(panel, &client);
    EXPECT_EQ(client.right, 24);
    EXPECT_EQ(client.bottom, 700);
    EXPECT_EQ(RectIn(panel, chrome).right, 24); // the window is all client area
    HWND logo = GetWindow(panel, GW_CHILD);
    ASSERT_NE(logo, nullptr);
    const RECT logoPlace = RectIn(logo, panel);
    EXPECT_EQ(logoPlace.left, 0);
    EXPECT_EQ(logoPlace.top, 0);
    EXPECT_EQ(logoPlace.right, 24);
    EXPECT_EQ(logoPlace.bottom, 700);

    // A click, or a right-button release, opens the options menu at the mouse.
    POINT mouse{7, 40};
    ClientToScreen(logo, &mouse);
    for (UINT release : {WM_LBUTTONUP, WM_RBUTTONUP}) {
        const TSeenMenu menu = MenuAfterRelease(logo, release, 7, 40);
        // Seven items of the bar's own, then the sharing choices with "Never
        // report this site", and the three privacy choices, each group
        // between separators.
        ASSERT_EQ(menu.captions.size(), 16u) << release;
        EXPECT_EQ(menu.captions.front(), L"Navlet Home Page");
        EXPECT_EQ(menu.captions.back(), L"About Navlet...");
        EXPECT_EQ(menu.at.x, mouse.x);
        EXPECT_EQ(menu.at.y, mouse.y);
    }
    EXPECT_TRUE(MenuAfterRelease(logo, WM_MBUTTONUP, 7, 40).captions.empty());

    ASSERT_EQ(container.Close(), S_OK);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(GetWindow(chrome, GW_CHILD), nullptr);
}

TEST_F(ModuleObjects, ASiteWindowWithoutAChildOfItsOwnGetsNoStrip) {
    TBandContainer container;
    DestroyWindow(container.Chrome());
    {
        TComPtr<IUnknown> band;
        ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, band.PutVoid()), S_OK);
        ASSERT_EQ(container.Host(band.Get()), S_OK);
    }
    ASSERT_EQ(container.Show(true), S_OK);
    // The band's own window is the site's only child.
    HWND only = GetWindow(container.SiteWindow(), GW_CHILD);
    EXPECT_EQ(only, container.BandWindow());
    EXPECT_EQ(GetWindow(only, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(container.Close(), S_OK);
}

// Everything of this thread that a band could leave behind.
struct TLeftovers {
    int windows = 0;
    DWORD userObjects = 0;
    DWORD gdiObjects = 0;
    DWORD handles = 0;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

TLeftovers Count() {
    TLeftovers now;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&now.windows));
    now.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    now.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &now.handles);
    return now;
}

// Timer messages that reach this thread within `ms`.
int TimerMessagesWithin(DWORD ms) {
    int timers = 0;
    const DWORD end = GetTickCount() + ms;
    while (LONG(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            timers += msg.message == WM_TIMER;
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return timers;
}

// One browser window in which the bar is made, sited, shown, moved, closed and
// released over and over (a frame per life would mostly measure how long the
// display takes to withdraw a window).
TEST_F(ModuleObjects, AThousandBandLivesLeaveNothingBehind) {
    TBandContainer container;
    auto life = [&](int i) {
        TComPtr<IUnknown> band;
        ASSERT_EQ(Factory()->CreateInstance(nullptr, IID_IUnknown, band.PutVoid()), S_OK);
        ASSERT_EQ(container.Host(band.Get()), S_OK);
        band.Reset(); // the container holds the only reference now
        ASSERT_EQ(container.Show(true), S_OK);
        container.Load(L"http://site" + std::to_wstring(i % 7) + L".example/page");
        TBandContainer::Pump(0);
        ASSERT_EQ(container.Close(), S_OK);
        ASSERT_EQ(container.Browser().EventSinks(), 0u);
    };
    life(0); // the first life registers window classes and loads system parts
    TimerMessagesWithin(100);
    const TLeftovers before = Count();
    const long containerObjects = navlet::win32::ModuleLockCount(); // browser, site, points
    // NAVLET_BAND_LIVES shortens the run when a fault is being looked into.
    const char* lives = std::getenv("NAVLET_BAND_LIVES");
    const int count = lives ? std::atoi(lives) : 1000;
    for (int i = 1; i <= count; ++i) {
        life(i);
        if (HasFatalFailure())
            FAIL() << "band life " << i;
    }
    EXPECT_EQ(TimerMessagesWithin(1500), 0);
    const TLeftovers after = Count();
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.userObjects, before.userObjects);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(navlet::win32::ModuleLockCount(), containerObjects);
}

} // namespace
