// The modal steps in the page: a popup menu, a message box, the About box and
// the report box are elements over the panel, and the core's call waits for the user's
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

// The box writes the user's answers into the form object it was given.
EM_ASYNC_JS(int, navlet_report_wait, (emscripten::EM_VAL formHandle), {
    return await Module.navletShowReport(Emval.toValue(formHandle));
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

int TWebDialogs::ShowReportBox(TReportForm& form) {
    form.modalResult = 0;
    if (modalOpen)
        return 0;
    val reasons = val::array();
    for (const std::string& reason : form.reasons)
        reasons.call<void>("push", PageText(reason));
    val box = val::object();
    box.set("caption", PageText(form.caption));
    box.set("prompt", PageText(form.prompt));
    box.set("reasons", reasons);
    box.set("reason", form.reason);
    box.set("textLabel", PageText(form.textLabel));
    box.set("text", PageText(form.text));
    box.set("textMaxLength", form.textMaxLength);
    box.set("alsoIgnoreCaption", PageText(form.alsoIgnoreCaption));
    box.set("alsoIgnore", form.alsoIgnore);
    box.set("okCaption", PageText(form.okCaption));
    box.set("cancelCaption", PageText(form.cancelCaption));
    const TModalScope scope;
    const int result = navlet_report_wait(box.as_handle());
    if (result != MODAL_RESULT_OK)
        return 0;
    // What the page gives back is checked like any typed text.
    const val reason = box["reason"];
    form.reason = reason.isNumber() ? reason.as<int>() : -1;
    const val text = box["text"];
    form.text = text.isString() ? TypedBarText(text.as<std::string>()).text : "";
    form.alsoIgnore = box["alsoIgnore"].as<bool>();
    form.modalResult = MODAL_RESULT_OK;
    return form.modalResult;
}

} // namespace navlet::web
