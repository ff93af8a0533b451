#include "client/web/kit/web_browser.h"

#include <map>

#include <emscripten.h>

#include "client/web/kit/bar_text.h"

namespace navlet::web {

namespace {

using emscripten::val;

std::map<int, TWebBannerBrowser*>& Browsers() {
    static std::map<int, TWebBannerBrowser*> browsers;
    return browsers;
}

int nextBrowserId = 1;

// clang-format off
// A banner is somebody else's page: it may run its scripts, but it may not
// navigate the panel, open windows, send forms or reach storage of its own,
// and it does not learn the panel's address. A loaded banner takes no input
// (a page drawn like the login panel cannot take a password): a click on it
// lands on the panel under it, which opens the page's link in a new tab.
EM_JS(void, navlet_frame_make, (int id), {
    var frames = Module.navletFrames || (Module.navletFrames = {});
    var frame = document.createElement("iframe");
    frame.setAttribute("id", "CppWebBrowser");
    frame.setAttribute("frameborder", "0");
    frame.setAttribute("scrolling", "no");
    frame.setAttribute("sandbox", "allow-scripts");
    frame.setAttribute("referrerpolicy", "no-referrer");
    frame.style.border = "0";
    var entry = {frame: frame, serial: 0, link: ""};
    entry.onClick = function(e) {
        var r = frame.getBoundingClientRect();
        var inside = e.clientX >= r.left && e.clientX < r.right && e.clientY >= r.top &&
                     e.clientY < r.bottom;
        if (entry.link && inside && e.target === frame.parentElement && Module.navletOpenTab)
            Module.navletOpenTab(entry.link);
    };
    document.addEventListener("click", entry.onClick);
    frames[id] = entry;
});

EM_JS(void, navlet_frame_drop, (int id), {
    var frames = Module.navletFrames || {};
    if (frames[id]) {
        document.removeEventListener("click", frames[id].onClick);
        frames[id].frame.remove();
        delete frames[id];
    }
});

// Asks for the page first: an HTTP error, no answer, or headers that forbid
// framing make the load fail without framing it. The answer also names the
// page's link.
EM_JS(void, navlet_frame_navigate, (int id, uint32_t serial, const char* address), {
    var entry = (Module.navletFrames || {})[id];
    if (!entry)
        return;
    var url = UTF8ToString(address);
    entry.serial = serial;
    entry.link = "";
    var report = function(failed) {
        if (entry.serial !== serial || Module.navletFrames[id] !== entry)
            return;
        var panel = entry.frame.parentElement;
        if (panel)
            panel.style.cursor = entry.link ? "pointer" : "";
        _navlet_frame_loaded(id, serial, failed ? 1 : 0);
    };
    Module.navletCheckFrame(url).then(function(answer) {
        if (!answer.framable) {
            report(true);
            return;
        }
        if (entry.serial === serial)
            entry.link = answer.link;
        entry.frame.onload = function() { report(false); };
        entry.frame.src = url;
    });
});

EM_JS(void, navlet_frame_input, (int id, int enabled), {
    var entry = (Module.navletFrames || {})[id];
    if (entry)
        entry.frame.style.pointerEvents = enabled ? "auto" : "none";
});

EM_JS(emscripten::EM_VAL, navlet_frame_element, (int id), {
    var entry = (Module.navletFrames || {})[id];
    return Emval.toHandle(entry ? entry.frame : null);
});
// clang-format on

} // namespace

TWebBannerBrowser::TWebBannerBrowser() : id(nextBrowserId++) {
    Browsers()[id] = this;
    navlet_frame_make(id);
}

TWebBannerBrowser::~TWebBannerBrowser() {
    Browsers().erase(id);
    navlet_frame_drop(id);
}

void TWebBannerBrowser::Navigate(const std::string& address) {
    ++serial;
    navlet_frame_navigate(id, serial, PageText(address).c_str());
}

void TWebBannerBrowser::SetInputEnabled(bool enabled) {
    navlet_frame_input(id, enabled ? 1 : 0);
}

val TWebBannerBrowser::Element() const {
    return val::take_ownership(navlet_frame_element(id));
}

void TWebBannerBrowser::PageLoaded(uint32_t loadSerial, bool failed) {
    if (loadSerial != serial)
        return;
    // The handlers may destroy this browser: nothing of it is touched after.
    std::function<void()> complete = OnDocumentComplete;
    if (failed && OnNavigateError)
        OnNavigateError();
    if (complete)
        complete();
}

} // namespace navlet::web

extern "C" EMSCRIPTEN_KEEPALIVE void navlet_frame_loaded(int id, uint32_t serial, int failed) {
    auto& browsers = navlet::web::Browsers();
    auto it = browsers.find(id);
    if (it != browsers.end())
        it->second->PageLoaded(serial, failed != 0);
}
