#include "client/web/kit/web_browser.h"

#include <map>

#include <emscripten.h>

#include "client/web/kit/ansi.h"

namespace navlet::web {

namespace {

using emscripten::val;

std::map<int, TWebBannerBrowser*>& Browsers() {
    static std::map<int, TWebBannerBrowser*> browsers;
    return browsers;
}

int nextBrowserId = 1;

// clang-format off
EM_JS(void, navlet_frame_make, (int id), {
    var frames = Module.navletFrames || (Module.navletFrames = {});
    var frame = document.createElement("iframe");
    frame.setAttribute("id", "CppWebBrowser");
    frame.setAttribute("frameborder", "0");
    frame.setAttribute("scrolling", "no");
    frame.style.border = "0";
    frames[id] = {frame: frame, serial: 0};
});

EM_JS(void, navlet_frame_drop, (int id), {
    var frames = Module.navletFrames || {};
    if (frames[id]) {
        frames[id].frame.remove();
        delete frames[id];
    }
});

// Asks for the page first: an HTTP error, no answer, or headers that forbid
// framing make the load fail without framing it.
EM_JS(void, navlet_frame_navigate, (int id, uint32_t serial, const char* address), {
    var entry = (Module.navletFrames || {})[id];
    if (!entry)
        return;
    var url = UTF8ToString(address);
    entry.serial = serial;
    var report = function(failed) {
        if (entry.serial === serial && Module.navletFrames[id] === entry)
            _navlet_frame_loaded(id, serial, failed ? 1 : 0);
    };
    Module.navletCheckFrame(url).then(function(framable) {
        if (!framable) {
            report(true);
            return;
        }
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
    navlet_frame_navigate(id, serial, AnsiToUtf8(address).c_str());
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
