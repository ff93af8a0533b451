// A small frame window that hosts one band as the browser does: it sites the
// band with a TBandSite, asks its sizes, lays it across the bottom of the
// frame, shows and closes it, offers it keys, and lets go of it. The band
// site's parent ("bar area") follows the band's own resize requests. As in
// the browser, the site window holds a window of its own before the band's
// (the band's chrome, a grip at its left edge); the band lies to its right.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <string>
#include <vector>

#include "tests/win32/bandhost/browser_site.h"

namespace navlet::bandhost {

// Classes registered as horizontal explorer bars, found as the browser finds
// them: the user's own classes first (a per-user install), then through the
// component categories manager.
std::vector<CLSID> FindCommBands();

// Windows merges the user's own classes (HKCU\Software\Classes) over the
// machine's in HKEY_CLASSES_ROOT, so a class a per-user install registered
// is created from its per-user InprocServer32. Wine 8 has no such merged
// view: its COM reads the machine's classes only. The container creates a
// class the user registered from that module itself, as the merged view
// would, and every other class through CoCreateInstance. `how` tells which.
HRESULT CreateBand(const CLSID& clsid, IUnknown** out, const char** how);

class TBandContainer {
  public:
    TBandContainer();
    ~TBandContainer();
    TBandContainer(const TBandContainer&) = delete;
    TBandContainer& operator=(const TBandContainer&) = delete;

    // Sites `band`, asks its sizes and places it; the band's own SetSite result.
    HRESULT Host(IUnknown* band);
    HRESULT Show(bool show);
    // The browser shows `url`, then fires DocumentComplete.
    void Load(const std::wstring& url) { browser->Load(url); }
    // CloseDW, then the site is taken away and the band released.
    HRESULT Close();
    // The browser's key handling: the band may take a key while it has the focus.
    bool OfferKey(MSG& message);
    // The browser asking the band whether it takes a key, whatever the focus.
    HRESULT TranslateKey(MSG& message);
    // Pumps this thread's messages for `ms` milliseconds. Like the browser's
    // message loop, it offers each key message to the band first.
    static void Pump(DWORD ms);
    // One message of a pump: offered to the living container's band if it is
    // a key, else (or when the band leaves it) translated and dispatched.
    static void Route(MSG& message);

    HWND Frame() const { return frame; }
    HWND BarArea() const { return barArea; }
    HWND SiteWindow() const { return siteWindow; }
    // The site window's own first child; null once destroyed.
    HWND Chrome() const { return IsWindow(chrome) ? chrome : nullptr; }
    HWND BandWindow() const;
    const DESKBANDINFO& BandInfo() const { return info; }
    HRESULT BandInfoResult() const { return infoResult; }
    TScriptedBrowser& Browser() { return *browser; }
    TBandSite& Site() { return *site; }
    // Writes the frame's client area as a 24-bit BMP file.
    bool Screenshot(const std::wstring& path) const;

  private:
    static TBandContainer* living; // the one the pumps offer keys to
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK BarAreaProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();

    HWND frame = nullptr;
    HWND barArea = nullptr;
    HWND siteWindow = nullptr;
    HWND chrome = nullptr;
    int bandHeight = 0;
    bool laying = false;
    TComPtr<TScriptedBrowser> browser;
    TComPtr<TBandSite> site;
    TComPtr<IDeskBand> band;
    DESKBANDINFO info = {};
    HRESULT infoResult = E_FAIL;
};

} // namespace navlet::bandhost
