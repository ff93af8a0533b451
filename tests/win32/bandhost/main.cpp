// navlet-bandhost: plays the browser for a horizontal explorer bar. It finds
// the bar classes under CATID_CommBand, creates one through CoCreateInstance,
// sites it in its frame and runs a script given on the command line, printing
// one line per step for tests to read.
//
//   navlet-bandhost [--clsid {...}] [--url U] [--show] [--move U]... [--wait MS]
//                   [--key VK] [--screenshot FILE.bmp] [--close] [--new]
//                   [--band-shot FILE.bmp] [--wait-shown PART] [--type PART TEXT]
//                   [--click PART] [--press PART VK] [--wait-user NICK] [--wait-gone NICK]
//                   [--wait-chat TEXT]
//                   [--say TEXT] [--wait-tabs N] [--tab N] [--accept] [--idle MS]
//                   [--wait-message TEXT] [--wait-status TEXT]
//                   [--menu-open CAPTION] [--menu-shot FILE.bmp] [--users-menu NICK CHOICE]
//                   [--menu-item CAPTION enabled|disabled|checked|unchecked]
//                   [--report-box REASON WORDS] [--report-shot FILE.bmp]
//
// Steps run in the order given; --url loads a page before the band is shown,
// --move loads one afterwards, and each load is followed by 1.5 s of message
// pumping (the bar checks its site once a second). --close closes the band
// and lets it go; --new creates another in its place, as a new browser window
// would. The other steps act on the bar as its user does: PART is a layout
// name ("edNck", "sbLogin"...); typing and clicks are window messages (a
// --press goes through the message loop, which offers keys to the band), the
// waits last at most a minute each. --accept clicks the ticker's "accept
// invitation" button and ends the browser window that it opens; --idle
// reports the CPU time the process used over MS milliseconds. Every message
// box the bar opens is reported ("message TEXT") and closed with OK;
// --wait-message waits for one with that text; --wait-status for a line of
// the ticker's queue. --users-menu right-clicks NICK's entry in the users
// list and, in the menu that opens, chooses the item captioned CHOICE ("-":
// none, the menu is closed); before that it opens the submenu that an
// earlier --menu-open named (CHOICE may be one of its items) and takes the
// --menu-shot (the band with the menus over it), both for this menu only. --menu-item checks an
// item of the last menu read (or of its submenus) by its caption. --report-box plans the answer to
// the report box that the next --users-menu's choice opens: it picks the reason captioned REASON,
// types WORDS into the line, takes the --report-shot of the filled box and presses Report; the step
// fails when Report was enabled before a reason, or the line lost the words. --wait-chat compares
// characters, not bytes of a code page. The script stops at the first step that fails; exit code 0
// when every step succeeded.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "tests/win32/bandhost/band_container.h"
#include "tests/win32/bandhost/bar_driver.h"
#include "tests/win32/bandhost/menu_driver.h"
#include "tests/win32/bandhost/report_box_driver.h"
#include "tests/win32/window_shot.h"

using namespace navlet::bandhost;

namespace {

constexpr DWORD SITE_CHECK_PUMP_MS = 1500;
constexpr DWORD WAIT_MS = 60000;
// Input reaches the bar's models at once; this lets its effects settle.
constexpr DWORD INPUT_PUMP_MS = 200;

std::wstring Wide(const std::string& ansi) {
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    std::wstring out(n > 0 ? size_t(n) : 0, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), out.data(), n);
    return out;
}

std::string Ansi(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The processes this one started, by id, with their program names.
std::vector<std::pair<DWORD, std::string>> ChildProcesses() {
    std::vector<std::pair<DWORD, std::string>> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId())
            children.emplace_back(entry.th32ProcessID, Utf8(entry.szExeFile));
    CloseHandle(snapshot);
    return children;
}

// Message boxes the bar opened, by their text. A message box runs a modal
// loop inside the bar's handler, where no step of the script can run: a
// timer of this thread, which that loop dispatches, reads and closes each.
std::vector<std::string> messagesSeen;

BOOL CALLBACK ReadStaticText(HWND child, LPARAM text) {
    wchar_t kind[16] = {};
    GetClassNameW(child, kind, 16);
    if (lstrcmpiW(kind, L"Static") != 0)
        return TRUE;
    wchar_t line[512] = {};
    GetWindowTextW(child, line, 512);
    *reinterpret_cast<std::wstring*>(text) += line;
    return TRUE;
}

BOOL CALLBACK CloseMessageBox(HWND window, LPARAM) {
    wchar_t kind[16] = {};
    GetClassNameW(window, kind, 16);
    if (lstrcmpW(kind, L"#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    // The report box is answered by its own step: OK here could send a
    // report before its words are typed.
    if (IsReportBox(window))
        return TRUE;
    std::wstring text;
    EnumChildWindows(window, ReadStaticText, reinterpret_cast<LPARAM>(&text));
    messagesSeen.push_back(Ansi(text));
    std::printf("message \"%s\"\n", Utf8(text).c_str());
    std::fflush(stdout);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK WatchMessageBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseMessageBox, 0);
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](const FILETIME& t) {
        return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::string ClsidText(const CLSID& clsid) {
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return Utf8(text);
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
        container.Close(); // a band still hosted goes first, as its window closes
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
        const char* how = "";
        const HRESULT created = CreateBand(chosen, band.Put(), &how);
        Report("created %s hr=0x%08lx from %s", ClsidText(chosen).c_str(), ULONG(created), how);
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
               Utf8(info.wszTitle).c_str());
        return SUCCEEDED(sited);
    }

    bool Load(const std::wstring& url) {
        const int before = container.Browser().LocationReads();
        container.Load(url);
        TBandContainer::Pump(SITE_CHECK_PUMP_MS);
        Report("load %s checks=%d", Utf8(url).c_str(),
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
            Report("navigated %s", Utf8(address).c_str());
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

    bool BandShot(const std::wstring& path) {
        const bool ok = navlet::win32::test::SaveWindowShot(container.BandWindow(), Ansi(path));
        Report("band-shot %s", ok ? "written" : "failed");
        return ok;
    }

    bool WaitShown(const std::string& part) {
        return Waited("shown " + part, [&] { return Bar().IsShown(part); });
    }

    bool Type(const std::string& part, const std::string& text) {
        const bool ok = Bar().Type(part, text);
        TBandContainer::Pump(INPUT_PUMP_MS);
        Report("typed %s %s", part.c_str(), ok ? "ok" : "failed");
        return ok;
    }

    bool Click(const std::string& part) {
        const bool ok = Bar().Click(part);
        TBandContainer::Pump(INPUT_PUMP_MS);
        Report("clicked %s %s", part.c_str(), ok ? "ok" : "failed");
        return ok;
    }

    bool Press(const std::string& part, UINT virtualKey) {
        const bool ok = Bar().Press(part, virtualKey);
        TBandContainer::Pump(INPUT_PUMP_MS);
        Report("pressed 0x%02x in %s %s", virtualKey, part.c_str(), ok ? "ok" : "failed");
        return ok;
    }

    bool WaitUser(const std::string& nick) {
        return Waited("user " + nick, [&] { return Bar().ListShows("lvUsers", nick); });
    }

    bool WaitGone(const std::string& nick) {
        return Waited("gone " + nick, [&] { return !Bar().ListShows("lvUsers", nick); });
    }

    // The characters themselves: a bar that took its bytes in another code
    // page, or a conversion that fell back on a look-alike letter, fails.
    bool WaitChat(const std::wstring& text) {
        const bool ok = Waited("chat \"" + Utf8(text) + "\"", [&] {
            return Bar().ChatCharacters().find(text) != std::wstring::npos;
        });
        if (!ok)
            Report("chat holds \"%s\"", Utf8(Bar().ChatCharacters()).c_str());
        return ok;
    }

    // The next menu's submenu to open, and its shot.
    void PlanMenu(const std::string& submenu, const std::wstring& shot) {
        if (!submenu.empty())
            menuPlan.openSubmenu = submenu;
        if (!shot.empty())
            menuPlan.shotPath = Ansi(shot);
    }

    bool UsersMenu(const std::string& nick, const std::string& choice) {
        TMenuPlan plan = std::move(menuPlan);
        menuPlan = {};
        plan.shotOf = container.BandWindow();
        plan.choose = choice == "-" ? "" : choice;
        const bool wantShot = !plan.shotPath.empty();
        // The item chosen may open the report box, in the bar's handler:
        // its driver watches from before the menu opens.
        const bool wantBox = !reportPlan.reason.empty();
        const std::string boxShot = reportPlan.shotPath;
        const std::string boxWords = Utf8(reportPlan.words);
        if (wantBox)
            reportBox.Start(std::move(reportPlan));
        reportPlan = {};
        menus.Start(std::move(plan));
        if (!Bar().RightClickEntry("lvUsers", nick)) {
            menus.Stop();
            reportBox.Stop();
            Report("users menu of %s: no entry", nick.c_str());
            return false;
        }
        PumpUntil([&] { return menus.Done() && (!wantBox || reportBox.Done()); }, WAIT_MS);
        if (!menus.Done())
            menus.Stop();
        const bool boxOk = !wantBox || AnsweredReportBox(boxWords, boxShot);
        for (const TMenuEntry& entry : menus.Entries())
            Report("menu %s%s\"%s\" %s%s", entry.within.c_str(), entry.within.empty() ? "" : " > ",
                   entry.caption.c_str(), entry.enabled ? "enabled" : "disabled",
                   entry.checked ? " checked" : "");
        if (wantShot)
            Report("menu-shot %s", menus.ShotTaken() ? "written" : "failed");
        const bool ok = menus.Done() && menus.Error().empty() && (!wantShot || menus.ShotTaken());
        Report("users menu of %s %s %s", nick.c_str(),
               choice == "-" ? "closed" : ("chose \"" + choice + "\"").c_str(),
               ok ? "ok" : (menus.Error().empty() ? "timed out" : menus.Error().c_str()));
        TBandContainer::Pump(INPUT_PUMP_MS);
        return ok && boxOk;
    }

    // The next report box's reason, words and shot.
    void PlanReportBox(const std::wstring& reason, const std::wstring& words) {
        reportPlan.reason = reason;
        reportPlan.words = words;
    }
    void PlanReportShot(const std::wstring& shot) { reportPlan.shotPath = Ansi(shot); }

    // What the report box showed and how it was answered. Report must wait
    // for a reason; the line must hold what was typed.
    bool AnsweredReportBox(const std::string& words, const std::string& shot) {
        if (!reportBox.Done())
            reportBox.Stop();
        const TReportBoxSeen& seen = reportBox.Seen();
        std::string reasons;
        for (const std::string& reason : seen.reasons)
            reasons += (reasons.empty() ? "" : ", ") + reason;
        Report("report box \"%s\" reasons: %s; also ignore %s; report %s before a reason",
               seen.caption.c_str(), reasons.c_str(), seen.alsoIgnore ? "checked" : "unchecked",
               seen.reportBeforeReason ? "enabled" : "disabled");
        Report("report box line \"%s\"", seen.typed.c_str());
        if (!shot.empty())
            Report("report-shot %s", reportBox.ShotTaken() ? "written" : "failed");
        const bool ok = reportBox.Done() && reportBox.Error().empty() && !seen.reportBeforeReason &&
                        seen.typed == words && (shot.empty() || reportBox.ShotTaken());
        Report("report box %s", ok                           ? "answered ok"
                                : !reportBox.Error().empty() ? reportBox.Error().c_str()
                                : !reportBox.Done()          ? "timed out"
                                : seen.reportBeforeReason    ? "offered Report before a reason"
                                : seen.typed != words        ? "the line lost the words"
                                                             : "shot failed");
        return ok;
    }

    // An item of the last menu read, by caption, in the state given.
    bool MenuItem(const std::string& caption, const std::string& state) {
        for (const TMenuEntry& entry : menus.Entries()) {
            if (entry.caption != caption)
                continue;
            const bool ok = state == "enabled"     ? entry.enabled
                            : state == "disabled"  ? !entry.enabled
                            : state == "checked"   ? entry.checked
                            : state == "unchecked" ? !entry.checked
                                                   : false;
            Report("menu item \"%s\" %s %s", caption.c_str(), state.c_str(), ok ? "ok" : "failed");
            return ok;
        }
        Report("menu item \"%s\" missing", caption.c_str());
        return false;
    }

    // The chat line, typed and sent with the send button. Clicking into it
    // takes its hint away.
    bool Say(const std::string& text) {
        const bool ok = Bar().Type("Edit1", text) && Bar().Click("sbSendTxt");
        TBandContainer::Pump(INPUT_PUMP_MS);
        const bool sent = ok && Bar().ChatText().find(text) != std::string::npos;
        Report("said \"%s\" %s", Utf8(Wide(text)).c_str(), sent ? "ok" : "failed");
        return sent;
    }

    bool WaitTabs(int count) {
        return Waited("tabs " + std::to_string(count), [&] { return Bar().TabCount() == count; });
    }

    bool Tab(int index) {
        const bool ok = Bar().ClickTab(index);
        TBandContainer::Pump(INPUT_PUMP_MS);
        Report("tab %d %s", index, ok ? "picked" : "failed");
        return ok;
    }

    // Clicks "accept invitation" where the hit map has it, then looks for the
    // browser window the bar opens: a program this process started, which
    // it ends again.
    bool Accept() {
        std::set<DWORD> before;
        for (const auto& child : ChildProcesses())
            before.insert(child.first);
        int x = -1;
        if (!Waited("accept button", [&] { return (x = Bar().AcceptButtonMiddle()) >= 0; }))
            return false;
        Bar().ClickTicker(x);
        const bool answered = Bar().AcceptButtonMiddle() < 0;
        std::string opened = "none";
        PumpUntil(
            [&] {
                for (const auto& [id, program] : ChildProcesses()) {
                    if (before.count(id))
                        continue;
                    opened = program;
                    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
                        TerminateProcess(process, 0);
                        CloseHandle(process);
                    }
                    return true;
                }
                return false;
            },
            10000);
        Report("accepted at %d line=%s opened=%s", x, answered ? "answered" : "kept",
               opened.c_str());
        return answered && opened != "none";
    }

    // Leaves the bar to itself for `ms` (its timers and the ticker run) and
    // reports the CPU time this process used meanwhile; the lines before and
    // after let a bench read the same from outside.
    bool Idle(DWORD ms) {
        Report("idle begins");
        const double before = CpuSeconds();
        TBandContainer::Pump(ms);
        const double used = CpuSeconds() - before;
        Report("idle ends after %lu ms: cpu %.3f s (%.2f %% of one core)", ms, used,
               ms ? 100.0 * used * 1000.0 / ms : 0.0);
        return true;
    }

    bool Close() {
        HWND band = container.BandWindow();
        const HRESULT hr = container.Close();
        Report("closed hr=0x%08lx window=%d sinks=%u", ULONG(hr), band && IsWindow(band) ? 1 : 0,
               unsigned(container.Browser().EventSinks()));
        return SUCCEEDED(hr);
    }

  private:
    TBarDriver Bar() const { return TBarDriver(container.BandWindow()); }

    TMenuDriver menus;
    TMenuPlan menuPlan;
    TReportBoxDriver reportBox;
    TReportBoxPlan reportPlan;

    template <typename Done> bool Waited(const std::string& what, Done done) {
        const bool ok = PumpUntil(done, WAIT_MS);
        Report("waited %s %s", what.c_str(), ok ? "ok" : "timed out");
        return ok;
    }

  public:
    bool WaitStatus(const std::string& text) {
        return Waited("status", [&] { return TBarDriver::TickerHolds(text); });
    }
    bool WaitMessage(const std::string& text) {
        return Waited("message", [&] {
            return std::find(messagesSeen.begin(), messagesSeen.end(), text) != messagesSeen.end();
        });
    }

  private:
    bool Fail(const char* why) {
        Report("error %s", why);
        return false;
    }

    TBandContainer& container;
};

enum class TStepResult { Ok, Failed, Unknown };

// Runs the step at argv[i] and moves `i` past its arguments.
TStepResult RunStep(TScript& script, const std::wstring& wanted, int argc, wchar_t** argv, int& i) {
    const std::wstring arg = argv[i];
    auto next = [&] { return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring(); };
    auto ansi = [&] { return Ansi(next()); };
    auto done = [](bool ok) { return ok ? TStepResult::Ok : TStepResult::Failed; };
    if (arg == L"--clsid")
        return next(), TStepResult::Ok;
    if (arg == L"--url" || arg == L"--move")
        return done(script.Load(next()));
    if (arg == L"--show")
        return done(script.Show());
    if (arg == L"--wait") {
        TBandContainer::Pump(DWORD(_wtoi(next().c_str())));
        return TStepResult::Ok;
    }
    if (arg == L"--press") {
        const std::string part = Ansi(next());
        return done(script.Press(part, UINT(std::wcstoul(next().c_str(), nullptr, 0))));
    }
    if (arg == L"--key")
        return done(script.Key(UINT(std::wcstoul(next().c_str(), nullptr, 0))));
    if (arg == L"--screenshot")
        return done(script.Screenshot(next()));
    if (arg == L"--close")
        return done(script.Close());
    if (arg == L"--new")
        return done(script.Create(FindCommBands(), wanted));
    if (arg == L"--band-shot")
        return done(script.BandShot(next()));
    if (arg == L"--wait-shown")
        return done(script.WaitShown(ansi()));
    if (arg == L"--type") {
        const std::string part = ansi();
        return done(script.Type(part, ansi()));
    }
    if (arg == L"--click")
        return done(script.Click(ansi()));
    if (arg == L"--wait-user")
        return done(script.WaitUser(ansi()));
    if (arg == L"--wait-gone")
        return done(script.WaitGone(ansi()));
    if (arg == L"--wait-chat")
        return done(script.WaitChat(next()));
    if (arg == L"--say")
        return done(script.Say(ansi()));
    if (arg == L"--wait-tabs")
        return done(script.WaitTabs(_wtoi(next().c_str())));
    if (arg == L"--tab")
        return done(script.Tab(_wtoi(next().c_str())));
    if (arg == L"--idle")
        return done(script.Idle(DWORD(_wtoi(next().c_str()))));
    if (arg == L"--accept")
        return done(script.Accept());
    if (arg == L"--wait-status")
        return done(script.WaitStatus(ansi()));
    if (arg == L"--wait-message")
        return done(script.WaitMessage(ansi()));
    if (arg == L"--menu-open") {
        script.PlanMenu(Utf8(next()), L"");
        return TStepResult::Ok;
    }
    if (arg == L"--menu-shot") {
        script.PlanMenu("", next());
        return TStepResult::Ok;
    }
    if (arg == L"--report-box") {
        const std::wstring reason = next();
        script.PlanReportBox(reason, next());
        return TStepResult::Ok;
    }
    if (arg == L"--report-shot") {
        script.PlanReportShot(next());
        return TStepResult::Ok;
    }
    if (arg == L"--users-menu") {
        const std::string nick = ansi();
        return done(script.UsersMenu(nick, Utf8(next())));
    }
    if (arg == L"--menu-item") {
        const std::string caption = Utf8(next());
        return done(script.MenuItem(caption, ansi()));
    }
    return TStepResult::Unknown;
}

int Run(int argc, wchar_t** argv) {
    std::wstring wanted;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--clsid")
            wanted = argv[i + 1];
    SetTimer(nullptr, 0, 200, WatchMessageBoxes);
    TBandContainer container;
    TScript script(container);
    if (!script.Create(FindCommBands(), wanted))
        return 1;
    for (int i = 1; i < argc; ++i) {
        const int first = i;
        const TStepResult result = RunStep(script, wanted, argc, argv, i);
        if (result == TStepResult::Unknown) {
            Report("error unknown argument %s", Utf8(argv[first]).c_str());
            return 2;
        }
        // Each step builds on the ones before: stop at the first that failed
        // rather than wait a minute for every later one.
        if (result == TStepResult::Failed) {
            Report("stopped at %s", Utf8(argv[first]).c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(OleInitialize(nullptr)))
        return 3;
    const int result = Run(argc, argv);
    OleUninitialize();
    return result;
}
