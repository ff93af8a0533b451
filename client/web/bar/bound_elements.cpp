// The bar's lively controls in the panel: the ticker, the people lists, the
// chat tabs with their conversation, the search box, the keys and the focus.
#include <emscripten.h>

#include "client/core/host.h"
#include "client/web/bar/bar_view.h"
#include "client/web/kit/bar_text.h"
#include "protocol/code_page.h"

namespace navlet::web {

namespace {

constexpr char ESCAPE_CHAR = 27;
constexpr int DOM_KEY_ESCAPE = 27;
constexpr int DOM_KEY_ENTER = 13;

TShiftState ShiftOf(const val& ev) {
    TShiftState s = 0;
    if (ev["shiftKey"].as<bool>())
        s |= ssShift;
    if (ev["altKey"].as<bool>())
        s |= ssAlt;
    if (ev["ctrlKey"].as<bool>())
        s |= ssCtrl;
    const int buttons = ev["buttons"].isUndefined() ? 0 : ev["buttons"].as<int>();
    if (buttons & 1)
        s |= ssLeft;
    if (buttons & 2)
        s |= ssRight;
    if (buttons & 4)
        s |= ssMiddle;
    return s;
}

TMouseButton ButtonOf(const val& ev) {
    const int b = ev["button"].as<int>();
    return b == 2 ? TMouseButton::mbRight : b == 1 ? TMouseButton::mbMiddle : TMouseButton::mbLeft;
}

// clang-format off
// The selection inside a conversation element, as offsets into its text in
// the page's UTF-16 units: [start, length], or null.
EM_JS(emscripten::EM_VAL, navlet_selection_in, (emscripten::EM_VAL viewHandle), {
    return Emval.toHandle(Module.navletSelectionIn(Emval.toValue(viewHandle)));
});
// clang-format on

} // namespace

void TBarView::BuildTicker() {
    val ticker = Part(TPart::msg_img, "canvas");
    menus.Register(&bar.msg_img, "msg_img");
    Watch(bar.msg_img, [this] { PaintTicker(); });
    Listen(ticker, "mousemove",
           [this](val ev) { bar.msg_imgMouseMove(ShiftOf(ev), OffsetX(ev), OffsetY(ev)); });
    Listen(ticker, "mousedown", [this](val ev) {
        bar.msg_imgMouseDown(ButtonOf(ev), ShiftOf(ev), OffsetX(ev), OffsetY(ev));
    });
}

void TBarView::PaintTicker() {
    val canvas = Placed(TPart::msg_img);
    if (canvas.isNull())
        return;
    const TRect r = bar.Layout().Rect(TPart::msg_img);
    if (canvas["width"].as<int>() != r.Width())
        canvas.set("width", std::max(0, r.Width()));
    if (canvas["height"].as<int>() != r.Height())
        canvas.set("height", std::max(0, r.Height()));
    canvas["style"].set("cursor",
                        bar.msg_img.Cursor() == TCursor::crHandPoint ? "pointer" : "default");
    TWebCanvas surface(canvas);
    bar.msg_paint(surface);
}

void TBarView::RenderList(TListView& model, val element) {
    element.set("innerHTML", std::string());
    for (int i = 0; i < model.Count(); ++i) {
        const TListItem& item = model.Item(i);
        val row = Document().call<val>("createElement", std::string("div"));
        row.call<void>("setAttribute", std::string("class"),
                       std::string(i == model.Selected() ? "entry selected" : "entry"));
        row.call<void>("appendChild", PictureCanvas(art::stateImages, item.stateIndex));
        val caption = Document().call<val>("createElement", std::string("span"));
        caption.set("textContent", PageText(item.caption));
        row.call<void>("appendChild", caption);
        row.set("navletRow", i);
        element.call<void>("appendChild", row);
    }
}

void TBarView::BuildLists() {
    using TPopup = void (TNavlet::*)(int32_t, int32_t, bool&);
    const std::tuple<TPart, TListView*, TPopup> lists[] = {
        {TPart::lvUsers, &bar.lvUsers, &TNavlet::lvUsersPopup},
        {TPart::lvFriends, &bar.lvFriends, &TNavlet::lvFriendsPopup}};
    for (auto [part, model, popup] : lists) {
        val list = Part(part);
        list.call<void>("setAttribute", std::string("class"), std::string("people"));
        TListView& m = *model;
        Watch(m, [this, &m, list] { RenderList(m, list); });
        menus.Register(model, LayoutRow(part).name);
        // A click on an entry selects it and opens its menu once the click's
        // own handling is over; the list may change meanwhile.
        auto open = [this, &m, list, popup = popup](val ev) {
            val row = ev["target"].call<val>("closest", std::string(".entry"));
            if (row.isNull())
                return;
            const int index = row["navletRow"].as<int>();
            const int x = row["offsetLeft"].as<int>();
            const int y = row["offsetTop"].as<int>() - list["scrollTop"].as<int>();
            Post([this, &m, popup, index, x, y] {
                if (index >= m.Count())
                    return;
                m.SetSelected(index);
                bool handled = false;
                (bar.*popup)(x, y, handled);
            });
        };
        Listen(list, "click", open);
        Listen(list, "contextmenu", open, TDefault::Prevent);
    }
    Listen(Placed(TPart::lvUsers), "focus", [this](val) { bar.ActiveControl.SetFocus(ftLvUsers); });
}

void TBarView::BuildChat() {
    val pages = Part(TPart::PageControl);
    pages["style"].set("background", "#ffffff");
    tabStrip = MakeElement("div", "PageControlTabs", pages);
    tabStrip.call<void>("setAttribute", std::string("class"), std::string("tabs"));
    chatView = MakeElement("div", "ChatView", pages);
    chatView.call<void>("setAttribute", std::string("class"), std::string("chat"));
    // The strip takes its text's height and the conversation the rest, in
    // the control's flow (panel.css), whatever the text size.
    tabStrip["style"].set("position", "relative");
    chatView["style"].set("position", "relative");
    menus.Register(&bar.PageControl, "PageControlTabs");
    Watch(bar.PageControl, [this] { RenderTabs(); });
    // From the keyboard the arrows choose the tab, as the mouse does.
    Listen(tabStrip, "keydown", [this](val ev) {
        const std::string key = ev["key"].as<std::string>();
        const int step = key == "ArrowRight" ? 1 : key == "ArrowLeft" ? -1 : 0;
        const int index = bar.PageControl.ActivePageIndex() + step;
        if (step == 0 || index < 0 || index >= bar.PageControl.PageCount())
            return;
        bar.PageControl.SetActivePageIndex(index);
        bar.PageControlChange();
    });
    Listen(tabStrip, "click", [this](val ev) {
        val tab = ev["target"].call<val>("closest", std::string(".tab"));
        if (tab.isNull())
            return;
        const int index = tab["navletTab"].as<int>();
        if (index < 0 || index >= bar.PageControl.PageCount() ||
            index == bar.PageControl.ActivePageIndex())
            return;
        bar.PageControl.SetActivePageIndex(index);
        bar.PageControlChange();
    });
    Listen(
        tabStrip, "contextmenu",
        [this](val ev) {
            bool handled = false;
            bar.ChatContextPopup(bar.PageControl, OffsetX(ev), OffsetY(ev), handled);
        },
        TDefault::Prevent);
    Listen(
        chatView, "contextmenu",
        [this](val ev) {
            if (!shownView)
                return;
            bool handled = false;
            bar.ChatContextPopup(*shownView, OffsetX(ev), OffsetY(ev), handled);
        },
        TDefault::Prevent);
    Listen(chatView, "mouseup", [this](val ev) {
        if (shownView) {
            val sel = val::take_ownership(navlet_selection_in(chatView.as_handle()));
            if (!sel.isNull()) {
                // The model counts bytes of its UTF-8.
                const std::string all = shownView->Text();
                const size_t from = sel[0].as<size_t>();
                const size_t start = Utf8OffsetOfUtf16(all, from);
                shownView->SetSelection(start,
                                        Utf8OffsetOfUtf16(all, from + sel[1].as<size_t>()) - start);
            }
        }
        if (ButtonOf(ev) == TMouseButton::mbRight)
            return; // the context menu gave the form its release already
        bar.ChatMouseUp(ButtonOf(ev), ShiftOf(ev), OffsetX(ev), OffsetY(ev));
    });
}

void TBarView::RenderTabs() {
    TPageControl& control = bar.PageControl;
    tabStrip.set("innerHTML", std::string());
    for (int i = 0; i < control.PageCount(); ++i) {
        TTabSheet& sheet = control.Page(i);
        if (!sheet.visible)
            continue;
        val tab = Document().call<val>("createElement", std::string("span"));
        std::string cls = "tab";
        if (i == control.ActivePageIndex())
            cls += " active";
        if (sheet.highlighted)
            cls += " highlighted";
        tab.call<void>("setAttribute", std::string("class"), cls);
        tab.set("textContent", PageText(TabLabel(sheet)));
        if (i == control.ActivePageIndex())
            tab.call<void>("setAttribute", std::string("aria-selected"), std::string("true"));
        tab.set("navletTab", i);
        tabStrip.call<void>("appendChild", tab);
    }
    TChatView* active = nullptr;
    if (control.ActivePageIndex() >= 0 && control.ActivePageIndex() < control.PageCount())
        active = control.Page(control.ActivePageIndex()).view.get();
    if (active != shownView) {
        if (shownView)
            shownView->IsAtEnd = nullptr;
        shownView = active;
        shownScrollRequests = -1;
        viewObservation = {};
        if (active) {
            // A reader scrolled up keeps the place when a line comes.
            active->IsAtEnd = [view = chatView] {
                return view["scrollTop"].as<double>() + view["clientHeight"].as<double>() >=
                       view["scrollHeight"].as<double>() - 2;
            };
            menus.Register(active, "ChatView");
            viewObservation =
                active->Watch([this] { RenderChatView(); }, [this] { shownView = nullptr; });
        }
    }
    RenderChatView();
}

void TBarView::RenderChatView() {
    // Rebuilding the rows moves the scroll: the place the reader had comes back.
    const val place = chatView["scrollTop"];
    chatView.set("innerHTML", std::string());
    if (!shownView)
        return;
    size_t offset = 0;
    for (const TChatLine& line : shownView->Lines()) {
        val row = Document().call<val>("createElement", std::string("div"));
        row.set("navletOffset", double(offset));
        for (const TTextRun& run : line.runs) {
            val span = Document().call<val>("createElement", std::string("span"));
            span.set("textContent", PageText(run.text));
            span["style"].set("color", CssColor(run.color));
            if (run.bold)
                span["style"].set("fontWeight", "bold");
            if (run.italic)
                span["style"].set("fontStyle", "italic");
            row.call<void>("appendChild", span);
        }
        chatView.call<void>("appendChild", row);
        const std::string text = line.Text();
        offset += Utf16OffsetOfUtf8(text, text.size()) + 1; // in the page's UTF-16 units
    }
    if (shownView->ScrollRequests() != shownScrollRequests) {
        shownScrollRequests = shownView->ScrollRequests();
        chatView.set("scrollTop", chatView["scrollHeight"]);
        return;
    }
    chatView.set("scrollTop", place);
}

void TBarView::BuildSearchBox() {
    val box = Part(TPart::cbSearch, "input");
    box.call<void>("setAttribute", std::string("list"), std::string("cbSearchItems"));
    box["style"].set("font", "inherit");
    box.set("maxLength", 20);
    val items = MakeElement("datalist", "cbSearchItems", Placed(TPart::SearchPanel));
    Watch(bar.cbSearch, [this, box, items]() mutable {
        items.set("innerHTML", std::string());
        for (int i = 0; i < bar.cbSearch.ItemCount(); ++i) {
            val option = Document().call<val>("createElement", std::string("option"));
            option.set("value", PageText(bar.cbSearch.Item(i).caption));
            items.call<void>("appendChild", option);
        }
        const std::string text = PageText(bar.cbSearch.Text());
        if (box["value"].as<std::string>() != text)
            box.set("value", text);
    });
    // Choosing a drop-down item types its caption: that is the item chosen.
    Listen(box, "input", [this](val ev) {
        const std::string text = BarText(ev["target"]["value"].as<std::string>());
        for (int i = 0; i < bar.cbSearch.ItemCount(); ++i) {
            if (bar.cbSearch.Item(i).caption == text) {
                bar.cbSearch.SetItemIndex(i);
                return;
            }
        }
        bar.cbSearch.SetText(text);
    });
    Listen(box, "focus", [this](val) { bar.EditEnter(ftCbSearch); });
    // Keys typed into the search and friends panels keep the panel open (or
    // close it at Escape); Enter is the band's key: it searches.
    for (TPart part : {TPart::cbSearch, TPart::edSearchMsg, TPart::lvFriends}) {
        Listen(Placed(part), "keydown", [this](val ev) {
            const int code = ev["keyCode"].as<int>();
            if (code == DOM_KEY_ESCAPE) {
                bar.OnBnrPnlKeyPress(ESCAPE_CHAR);
                return;
            }
            if (code == DOM_KEY_ENTER)
                return;
            const std::string key = ev["key"].as<std::string>();
            bar.OnBnrPnlKeyPress(key.size() == 1 ? key[0] : '\0');
        });
    }
}

void TBarView::BindKeys() {
    // The panel is its own document: every key goes to the band first, as
    // the platform browser offers it, and the core routes it.
    Listen(Document(), "keydown", [this](val ev) {
        // A menu or a box waiting for its answer has the keys, as a modal
        // loop would.
        if (ModalOpen())
            return;
        TKeyMessage key;
        key.virtualKey = uint32_t(ev["keyCode"].as<int>());
        key.altDown = ev["altKey"].as<bool>();
        key.ctrlDown = ev["ctrlKey"].as<bool>();
        switch (bar.TranslateAcceleratorIO(key)) {
        case TKeyAction::SendChat:
        case TKeyAction::SignIn:
        case TKeyAction::Search:
            ev.call<void>("preventDefault");
            break;
        default:
            break; // on to the focused control
        }
    });
}

void TBarView::BindFocus() {
    observations.push_back(bar.ActiveControl.Watch([this] {
        const char* id = nullptr;
        switch (bar.ActiveControl.Target()) {
        case ftEdit1:
            id = "Edit1";
            break;
        case ftEdNck:
            id = "edNck";
            break;
        case ftEdPwd:
            id = "edPwd";
            break;
        case ftCbSearch:
            id = "cbSearch";
            break;
        case ftEdSearchMsg:
            id = "edSearchMsg";
            break;
        case ftLvUsers:
            id = "lvUsers";
            break;
        default:
            return;
        }
        val element = Document().call<val>("getElementById", std::string(id));
        if (!element.isNull() && element != Document()["activeElement"])
            element.call<void>("focus");
    }));
    // A control that does not report its own focus is the form's "other".
    Listen(Document(), "focusin", [this](val ev) {
        const std::string id =
            ev["target"]["id"].isUndefined() ? std::string() : ev["target"]["id"].as<std::string>();
        for (const char* own : {"Edit1", "edNck", "edPwd", "cbSearch", "edSearchMsg", "lvUsers"})
            if (id == own)
                return;
        if (bar.ActiveControl.Target() != ftOther)
            bar.ActiveControl.SetFocus(ftOther);
    });
}

} // namespace navlet::web
