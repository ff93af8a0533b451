// The Win32 kit: every platform interface of the bar on Windows, and
// TWin32Kit, which bundles one of each into the TKit a bar is made with.
// Made and used on the bar's thread (the browser's user-interface thread),
// whose message loop dispatches the kit's timers and socket notifications.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "client/kit/kit.h"
#include "client/win32/kit/gdi.h"
#include "client/win32/kit/message_window.h"
#include "client/win32/kit/win32_files.h"
#include "client/win32/kit/win32_registry.h"
#include "client/win32/kit/win32_scheduler.h"
#include "client/win32/kit/win32_socket.h"
#include "client/win32/kit/win32_web_browser.h"

namespace navlet::win32 {

// Days since 30 December 1899 and back.
double DaysOfSystemTime(const SYSTEMTIME& t);
bool SystemTimeOfDays(double days, SYSTEMTIME& out);

class TWin32Clock : public TClock {
  public:
    double LocalNow() const override;
    double UtcNow() const override;
    double UtcToLocal(double utc) const override;
    std::string ShortDate(double local) const override;
};

class TWin32ModuleFacts : public TModuleFacts {
  public:
    bool ModuleFileName(std::string& out) const override;
    uint32_t UserDefaultLcid() const override;
    std::string ServiceHostName() const override;
    bool ProtectedMode() const override;
    // Made when first asked for while protected, so that the download can be created.
    std::string WritableFolder() const override;
};

// The bars' windows, newest last. Message boxes, the About box, menus at
// screen coordinates and the server output console belong to the top-level
// (browser) window of the newest bar still alive: with several browser
// windows, the bar that came last may have closed, and a box whose owner is
// gone does not show at all.
class TOwnerWindows {
  public:
    void Add(HWND window);
    void Remove(HWND window);
    // Null when no bar's window is alive.
    HWND Current() const;

  private:
    std::vector<HWND> windows;
};

// New browser windows: the browser program started through the shell with
// the link as its one argument.
class TWin32HostActions : public THostActions {
  public:
    explicit TWin32HostActions(const TOwnerWindows& owners,
                               std::string browserProgram = "iexplore.exe")
        : owners(owners), program(std::move(browserProgram)) {}
    int OpenBrowserWindow(const std::string& link) override;
    void ShowMessage(const std::string& text) override;
    // The program new browser windows are, by name or path.
    void SetBrowserProgram(std::string browserProgram) { program = std::move(browserProgram); }

  private:
    const TOwnerWindows& owners;
    std::string program;
};

// The link as one argument of a command line: quoted, with the quote
// characters it holds escaped as in an address, so that it stays one.
std::string QuotedLinkArgument(const std::string& link);

class TWin32Environment : public TEnvironment {
  public:
    std::optional<std::string> Lookup(const std::string& name) const override;
};

// Maps components to their windows, so that menus open where the core
// says; the bar window registers its controls here. Menus with screen
// coordinates belong to the default owner.
class TWin32MenuTracker : public TMenuTracker {
  public:
    explicit TWin32MenuTracker(const TOwnerWindows& owners) : owners(owners) {}
    int16_t ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                          const TComponent* control) override;
    void Register(const TComponent* component, HWND window) { windows[component] = window; }
    void Unregister(const TComponent* component) { windows.erase(component); }

  private:
    const TOwnerWindows& owners;
    std::map<const TComponent*, HWND> windows;
};

class TWin32Clipboard : public TClipboard {
  public:
    explicit TWin32Clipboard(TMessageWindow& owner) : owner(owner) {}
    void SetText(const std::string& text) override;

  private:
    TMessageWindow& owner;
};

class TWin32Sound : public TSound {
  public:
    void PlayAlias(const std::string& alias) override;
};

class TWin32Dialogs : public TModalDialogs {
  public:
    explicit TWin32Dialogs(const TOwnerWindows& owners) : owners(owners) {}
    int ShowAboutBox(TAboutForm& form) override;
    int ShowReportBox(TReportForm& form) override;

  private:
    const TOwnerWindows& owners;
};

struct TWin32Kit {
    TWin32Kit()
        : scheduler(window), sockets(window), metrics(fonts), host(owners), menus(owners),
          clipboard(window), dialogs(owners) {}

    TMessageWindow window; // first made, last destroyed
    TOwnerWindows owners;
    TFontCache fonts;
    TWin32Clock clock;
    TWin32Scheduler scheduler;
    TWin32Registry registry;
    TWin32SocketFactory sockets;
    TGdiTextMetrics metrics;
    TWin32ModuleFacts module;
    TWin32HostActions host;
    TWin32Environment environment;
    TWin32MenuTracker menus;
    TWin32Clipboard clipboard;
    TWin32Sound sound;
    TWin32Dialogs dialogs;
    TWin32WebBrowserFactory browsers;
    TWin32Files files;

    TKit Kit() {
        return TKit{clock,       scheduler, registry,  metrics, module,  host,     sockets,
                    environment, menus,     clipboard, sound,   dialogs, browsers, files};
    }
};

} // namespace navlet::win32
