// navlet-bandhost: plays the browser for a horizontal explorer bar. It finds
// the bar classes under CATID_CommBand, creates one through CoCreateInstance,
// sites it in its frame and runs a script given on the command line, printing
// one line per step for tests to read.
//
//   navlet-bandhost [--clsid {...}] [--url U] [--show] [--move U]... [--wait MS]
//                   [--key VK] [--screenshot FILE.bmp] [--close]
//
// Steps run in the order given; --url loads a page before the band is shown,
// --move loads one afterwards, and each load is followed by 1.5 s of message
// pumping (the bar checks its site once a second). Exit code 0 when every
// step succeeded.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/win32/bandhost/band_container.h"

using namespace navlet::bandhost;

namespace {

constexpr DWORD SITE_CHECK_PUMP_MS = 1500;

std::string Narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string ClsidText(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return Narrow(text);
}

void Report(const char* format, auto... args) {
    std::printf(format, args...);
    std::printf("\n");
    std::fflush(stdout);
}

class TScript {
  public:
    explicit TScript(TBandContainer& c) : container(c) {}

    bool Create(const std::vector<CLSID>& bands, const std::wstring& wanted) {
        Report("bands %u", unsigned(bands.size()));
        CLSID chosen = {};
        if (!wanted.empty()) {
            if (FAILED(CLSIDFromString(wanted.c_str(), &chosen)))
                return Fail("clsid unreadable");
        } else if (!bands.empty()) {
            chosen = bands.front();
        } else {
            return Fail("no band registered");
        }
        TComPtr<IUnknown> band;
        const HRESULT created =
            CoCreateInstance(chosen, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, band.PutVoid());
        Report("created %s hr=0x%08lx", ClsidText(chosen).c_str(), ULONG(created));
        if (FAILED(created))
            return false;
        const HRESULT sited = container.Host(band.Get());
        const DESKBANDINFO& info = container.BandInfo();
        Report("sited hr=0x%08lx", ULONG(sited));
        Report("bandinfo hr=0x%08lx min=%ldx%ld max=%ldx%ld integral=%ldx%ld ideal=%ldx%ld "
               "modeflags=0x%lx mask=0x%lx title=\"%s\"",
               ULONG(container.BandInfoResult()), info.ptMinSize.x, info.ptMinSize.y,
               info.ptMaxSize.x, info.ptMaxSize.y, info.ptIntegral.x, info.ptIntegral.y,
               info.ptActual.x, info.ptActual.y, info.dwModeFlags, info.dwMask,
               Narrow(info.wszTitle).c_str());
        return SUCCEEDED(sited);
    }

    bool Load(const std::wstring& url) {
        const int before = container.Browser().LocationReads();
        container.Load(url);
        TBandContainer::Pump(SITE_CHECK_PUMP_MS);
        Report("load %s checks=%d", Narrow(url).c_str(),
               container.Browser().LocationReads() - before);
        return true;
    }

    bool Show() {
        const HRESULT hr = container.Show(true);
        TBandContainer::Pump(200);
        HWND band = container.BandWindow();
        RECT r = {};
        if (band)
            GetWindowRect(band, &r);
        Report("shown hr=0x%08lx visible=%d inside=%d size=%ldx%ld", ULONG(hr),
               band && IsWindowVisible(band) ? 1 : 0,
               band && IsChild(container.Frame(), band) ? 1 : 0, r.right - r.left,
               r.bottom - r.top);
        for (const std::wstring& address : container.Browser().Navigations())
            Report("navigated %s", Narrow(address).c_str());
        return SUCCEEDED(hr);
    }

    // A key-down message offered to the band, as the browser offers keys.
    bool Key(UINT virtualKey) {
        MSG message = {};
        message.hwnd = container.BandWindow();
        message.message = WM_KEYDOWN;
        message.wParam = virtualKey;
        const int reportsBefore = container.Site().FocusReports();
        const HRESULT hr = container.TranslateKey(message);
        const bool reported = container.Site().FocusReports() != reportsBefore;
        Report("key 0x%02x hr=0x%08lx focus=%s", virtualKey, ULONG(hr),
               !reported                         ? "unchanged"
               : container.Site().BandHasFocus() ? "gained"
                                                 : "lost");
        return SUCCEEDED(hr);
    }

    bool Screenshot(const std::wstring& path) {
        const bool ok = container.Screenshot(path);
        Report("screenshot %s", ok ? "written" : "failed");
        return ok;
    }

    bool Close() {
        HWND band = container.BandWindow();
        const HRESULT hr = container.Close();
        Report("closed hr=0x%08lx window=%d sinks=%u", ULONG(hr), band && IsWindow(band) ? 1 : 0,
               unsigned(container.Browser().EventSinks()));
        return SUCCEEDED(hr);
    }

  private:
    bool Fail(const char* why) {
        Report("error %s", why);
        return false;
    }

    TBandContainer& container;
};

int Run(int argc, wchar_t** argv) {
    std::wstring wanted;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--clsid")
            wanted = argv[i + 1];
    TBandContainer container;
    TScript script(container);
    if (!script.Create(FindCommBands(), wanted))
        return 1;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : L"";
        if (arg == L"--clsid") {
            ++i;
        } else if (arg == L"--url" || arg == L"--move") {
            ok = script.Load(value) && ok;
            ++i;
        } else if (arg == L"--show") {
            ok = script.Show() && ok;
        } else if (arg == L"--wait") {
            TBandContainer::Pump(DWORD(_wtoi(value)));
            ++i;
        } else if (arg == L"--key") {
            ok = script.Key(UINT(std::wcstoul(value, nullptr, 0))) && ok;
            ++i;
        } else if (arg == L"--screenshot") {
            ok = script.Screenshot(value) && ok;
            ++i;
        } else if (arg == L"--close") {
            ok = script.Close() && ok;
        } else {
            Report("error unknown argument %s", Narrow(arg).c_str());
            return 2;
        }
    }
    return ok ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(OleInitialize(nullptr)))
        return 3;
    const int result = Run(argc, argv);
    OleUninitialize();
    return result;
}
