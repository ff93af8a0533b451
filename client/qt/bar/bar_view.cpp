#include "client/qt/bar/bar_view.h"

#include <QApplication>

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include "client/core/module_state.h"
#include "client/qt/bar/pictures.h"
#include "client/qt/kit/ansi.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {

namespace {

// The layout table's sizes, in pixels.
constexpr int LEFT_PANEL_WIDTH = 250;
constexpr int CHAT_MSG_PANEL_HEIGHT = 15;
constexpr int SEND_BUTTON_WIDTH = 28;
constexpr int CENTRAL_PANEL_WIDTH = 290;
constexpr int MSG_PNL_HEIGHT = 16;
constexpr int BTN_PANEL1_WIDTH = 53;
constexpr int BTN_PANEL2_WIDTH = 34;
constexpr int SPEED_BUTTON = 16;
constexpr int FORM_FONT_PIXELS = 9;
const QPoint LOGO_AT(112, 128); // in the central panel

QWidget* Panel(QWidget* parent, const QColor& colour) {
    auto* panel = new QWidget(parent);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, colour);
    panel->setPalette(p);
    return panel;
}

QLabel* Label(QWidget* parent, const char* text, QPoint at, bool bold = false) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->adjustSize();
    label->move(at);
    return label;
}

// A banner panel's background: the default banner, darkened so that the
// form's white labels read well over it.
class TBannerBackground : public QWidget {
  public:
    explicit TBannerBackground(QWidget* parent, int shade) : QWidget(parent) {
        picture = DefaultBannerImage();
        QPainter p(&picture);
        p.fillRect(picture.rect(), QColor(0, 0, 40, shade));
    }

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture); }

  private:
    QImage picture;
};

// bottom_bnr: the form paints the strip; the logo lies over it.
class TBottomBanner : public QWidget {
  public:
    TBottomBanner(TNavlet& b, QWidget* parent) : QWidget(parent), bar(b), logo(LogoImage()) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        TQtCanvas canvas(p);
        bar.bottom_bnrPaint(canvas);
        p.drawPixmap(LOGO_AT - QPoint(0, DEF_BANNER_HEIGHT), logo);
    }

  private:
    TNavlet& bar;
    QPixmap logo;
};

} // namespace

QColor SkyBlue() {
    return ColorOf(clSkyBlue);
}

TBarView::TBarView(TNavlet& b, TQtMenuTracker& m, QWidget* parent)
    : QWidget(parent), bar(b), menus(m) {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(FORM_FONT_PIXELS + 2);
    setFont(font);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, SkyBlue());
    setPalette(p);
    menus.Register(&bar.Form, this);

    BuildLeftPanel();
    BuildCentralPanel();
    BuildRightPanel();
    BuildActionWidgets();

    observations.Add(bar.ActiveControl, [this] { MoveFocusToModel(); });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { ReportFocus(now); });
    BindVisible(*this, bar.Form, observations);
    resize(bar.Form.Width(), bar.Form.Height());
    LayOut();
}

TBarView::~TBarView() = default;

QSize TBarView::sizeHint() const {
    return QSize(BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT);
}

QSize TBarView::minimumSizeHint() const {
    return QSize(BAND_MIN_WIDTH, BAR_MIN_HEIGHT);
}

void TBarView::BuildLeftPanel() {
    leftPanel = Panel(this, SkyBlue());
    pageControl = new TChatTabsWidget(bar, menus, leftPanel);
    pageControl->setObjectName(QStringLiteral("PageControl"));
    chatMsgPanel = Panel(leftPanel, SkyBlue());
    chatMsgPanel->setObjectName(QStringLiteral("ChatMsgPanel"));
    edit1 = new TEditWidget(
        bar.Edit1, [this] { bar.EditEnter(ftEdit1); }, chatMsgPanel);
    edit1->setObjectName(QStringLiteral("Edit1"));
    edit1->setFrame(false);
    edit1->setTextMargins(1, 0, 1, 0);
    QFont small = font();
    small.setPixelSize(FORM_FONT_PIXELS + 1);
    edit1->setFont(small);
    sbSendTxt = new QToolButton(chatMsgPanel);
    sbSendTxt->setObjectName(QStringLiteral("sbSendTxt"));
    sbSendTxt->setFont(small);
    sbSendTxt->setText(QStringLiteral("send"));
    sbSendTxt->setAutoRaise(true);
    sbSendTxt->setFocusPolicy(Qt::NoFocus);
    connect(sbSendTxt, &QToolButton::clicked, this, [this] { bar.sbSendTxtClick(); });
    BindVisible(*chatMsgPanel, bar.ChatMsgPanel, observations);
}

void TBarView::BuildCentralPanel() {
    centralPanel = Panel(this, SkyBlue());
    bannerPanel = Panel(centralPanel, SkyBlue());
    bannerPanel->setGeometry(0, 0, DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT);
    BuildBannerPanels();
    bottomBanner = new TBottomBanner(bar, centralPanel);
}

void TBarView::BuildBannerPanels() {
    const QRect whole(0, 0, DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT);

    auto* defBanner = new QLabel(bannerPanel);
    defBanner->setPixmap(QPixmap::fromImage(DefaultBannerImage()));
    defBanner->setGeometry(whole);
    BindVisible(*defBanner, bar.DefBannerPanel, observations);

    auto* login = new TBannerBackground(bannerPanel, 90);
    login->setObjectName(QStringLiteral("LoginPanel"));
    login->setGeometry(whole);
    Label(login, "Log in:", {196, 22}, /*bold=*/true);
    Label(login, "Username", {97, 42});
    Label(login, "Password", {97, 72});
    edNck = new TEditWidget(
        bar.edNck, [this] { bar.EditEnter(ftEdNck); }, login);
    edNck->setObjectName(QStringLiteral("edNck"));
    edNck->setGeometry(153, 39, 121, 18);
    edPwd = new TEditWidget(
        bar.edPwd, [this] { bar.EditEnter(ftEdPwd); }, login);
    edPwd->setEchoMode(QLineEdit::Password);
    edPwd->setObjectName(QStringLiteral("edPwd"));
    edPwd->setGeometry(153, 69, 121, 18);
    auto* sbLogin = new QPushButton(FromAnsi(bar.sbLogin.Caption()), login);
    sbLogin->setObjectName(QStringLiteral("sbLogin"));
    sbLogin->setGeometry(235, 91, 39, 18);
    observations.Bind(bar.sbLogin, *sbLogin,
                      [this, sbLogin] { sbLogin->setText(FromAnsi(bar.sbLogin.Caption())); });
    connect(sbLogin, &QPushButton::clicked, this, [this] {
        if (bar.sbLogin.OnClick)
            bar.sbLogin.OnClick();
    });
    BindVisible(*login, bar.LoginPanel, observations);

    // The browser overhangs the panel so that its border and scroll bar
    // fall outside what shows.
    auto* web = Panel(bannerPanel, Qt::white);
    web->setObjectName(QStringLiteral("WebPanel"));
    web->setGeometry(whole);
    if (auto* browser = dynamic_cast<TQtWebBrowser*>(bar.CppWebBrowser.get()))
        browser->Place(web, QRect(-2, -4, 316, 118));
    BindVisible(*web, bar.WebPanel, observations);

    auto* search = new TBannerBackground(bannerPanel, 90);
    searchPanel = search;
    search->setGeometry(whole);
    Label(search, "Search user and invite here:", {140, 27}, /*bold=*/true);
    Label(search, "Username", {93, 48});
    cbSearch = new QComboBox(search);
    cbSearch->setEditable(true);
    // Inline completion would show text the model never hears of.
    cbSearch->setCompleter(nullptr);
    cbSearch->setMaxVisibleItems(8);
    cbSearch->setGeometry(152, 45, 128, 21);
    cbSearch->setObjectName(QStringLiteral("cbSearch"));
    observations.Bind(bar.cbSearch, *cbSearch, [this] {
        cbSearch->clear();
        for (int i = 0; i < bar.cbSearch.ItemCount(); ++i)
            cbSearch->addItem(QIcon(StateImage12(bar.cbSearch.Item(i).imageIndex)),
                              FromAnsi(bar.cbSearch.Item(i).caption));
        cbSearch->setCurrentIndex(bar.cbSearch.ItemIndex());
        cbSearch->setEditText(FromAnsi(bar.cbSearch.Text()));
    });
    // Only the user's typing and choosing reach the model.
    connect(cbSearch->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { bar.cbSearch.SetText(ToAnsi(text)); });
    connect(cbSearch, &QComboBox::activated, this,
            [this](int index) { bar.cbSearch.SetItemIndex(index); });
    BindVisible(*search, bar.SearchPanel, observations);

    auto* friends = new TBannerBackground(bannerPanel, 90);
    friends->setGeometry(whole);
    lvFriends = new TPeopleListWidget(bar.lvFriends, nullptr, friends);
    lvFriends->setGeometry(88, 20, 196, 89);
    BindVisible(*friends, bar.FriendPanel, observations);
}

void TBarView::BuildRightPanel() {
    rightPanel = Panel(this, SkyBlue());
    msgPanel = Panel(rightPanel, SkyBlue());
    btnPanel1 = Panel(msgPanel, SkyBlue());
    msgImg = new TTickerWidget(bar, msgPanel);
    msgImg->setObjectName(QStringLiteral("msg_img"));
    menus.Register(&bar.msg_img, msgImg);
    btnPanel2 = Panel(msgPanel, SkyBlue());
    auto* resizeBtn = new TSpeedButtonWidget(bar.ResizeBtn, btnPanel2);
    resizeBtn->setGeometry(1, 0, SPEED_BUTTON, SPEED_BUTTON);
    auto* ledBtn = new TSpeedButtonWidget(bar.LEDBtn, btnPanel2);
    ledBtn->setGeometry(18, 0, SPEED_BUTTON, SPEED_BUTTON);
    lvUsers = new TPeopleListWidget(
        bar.lvUsers, [this] { bar.ActiveControl.SetFocus(ftLvUsers); }, rightPanel);
    lvUsers->setObjectName(QStringLiteral("lvUsers"));
    menus.Register(&bar.lvUsers, lvUsers);
}

void TBarView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void TBarView::LayOut() {
    const int w = width();
    const int h = height();
    leftPanel->setGeometry(0, 0, LEFT_PANEL_WIDTH, h);
    const int chatLine = bar.ChatMsgPanel.Visible() ? CHAT_MSG_PANEL_HEIGHT : 0;
    pageControl->setGeometry(0, 0, LEFT_PANEL_WIDTH, h - chatLine);
    chatMsgPanel->setGeometry(0, h - CHAT_MSG_PANEL_HEIGHT, LEFT_PANEL_WIDTH,
                              CHAT_MSG_PANEL_HEIGHT);
    edit1->setGeometry(0, 0, LEFT_PANEL_WIDTH - SEND_BUTTON_WIDTH, CHAT_MSG_PANEL_HEIGHT);
    sbSendTxt->setGeometry(LEFT_PANEL_WIDTH - SEND_BUTTON_WIDTH, 0, SEND_BUTTON_WIDTH,
                           CHAT_MSG_PANEL_HEIGHT);

    centralPanel->setGeometry(LEFT_PANEL_WIDTH, 0, CENTRAL_PANEL_WIDTH, h);
    const int stripHeight = std::max(0, h - DEF_BANNER_HEIGHT);
    bar.bottom_bnr.SetBounds(0, DEF_BANNER_HEIGHT, CENTRAL_PANEL_WIDTH, stripHeight);
    bottomBanner->setGeometry(0, DEF_BANNER_HEIGHT, CENTRAL_PANEL_WIDTH, stripHeight);

    const int rightLeft = LEFT_PANEL_WIDTH + CENTRAL_PANEL_WIDTH;
    const int rightWidth = std::max(0, w - rightLeft);
    rightPanel->setGeometry(rightLeft, 0, rightWidth, h);
    msgPanel->setGeometry(0, 0, rightWidth, MSG_PNL_HEIGHT);
    btnPanel1->setGeometry(0, 0, BTN_PANEL1_WIDTH, MSG_PNL_HEIGHT);
    const int tickerWidth = std::max(0, rightWidth - BTN_PANEL1_WIDTH - BTN_PANEL2_WIDTH);
    msgImg->setGeometry(BTN_PANEL1_WIDTH, 0, tickerWidth, MSG_PNL_HEIGHT);
    btnPanel2->setGeometry(rightWidth - BTN_PANEL2_WIDTH, 0, BTN_PANEL2_WIDTH, MSG_PNL_HEIGHT);
    lvUsers->setGeometry(0, MSG_PNL_HEIGHT, rightWidth, std::max(0, h - MSG_PNL_HEIGHT));

    // The form hears of its new size after its children have theirs.
    bar.Form.SetBounds(0, 0, w, h);
    bar.msg_img.SetBounds(BTN_PANEL1_WIDTH, 0, tickerWidth, MSG_PNL_HEIGHT);
    if (tickerWidth != reportedTickerWidth) {
        reportedTickerWidth = tickerWidth;
        bar.msg_pnlResize();
    }
    if (h != reportedHeight) {
        reportedHeight = h;
        bar.BannerPanelResize();
        // The chat line may have come or gone with the height.
        const int line = bar.ChatMsgPanel.Visible() ? CHAT_MSG_PANEL_HEIGHT : 0;
        pageControl->setGeometry(0, 0, LEFT_PANEL_WIDTH, h - line);
    }
}

QWidget* TBarView::WidgetOfFocus(TFocusTarget target) const {
    switch (target) {
    case ftEdit1:
        return edit1;
    case ftEdNck:
        return edNck;
    case ftEdPwd:
        return edPwd;
    case ftCbSearch:
        return cbSearch;
    case ftEdSearchMsg:
        return edSearchMsg;
    case ftLvUsers:
        return lvUsers;
    default:
        return nullptr;
    }
}

void TBarView::ReportFocus(QWidget* now) {
    if (!now || !isAncestorOf(now))
        return;
    for (QWidget* w = now; w && w != this; w = w->parentWidget())
        for (TFocusTarget own : {ftEdit1, ftEdNck, ftEdPwd, ftCbSearch, ftEdSearchMsg, ftLvUsers})
            if (WidgetOfFocus(own) == w)
                return; // that control tells the form itself
    if (bar.ActiveControl.Target() != ftOther)
        bar.ActiveControl.SetFocus(ftOther);
}

void TBarView::MoveFocusToModel() {
    QWidget* target = WidgetOfFocus(bar.ActiveControl.Target());
    if (target && !target->hasFocus() && target->isVisible())
        target->setFocus(Qt::OtherFocusReason);
}

} // namespace navlet::qt
