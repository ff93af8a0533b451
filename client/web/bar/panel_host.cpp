// The panel page's bar: one per panel document (one per browser window). The
// page's script hands in the stored settings and the host's facts, then
// starts the bar; afterwards it reports its window's active tab, the
// panel's size and its closing. The bar reaches the tab through THostControl.
#include <cstdlib>
#include <memory>
#include <string_view>

#include <emscripten.h>

#include "client/core/connection.h"
#include "client/core/console.h"
#include "client/web/bar/bar_view.h"
#include "client/web/kit/bar_text.h"
#include "client/web/kit/web_browser.h"
#include "client/web/kit/web_socket.h"

namespace navlet::web {

namespace {

// clang-format off
EM_JS(void, navlet_flash_window, (), {
    if (Module.navletFlash)
        Module.navletFlash();
});

// The page badges its toolbar button and notifies the desktop while it is
// not looked at; it says when the user looks (navlet_attention_seen).
EM_JS(void, navlet_attention, (int count, const char* latest, int notify), {
    if (Module.navletAttention)
        Module.navletAttention(count, UTF8ToString(latest), !!notify);
});

EM_JS(void, navlet_console_show, (const char* line), {
    if (Module.navletConsoleLine)
        Module.navletConsoleLine(UTF8ToString(line));
});
// clang-format on

// The panel plays the browser window around the bar: the window's active tab
// is the page the band sees.
class TPanelHost : public THostControl {
  public:
    std::string LocationURL() override { return url; }
    // A new tab in the panel's window, as "accept invitation" opens one.
    void OpenNewWindow(const std::string& address) override;
    void FlashBrowserWindow() override { navlet_flash_window(); }
    // Only a band asks: the core minimises a side panel by collapsing its
    // banner area. Kept for a bar told it is a band: its top strip shows.
    void ResizeBandSite(int32_t height) override;
    void FocusChanged(bool) override {}
    void SuppressFaultDialogs() override {}
    void CloseInPlaceWindow() override;

    std::string url;
};

struct TWebKit {
    explicit TWebKit(const THostFacts& facts)
        : module(facts), environment(facts),
          sockets(SessionUrl(WebSiteHost(environment, module.ServiceHostName()),
                             facts.secure ? TTransport::Tls : TTransport::Plain)) {}

    TWebClock clock;
    TWebScheduler scheduler;
    TWebRegistry registry;
    TWebTextMetrics metrics;
    TWebModuleFacts module;
    TWebHostActions host;
    TWebEnvironment environment;
    TWebSocketFactory sockets;
    TWebMenuTracker menus;
    TWebClipboard clipboard;
    TWebSound sound;
    TWebDialogs dialogs;
    TWebBrowserFactory browsers;
    TWebFiles files;

    TKit Kit() {
        return TKit{clock,       scheduler, registry,  metrics, module,  host,     sockets,
                    environment, menus,     clipboard, sound,   dialogs, browsers, files};
    }
};

struct TPanel {
    THostFacts facts;
    TWebRegistry loaded; // the stored settings, until the kit takes them
    std::unique_ptr<TWebKit> kit;
    std::unique_ptr<TNavlet> bar;
    std::unique_ptr<TBarView> view;
    TPanelHost host;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bandHeight = 0; // 0: the panel's whole height
    bool closed = false;
};

} // namespace

void ShowConsoleLine(const std::string& line) {
    navlet_console_show(PageText(line).c_str());
}

namespace {

TPanel& ThePanel() {
    static TPanel panel;
    return panel;
}

void LayOutPanel() {
    TPanel& p = ThePanel();
    if (!p.view)
        return;
    const int32_t h = p.bandHeight > 0 ? std::min(p.bandHeight, p.height) : p.height;
    p.view->Resize(p.width, h);
}

void TPanelHost::ResizeBandSite(int32_t height) {
    TPanel& p = ThePanel();
    p.bandHeight = height > BAR_MIN_HEIGHT ? 0 : BAR_MIN_HEIGHT;
    // The band site resizes after the call, as the browser lays the band out.
    Post([] { LayOutPanel(); });
}

void TPanelHost::OpenNewWindow(const std::string& address) {
    TPanel& p = ThePanel();
    if (p.kit)
        p.kit->host.OpenBrowserWindow(address);
}

void TPanelHost::CloseInPlaceWindow() {
    TPanel& p = ThePanel();
    if (p.bar)
        p.bar->Form.SetVisible(false);
}

} // namespace

} // namespace navlet::web

using navlet::web::ThePanel;
namespace web = navlet::web;

extern "C" {

// A stored settings value: hive 0 the current user's, 1 the classes root.
EMSCRIPTEN_KEEPALIVE void navlet_registry_load(int hive, const char* path, const char* name,
                                               int type, const uint8_t* data, int size) {
    navlet::web::TPanel& p = ThePanel();
    navlet::web::TWebRegistry& registry = p.kit ? p.kit->registry : p.loaded;
    registry.Load(hive == 1 ? navlet::THive::ClassesRoot : navlet::THive::CurrentUser, path, name,
                  navlet::web::TWebRegistry::TType(type),
                  std::string(reinterpret_cast<const char*>(data), size_t(std::max(size, 0))));
}

// "service" the service's host name and "secure" ("0" for plain text) as the
// user's address gives them, NAVLET_WEB its host:port when the port is not
// the scheme's, "version" the manifest's, "lcid" the user's locale id.
EMSCRIPTEN_KEEPALIVE void navlet_set_fact(const char* name, const char* value) {
    navlet::web::THostFacts& facts = ThePanel().facts;
    const std::string key = name;
    if (key == "version")
        facts.manifestVersion = value;
    else if (key == "lcid")
        facts.lcid = uint32_t(std::strtoul(value, nullptr, 10));
    else if (key == "service")
        facts.serviceHost = value;
    else if (key == "secure")
        facts.secure = std::string_view(value) != "0";
    else
        facts.environment[key] = value;
}

EMSCRIPTEN_KEEPALIVE void navlet_start(int width, int height, const char* url, int complete) {
    using namespace navlet;
    web::TPanel& p = ThePanel();
    if (p.bar)
        return;
    // The console's lines go to the page's console (and its panel element).
    if (!OnConsoleCreated)
        OnConsoleCreated = [](TConsoleForm& console) {
            static TModel::TObservation watch;
            static size_t shown = 0;
            shown = 0;
            watch = console.Watch([&console] {
                for (; shown < console.Log().size(); ++shown)
                    web::ShowConsoleLine(console.Log()[shown]);
                shown = std::min(shown, console.Log().size());
            });
        };
    p.kit = std::make_unique<web::TWebKit>(p.facts);
    p.kit->registry = std::move(p.loaded);
    p.width = width;
    p.height = height;
    p.host.url = url;
    p.bar = std::make_unique<TNavlet>(p.kit->Kit());
    p.bar->SetHostShape(THostShape::SidePanel);
    p.bar->FormResized(width, height);
    p.view = std::make_unique<web::TBarView>(*p.bar, p.kit->menus, p.kit->browsers);
    p.bar->AttachHost(p.host);
    static TModel::TObservation attention;
    const auto tell = [&bar = *p.bar] {
        web::navlet_attention(bar.Attention.Count(), web::PageText(bar.Attention.Latest()).c_str(),
                              bar.Attention.Notify() ? 1 : 0);
    };
    attention = p.bar->Attention.Watch(tell);
    // The stored choice first: the page tells it from one the user makes now.
    tell();
    p.bar->ShowDW(true);
    p.bar->UIActivateIO(true);
    if (complete)
        p.bar->BrowserDocumentComplete();
}

EMSCRIPTEN_KEEPALIVE void navlet_panel_resized(int width, int height) {
    web::TPanel& p = ThePanel();
    p.width = width;
    p.height = height;
    navlet::web::LayOutPanel();
}

// The window's active tab shows `url`; `complete` when its load finished
// (or the user switched to it): the browser's document-complete event.
EMSCRIPTEN_KEEPALIVE void navlet_tab_state(const char* url, int complete) {
    web::TPanel& p = ThePanel();
    p.host.url = url;
    if (p.bar && complete && !p.closed)
        p.bar->BrowserDocumentComplete();
}

// The user looks at the panel (its window focused and the panel shown).
EMSCRIPTEN_KEEPALIVE void navlet_attention_seen() {
    web::TPanel& p = ThePanel();
    if (p.bar)
        p.bar->Attention.Seen();
}

// The browser refused the notifications' permission: the choice goes off.
EMSCRIPTEN_KEEPALIVE void navlet_notifications_refused() {
    web::TPanel& p = ThePanel();
    if (p.bar)
        p.bar->SetDesktopNotifications(false);
}

// The keyboard command: the chat line takes the caret.
EMSCRIPTEN_KEEPALIVE void navlet_focus_chat() {
    web::TPanel& p = ThePanel();
    if (p.bar && !p.closed)
        p.bar->EditEnter(navlet::ftEdit1);
}

// Another page (the options page) changed what of a page leaves the
// browser, after its values were loaded: the shown page is judged again at
// once, paused, reported anew or left as it was.
EMSCRIPTEN_KEEPALIVE void navlet_privacy_changed() {
    web::TPanel& p = ThePanel();
    if (p.bar && !p.closed)
        p.bar->CheckSiteUrl();
}

// The panel goes away: the band is closed (its session with it) and the
// bar let go of its site.
EMSCRIPTEN_KEEPALIVE void navlet_panel_closing() {
    web::TPanel& p = ThePanel();
    if (!p.bar || p.closed)
        return;
    p.closed = true;
    p.bar->ShowDW(false);
    p.bar->CloseDW();
    p.bar->DetachHost();
}
}
