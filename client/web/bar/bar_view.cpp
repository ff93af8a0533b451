#include "client/web/bar/bar_view.h"

#include "client/core/module_state.h"
#include "client/web/kit/bar_text.h"
#include "client/web/kit/web_browser.h"

namespace navlet::web {

namespace {

constexpr TColor WHITE = Rgb(255, 255, 255);
// The banner pictures' deep blue, under white labels.
constexpr TColor PANEL_GROUND = Rgb(38, 86, 160);

void SetBackground(val& element, TColor colour) {
    element["style"].set("background", CssColor(colour));
}

// A canvas over the whole of its element: it shows a picture of its own.
void FillWith(val& element, val canvas) {
    canvas["style"].set("position", "absolute");
    canvas["style"].set("left", "0");
    canvas["style"].set("top", "0");
    element.call<void>("appendChild", canvas);
}

} // namespace

TBarView::TBarView(TNavlet& b, TWebMenuTracker& m, const TWebBrowserFactory& w)
    : bar(b), menus(m), browsers(w), placed(PART_COUNT, val::null()) {
    val form = MakeElement("div", "Form", val::null());
    form["style"].set("overflow", "hidden");
    form["style"].set("font", CssFont(bar.FormFont()));
    SetBackground(form, clSkyBlue);
    placed[size_t(TPart::Form)] = form;
    menus.Register(&bar.Form, "Form");
    for (TPart part : {TPart::Panel1, TPart::LeftPanel, TPart::ChatMsgPanel, TPart::Panel4,
                       TPart::CentralPanel, TPart::BannerPanel, TPart::RightPanel, TPart::msg_pnl,
                       TPart::BtnPanel1, TPart::BtnPanel2})
        Panel(part, clSkyBlue);
    BuildBannerPanels();
    BuildLabels();
    BuildEdits();
    BuildButtons();
    BuildTicker();
    BuildLists();
    BuildChat();
    BuildSearchBox();
    BuildLowerStrip();
    BindKeys();
    BindFocus();
    BindVisible(TPart::Form, bar.Form);
    BindVisible(TPart::ChatMsgPanel, bar.ChatMsgPanel);
    LayOut();
    // The core lays the form out again after it changes the style: the
    // elements follow once its handler is over.
    observations.push_back(bar.PanelStyle.Watch([this] {
        Post([this] {
            Placed(TPart::Form)["style"].set("font", CssFont(bar.FormFont()));
            LayOut();
        });
    }));
}

val TBarView::Part(TPart part, const char* tag) {
    val element = MakeElement(tag, LayoutRow(part).name, Placed(LayoutRow(part).parent));
    placed[size_t(part)] = element;
    return element;
}

void TBarView::Panel(TPart part, TColor colour) {
    val panel = Part(part);
    panel["style"].set("overflow", "hidden");
    SetBackground(panel, colour);
}

void TBarView::Watch(TModel& model, std::function<void()> render) {
    render();
    observations.push_back(model.Watch(std::move(render)));
}

void TBarView::BindVisible(TPart part, TControl& model) {
    Watch(model, [this, part, &model] {
        val element = Placed(part);
        ShowElement(element, model.Visible());
    });
}

void TBarView::Resize(int32_t width, int32_t height) {
    bar.FormResized(width, height);
    LayOut();
}

void TBarView::LayOut() {
    const TBarLayout& layout = bar.Layout();
    val form = Placed(TPart::Form);
    PlaceElement(form, layout.Rect(TPart::Form));
    for (size_t i = 1; i < PART_COUNT; ++i) {
        val element = placed[i];
        if (!element.isNull())
            PlaceElement(element, layout.Rect(TPart(i)));
    }
    // In the column the panels show a plain ground of the pictures' blue.
    const bool column = layout.Table() == TLayoutTable::Column;
    for (auto& [part, canvas] : panelPictures) {
        ShowElement(canvas, !column);
        val panel = Placed(part);
        SetBackground(panel, column ? PANEL_GROUND : clSkyBlue);
    }
    PaintTicker();
    PaintLowerStrip();
    OrderTabStops();
}

void TBarView::OrderTabStops() {
    // Everything the core does not list is out of the keyboard's way (the
    // banner's frame, the logo); hidden panels drop out by themselves.
    for (TPart part : {TPart::CppWebBrowser, TPart::navlet_left_img, TPart::msg_img}) {
        val element = Placed(part);
        if (!element.isNull())
            element.set("tabIndex", -1);
    }
    int stop = 1;
    for (TPart part : ReadingOrder(bar.Layout())) {
        val element = part == TPart::PageControl ? tabStrip : Placed(part);
        if (!element.isNull())
            element.set("tabIndex", stop++);
    }
}

void TBarView::BuildBannerPanels() {
    val def = Part(TPart::DefBannerPanel);
    FillDefBannerPixels();
    FillWith(def, ColumnPixelsCanvas(defBannerPixels.data(), DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT));
    BindVisible(TPart::DefBannerPanel, bar.DefBannerPanel);

    const std::pair<TPart, const art::TPicture*> backgrounds[] = {
        {TPart::LoginPanel, &art::loginBackground},
        {TPart::SearchPanel, &art::searchBackground},
        {TPart::FriendPanel, &art::friendsBackground}};
    for (auto [part, picture] : backgrounds) {
        val panel = Part(part);
        SetBackground(panel, clSkyBlue);
        val canvas = PictureCanvas(*picture);
        FillWith(panel, canvas);
        panelPictures.emplace_back(part, canvas);
    }
    BindVisible(TPart::LoginPanel, bar.LoginPanel);
    BindVisible(TPart::SearchPanel, bar.SearchPanel);
    BindVisible(TPart::FriendPanel, bar.FriendPanel);

    val web = Part(TPart::WebPanel);
    web["style"].set("overflow", "hidden");
    SetBackground(web, WHITE);
    if (TWebBannerBrowser* browser = browsers.Of(bar.CppWebBrowser.get())) {
        val frame = browser->Element();
        frame["style"].set("position", "absolute");
        web.call<void>("appendChild", frame);
        placed[size_t(TPart::CppWebBrowser)] = frame;
    }
    BindVisible(TPart::WebPanel, bar.WebPanel);
}

void TBarView::BuildLabels() {
    for (TPart part : {TPart::Label3, TPart::Label1, TPart::Label2, TPart::Label5, TPart::Label4,
                       TPart::Label6, TPart::Label7}) {
        const TLabelText* text = LabelText(part);
        val label = Part(part, "span");
        label.set("textContent", std::string(text->caption));
        val style = label["style"];
        style.set("color", "#ffffff");
        style.set("fontWeight", text->bold ? "bold" : "normal");
        style.set("whiteSpace", text->wrapped ? "normal" : "nowrap");
        style.set("textAlign", text->wrapped ? "right" : "left");
    }
}

void TBarView::BuildEdits() {
    struct TEditPart {
        TPart part;
        TEdit* model;
        TFocusTarget focus;
        const char* type;
    };
    const TEditPart edits[] = {{TPart::edNck, &bar.edNck, ftEdNck, "text"},
                               {TPart::edPwd, &bar.edPwd, ftEdPwd, "password"},
                               {TPart::Edit1, &bar.Edit1, ftEdit1, "text"},
                               {TPart::edSearchMsg, &bar.edSearchMsg, ftEdSearchMsg, "text"}};
    for (const TEditPart& e : edits) {
        val input = Part(e.part, "input");
        input.set("type", std::string(e.type));
        input["style"].set("font", "inherit");
        input["style"].set("padding", "0 1px");
        input["style"].set("border", e.part == TPart::Edit1 ? "0" : "1px solid #7a7a7a");
        input["style"].set("boxSizing", "border-box");
        TEdit& model = *e.model;
        Watch(model, [input, &model]() mutable {
            if (model.MaxLength() > 0)
                input.set("maxLength", model.MaxLength());
            const std::string text = PageText(model.Text());
            if (input["value"].as<std::string>() != text)
                input.set("value", text);
            input.set("placeholder", PageText(model.Placeholder()));
            input["style"].set("color", CssColor(model.FontColor()));
            input["style"].set("background", CssColor(model.Color()));
        });
        Listen(input, "input", [input, &model](val ev) mutable {
            const TTypedText typed = TypedBarText(ev["target"]["value"].as<std::string>());
            if (model.OnTyped)
                model.OnTyped(typed.text, typed.refused);
            else
                model.SetText(typed.text);
            // A refused edit leaves the model as it was: the box shows it again.
            const std::string shown = PageText(model.Text());
            if (input["value"].as<std::string>() != shown)
                input.set("value", shown);
        });
        const TFocusTarget focus = e.focus;
        Listen(input, "focus", [this, focus](val) { bar.EditEnter(focus); });
        if (e.part == TPart::Edit1)
            Listen(input, "click", [this](val) { bar.EditEnter(ftEdit1); });
    }
}

void TBarView::BuildButtons() {
    struct TSpeed {
        TPart part;
        TSpeedButton* model;
        int ownGlyph; // a cell of the action glyphs, -1 for none
    };
    const TSpeed speeds[] = {{TPart::SearchBtn, &bar.SearchBtn, 0},
                             {TPart::FriendsBtn, &bar.FriendsBtn, 1},
                             {TPart::NavletBtn, &bar.NavletBtn, 2},
                             {TPart::ResizeBtn, &bar.ResizeBtn, -1},
                             {TPart::LEDBtn, &bar.LEDBtn, -1}};
    for (const TSpeed& s : speeds) {
        val button = Part(s.part, "button");
        button["style"].set("padding", "0");
        button["style"].set("border", "0");
        button["style"].set("background", "transparent");
        TSpeedButton& model = *s.model;
        const int own = s.ownGlyph;
        Watch(model, [button, &model, own]() mutable {
            button.set("title", PageText(model.Hint()));
            button.set("innerHTML", std::string());
            const bool ownGlyph = model.Glyph() < 0;
            if (ownGlyph && own < 0)
                return;
            val glyph = ownGlyph ? PictureCanvas(art::actionGlyphs, own)
                                 : PictureCanvas(art::barGlyphs, model.Glyph());
            button.call<void>("appendChild", glyph);
        });
        Listen(button, "click", [&model](val) {
            if (model.OnClick)
                model.OnClick();
        });
        menus.Register(s.model, LayoutRow(s.part).name);
    }
    auto pushButton = [this](TPart part, TButton& model) {
        val button = Part(part, "button");
        button["style"].set("font", "inherit");
        button["style"].set("padding", "0");
        Watch(model,
              [button, &model]() mutable { button.set("textContent", PageText(model.Caption())); });
        Listen(button, "click", [&model](val) {
            if (model.OnClick)
                model.OnClick();
        });
    };
    pushButton(TPart::sbLogin, bar.sbLogin);
    pushButton(TPart::sbSearch, bar.sbSearch);
    val send = Part(TPart::sbSendTxt, "button");
    send.set("textContent", std::string("send"));
    send["style"].set("font", "inherit");
    send["style"].set("padding", "0");
    send["style"].set("border", "0");
    send["style"].set("background", "transparent");
    Listen(send, "click", [this](val) { bar.sbSendTxtClick(); });
}

void TBarView::BuildLowerStrip() {
    Part(TPart::bottom_bnr, "canvas");
    Watch(bar.bottom_bnr, [this] { PaintLowerStrip(); });
    val logo = Part(TPart::navlet_left_img);
    logo["style"].set("cursor", "pointer");
    FillWith(logo, PictureCanvas(art::logo));
    menus.Register(&bar.navlet_left_img, "navlet_left_img");
    Listen(logo, "click", [this](val ev) {
        bar.sbNavletClick(TNavlet::TNavletSender::Logo, OffsetX(ev), OffsetY(ev));
    });
    Listen(
        logo, "contextmenu",
        [this](val ev) {
            bar.sbNavletMouseUp(TNavlet::TNavletSender::Logo, TMouseButton::mbRight, 0, OffsetX(ev),
                                OffsetY(ev));
        },
        TDefault::Prevent);
}

void TBarView::PaintLowerStrip() {
    val canvas = Placed(TPart::bottom_bnr);
    if (canvas.isNull())
        return;
    const TRect r = bar.Layout().Rect(TPart::bottom_bnr);
    canvas.set("width", std::max(0, r.Width()));
    canvas.set("height", std::max(0, r.Height()));
    TWebCanvas surface(canvas);
    bar.bottom_bnrPaint(surface);
}

} // namespace navlet::web
