// The browser kit: every platform interface of the bar in an extension's
// panel page, over the page's own APIs (timers, Date and Intl, WebSocket,
// the extension's storage, a 2D canvas, elements for menus and boxes).
// Everything runs on the page's one thread; nothing here blocks it, except
// the modal steps, which wait through Asyncify while the page keeps
// delivering timer ticks and socket messages.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <emscripten/val.h>

#include "client/kit/kit.h"

namespace navlet::web {

class TWebClock : public TClock {
  public:
    double LocalNow() const override;
    double UtcNow() const override;
    double UtcToLocal(double utc) const override;
    std::string ShortDate(double local) const override;
};

// Page intervals; a tick looks its timer up again, so a tick may stop any
// timer, its own included.
class TWebScheduler : public TScheduler {
  public:
    ~TWebScheduler() override;
    TTimerHandle Start(uint32_t intervalMs, std::function<void()> tick) override;
    void Stop(TTimerHandle handle) override;
    size_t ActiveCount() const { return ticks.size(); }
    // The page's interval `handle` fired.
    void Tick(TTimerHandle handle);

  private:
    std::map<TTimerHandle, std::function<void()>> ticks;
};

// The settings as the extension's storage keeps them: one item per value,
// named "HKCU\<key>\<value>" (or "HKCR\..."), holding its type and data. The
// panel reads every item before the first bar is made (Load), so reads
// answer at once; every write goes through to the storage.
class TWebRegistry : public TRegistry {
  public:
    enum class TType : uint8_t { String = 1, Integer = 2, Binary = 3 };
    struct TValue {
        TType type = TType::String;
        std::string name; // as first written
        std::string data; // bytes; an integer as 4 little-endian bytes
    };
    struct TKeyData {
        std::map<std::string, TValue> values; // by folded name
    };

    std::unique_ptr<TRegistryKey> OpenKey(THive hive, std::string_view path,
                                          TKeyOpen mode) override;
    // One stored item, as the storage gave it; an item of an unknown type is
    // dropped. Also used when another window's bar changed a value.
    void Load(THive hive, const std::string& path, const std::string& name, TType type,
              std::string data);
    // The storage item's name for a value.
    static std::string ItemName(THive hive, std::string_view path, std::string_view name);

  private:
    friend class TWebRegistryKey;
    std::map<std::string, TKeyData> keys; // by hive prefix and folded path
};

class TWebTextMetrics : public TTextMetrics {
  public:
    TTextCode TextCode() const override { return TTextCode::Utf8; }
    int32_t TextWidth(const TFont& font, const std::string& text) override;
    int32_t LineHeight(const TFont& font) override;
};

// Paints display lists on a canvas element's 2D context.
class TWebCanvas : public TCanvas {
  public:
    explicit TWebCanvas(emscripten::val canvasElement) : canvas(std::move(canvasElement)) {}
    void PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) override;

  private:
    emscripten::val canvas;
};

// The CSS font of a kit font: the point size at 96 dots per inch, in pixels,
// with the fallbacks the other kits' systems give Verdana.
std::string CssFont(const TFont& font, bool bold = false);
// A kit colour as CSS; system colours as the panel's theme shows them.
std::string CssColor(TColor color);

// The settings the host hands in before the first bar: the service's host
// name as the user set it (empty: the service's own) and whether it is
// reached over TLS, its port when not the scheme's (NAVLET_WEB), the
// manifest's version, the user's locale id.
struct THostFacts {
    std::map<std::string, std::string> environment;
    std::string serviceHost;
    // Plain text only where the host says so: a loopback service, or an
    // address the user wrote with http:// or ws://.
    bool secure = true;
    std::string manifestVersion;
    uint32_t lcid = 0x0409;
};

class TWebModuleFacts : public TModuleFacts {
  public:
    explicit TWebModuleFacts(const THostFacts& f) : facts(f) {}
    bool ModuleFileName(std::string& out) const override;
    uint32_t UserDefaultLcid() const override { return facts.lcid; }
    std::string ServiceHostName() const override;
    std::string ServiceWebScheme() const override { return facts.secure ? "https://" : "http://"; }
    std::string HostStatedVersion() const override;
    // The browser updates the extension.
    bool HostUpdatesModule() const override { return true; }
    TShareScope DefaultShareScope() const override { return TShareScope::SiteOnly; }
    // The extension opens it in a tab of its own on install.
    bool HostOpensSignUpPage() const override { return true; }

  private:
    const THostFacts& facts;
};

class TWebEnvironment : public TEnvironment {
  public:
    explicit TWebEnvironment(const THostFacts& f) : facts(f) {}
    std::optional<std::string> Lookup(const std::string& name) const override;

  private:
    const THostFacts& facts;
};

// A new browser window is a new tab of this panel's window.
class TWebHostActions : public THostActions {
  public:
    int OpenBrowserWindow(const std::string& link) override;
    void ShowMessage(const std::string& text) override;
    // A line in the panel's console.
    void NewerModuleOffered(const std::string& version) override;
};

// Maps component models to the ids of their elements, so that menus open
// where the core says.
class TWebMenuTracker : public TMenuTracker {
  public:
    int16_t ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                          const TComponent* control) override;
    void Register(const TComponent* model, std::string elementId);

  private:
    std::map<const TComponent*, std::string> elements;
};

class TWebDialogs : public TModalDialogs {
  public:
    int ShowAboutBox(TAboutForm& form) override;
    int ShowReportBox(TReportForm& form) override;
};

class TWebClipboard : public TClipboard {
  public:
    void SetText(const std::string& text) override;
};

// Every alias plays the short sound the extension ships.
class TWebSound : public TSound {
  public:
    void PlayAlias(const std::string& alias) override;
};

// The bar never writes module files in a browser: the browser updates the
// extension, and the bar downloads none (HostUpdatesModule).
class TWebFiles : public TFiles {
  public:
    bool Exists(const std::string&) override { return false; }
    int32_t Create(const std::string&) override { return NO_FILE; }
    int32_t OpenForWriting(const std::string&) override { return NO_FILE; }
    bool WriteAt(int32_t, int64_t, std::span<const uint8_t>) override { return false; }
    void Close(int32_t) override {}
    int64_t Size(const std::string&) override { return -1; }
    bool ReadAt(const std::string&, uint64_t, size_t, uint8_t*) override { return false; }
    bool Rename(const std::string&, const std::string&) override { return false; }
    bool Delete(const std::string&) override { return false; }
};

// Whether a modal step (menu, message box, About or report box) waits now: a second
// one cannot wait inside the first, so it is refused or shown without
// waiting.
bool ModalOpen();

} // namespace navlet::web
