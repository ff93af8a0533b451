// The modal steps in the page: a popup menu, a message box and the About box
// are elements over the panel, and the core's call waits for the user's
// answer through Asyncify while the page goes on delivering timer ticks and
// socket messages. One waits at a time: a second menu cannot open inside
// the first, and a message meanwhile shows without waiting.
#include <emscripten.h>

#include "client/art/pictures.h"
#include "client/web/kit/bar_text.h"
#include "client/web/kit/web_kit.h"

namespace navlet::web {

namespace {

using emscripten::val;

bool modalOpen = false;

class TModalScope {
  public:
    TModalScope() { modalOpen = true; }
    ~TModalScope() { modalOpen = false; }
    TModalScope(const TModalScope&) = delete;
    TModalScope& operator=(const TModalScope&) = delete;
};

// clang-format off
EM_ASYNC_JS(int, navlet_menu_wait, (emscripten::EM_VAL entriesHandle, const char* anchor, int x,
                                    int y), {
    var entries = Emval.toValue(entriesHandle);
    return await Module.navletShowMenu(entries, UTF8ToString(anchor), x, y);
});

EM_ASYNC_JS(int, navlet_message_wait, (const char* text, int wait), {
    var shown = Module.navletShowMessage(UTF8ToString(text));
    if (!wait)
        return 0;
    return await shown;
});

EM_ASYNC_JS(int, navlet_about_wait, (const char* caption, const char* version, const char* ok,
                                     emscripten::EM_VAL pictureHandle), {
    return await Module.navletShowAbout(UTF8ToString(caption), UTF8ToString(version),
                                        UTF8ToString(ok), Emval.toValue(pictureHandle));
});
// clang-format on

val MenuEntries(const TPopupMenu& menu) {
    val entries = val::array();
    for (const TPopupMenu::TEntry& entry : menu.Entries()) {
        val e = val::object();
        e.set("caption", PageText(entry.item.caption));
        e.set("id", int(entry.item.id));
        e.set("enabled", entry.item.enabled);
        e.set("checked", entry.item.checked);
        e.set("separator", entry.IsSeparator());
        if (entry.submenu)
            e.set("submenu", MenuEntries(*entry.submenu));
        entries.call<void>("push", e);
    }
    return entries;
}

} // namespace

bool ModalOpen() {
    return modalOpen;
}

void TWebMenuTracker::Register(const TComponent* model, std::string elementId) {
    elements[model] = std::move(elementId);
}

int16_t TWebMenuTracker::ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                                       const TComponent* control) {
    if (modalOpen)
        return MENU_NOT_SHOWN;
    std::string anchor;
    if (control) {
        auto it = elements.find(control);
        if (it == elements.end())
            return MENU_NOT_SHOWN; // a control the panel does not show
        anchor = it->second;
    }
    val entries = MenuEntries(menu);
    const TModalScope scope;
    const int chosen = navlet_menu_wait(entries.as_handle(), anchor.c_str(), x, y);
    return chosen > 0 && chosen <= 0xFFFF ? int16_t(uint16_t(chosen)) : MENU_DISMISSED;
}

void TWebHostActions::ShowMessage(const std::string& text) {
    if (modalOpen) {
        navlet_message_wait(PageText(text).c_str(), /*wait=*/0);
        return;
    }
    const TModalScope scope;
    navlet_message_wait(PageText(text).c_str(), /*wait=*/1);
}

int TWebDialogs::ShowAboutBox(TAboutForm& form) {
    if (modalOpen) {
        form.modalResult = 0;
        return 0;
    }
    const art::TPicture& p = art::aboutPicture;
    val picture = val::object();
    picture.set("width", p.width);
    picture.set("height", p.height);
    picture.set("pixels",
                val(emscripten::typed_memory_view(size_t(p.width) * size_t(p.height), p.pixels)));
    const TModalScope scope;
    const int result =
        navlet_about_wait(PageText(form.caption).c_str(), PageText(form.versionLabel).c_str(),
                          PageText(form.okCaption).c_str(), picture.as_handle());
    form.modalResult = result == MODAL_RESULT_OK ? MODAL_RESULT_OK : 0;
    return form.modalResult;
}

} // namespace navlet::web
