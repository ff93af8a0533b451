// What the form layout holds: the components' settings, their places from
// the layout table, and the binding of their events to the form's handlers.
#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// No more than one chat-text request carries, so the box shows the limit.
constexpr int EDIT1_MAX_LENGTH = CHAT_TEXT_FIELD - 1;

} // namespace

void TNavlet::BuildComponents() {
    ClientSocket = kit.sockets.CreateClientSocket();
    PlaceControls(FORM_DESIGN_WIDTH, FORM_DESIGN_HEIGHT);
    Edit1.SetMaxLength(EDIT1_MAX_LENGTH);
    for (TEdit* edit :
         {&Edit1, static_cast<TEdit*>(&edNck), static_cast<TEdit*>(&edPwd), &edSearchMsg})
        edit->OnTyped = [this, edit](const std::string& text, int refused) {
            EditTyped(*edit, text, refused);
        };

    msg_timer.OnTimer = [this] { msg_timerTimer(); };
    BindChatComponents();
    // The site tracker's timer runs from creation.
    URLTimer.SetEnabled(true);
    BindSessionComponents();
    BindActionComponents();
    BindBannerComponents();
}

void TNavlet::FormResized(int32_t width, int32_t height) {
    const bool firstSize = !formSized;
    const int32_t tickerWidth = msg_img.Width();
    const int32_t tickerHeight = msg_img.Height();
    const int32_t formHeight = Form.Height();
    formSized = true;
    PlaceControls(width, height);
    if (firstSize || msg_img.Width() != tickerWidth || msg_img.Height() != tickerHeight)
        msg_pnlResize();
    if (firstSize || height != formHeight)
        BannerPanelResize();
}

void TNavlet::SetHostShape(THostShape shape) {
    hostShape = shape;
    if (shape == THostShape::SidePanel) {
        SyncPanelSettings(-1);
        AddTextSizeMenu();
    }
    if (formSized)
        FormResized(Form.Width(), Form.Height());
}

TFont TNavlet::FormFont() const {
    return hostShape == THostShape::SidePanel ? PanelFont(PanelStyle.TextSize()) : BandFont();
}

bool TNavlet::Minimised() const {
    if (hostShape == THostShape::SidePanel)
        return PanelStyle.BannerCollapsed();
    return Form.Height() <= BAR_MIN_HEIGHT;
}

void TNavlet::SetTextSize(TTextSize size) {
    PanelStyle.SetTextSize(size);
    SyncPanelSettings(1);
    LayOutAgain();
}

void TNavlet::LayOutAgain() {
    if (!formSized)
        return;
    const int32_t tickerWidth = msg_img.Width();
    const int32_t tickerHeight = msg_img.Height();
    PlaceControls(Form.Width(), Form.Height());
    if (msg_img.Width() != tickerWidth || msg_img.Height() != tickerHeight)
        msg_pnlResize();
    else
        RestartFrontLine(); // drawn again in the new font
    BannerPanelResize();
}

void TNavlet::PlaceControls(int32_t width, int32_t height) {
    const TLayoutTable table = ChooseLayoutTable(hostShape, width);
    TColumnStyle style;
    if (table == TLayoutTable::Column) {
        // A kit whose metrics fail answers 0 or less: the column keeps its least.
        style.lineHeight = kit.textMetrics.LineHeight(FormFont());
        style.bannerCollapsed = PanelStyle.BannerCollapsed();
    }
    layout = LayOutBar(width, height, table, style);
    // Only the controls whose handlers read their own size keep it in their
    // model; every other place is read from the layout by the kit.
    std::pair<TControl*, TPart> sized[] = {
        {&Form, TPart::Form},
        {&msg_img, TPart::msg_img},
        {&bottom_bnr, TPart::bottom_bnr},
        {&NavletBtn, TPart::NavletBtn},
    };
    for (auto [control, part] : sized) {
        const TRect& r = layout.Rect(part);
        control->SetBounds(r.left, r.top, r.Width(), r.Height());
    }
}

} // namespace navlet
