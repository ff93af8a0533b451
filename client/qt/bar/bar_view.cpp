#include "client/qt/bar/bar_view.h"

#include <QApplication>

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include "client/core/module_state.h"
#include "client/qt/bar/pictures.h"
#include "client/qt/kit/bar_text.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {

namespace {

QWidget* Panel(QWidget* parent, const QColor& colour) {
    auto* panel = new QWidget(parent);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, colour);
    panel->setPalette(p);
    return panel;
}

// The list style of a list view: entries run down a column and on into
// the next one, as many columns as the entries need.
void FlowIntoColumns(QListWidget& list) {
    list.setFlow(QListView::TopToBottom);
    list.setWrapping(true);
    list.setResizeMode(QListView::Adjust);
}

QRect ToQRect(const TRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// A form panel of the banner area over its background picture.
class TBannerBackground : public QWidget {
  public:
    TBannerBackground(QWidget* parent, TBannerMode mode)
        : QWidget(parent), picture(PanelBackground(mode)) {}

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture); }

  private:
    QImage picture;
};

// bottom_bnr: the form paints the strip; the logo lies over it.
class TBottomBanner : public QWidget {
  public:
    TBottomBanner(TNavlet& b, QWidget* parent) : QWidget(parent), bar(b) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        TQtCanvas canvas(p);
        bar.bottom_bnrPaint(canvas);
    }

  private:
    TNavlet& bar;
};

} // namespace

QColor SkyBlue() {
    return ColorOf(clSkyBlue);
}

QWidget* TBarView::Place(TPart part, QWidget* widget) {
    placed[size_t(part)] = widget;
    widget->setObjectName(QString::fromLatin1(LayoutRow(part).name));
    return widget;
}

QWidget* TBarView::Placed(TPart part) const {
    return placed[size_t(part)];
}

QLabel* TBarView::PlaceLabel(TPart part) {
    const TLabelText* text = LabelText(part);
    auto* label = new QLabel(QString::fromLatin1(text->caption), Placed(LayoutRow(part).parent));
    QFont f = label->font();
    f.setBold(text->bold);
    label->setFont(f);
    label->setWordWrap(text->wrapped);
    label->setAlignment(text->wrapped ? Qt::AlignRight | Qt::AlignTop
                                      : Qt::AlignLeft | Qt::AlignVCenter);
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Place(part, label);
    return label;
}

TBarView::TBarView(TNavlet& b, TQtMenuTracker& m, const TQtWebBrowserFactory& w, QWidget* parent)
    : QWidget(parent), bar(b), menus(m), browsers(w) {
    setFont(FormFont());
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, SkyBlue());
    setPalette(p);
    menus.Register(&bar.Form, this);
    placed[size_t(TPart::Form)] = this;
    Place(TPart::Panel1, Panel(this, SkyBlue()));
    Place(TPart::Panel4, Panel(Placed(TPart::Panel1), SkyBlue()));

    BuildLeftPanel();
    BuildCentralPanel();
    BuildRightPanel();
    BuildActionWidgets();

    observations.Add(bar.ActiveControl, [this] { MoveFocusToModel(); });
    focusWatch = connect(qApp, &QApplication::focusChanged, this,
                         [this](QWidget*, QWidget* now) { ReportFocus(now); });
    BindVisible(*this, bar.Form, observations);
    resize(bar.Form.Width(), bar.Form.Height());
    LayOut();
}

TBarView::~TBarView() {
    // The widgets going with the view move the focus: this part is gone then.
    disconnect(focusWatch);
}

QSize TBarView::sizeHint() const {
    return QSize(BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT);
}

QSize TBarView::minimumSizeHint() const {
    return QSize(BAND_MIN_WIDTH, BAR_MIN_HEIGHT);
}

QFont TBarView::FormFont() {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(FORM_FONT_PIXELS);
    return font;
}

void TBarView::BuildLeftPanel() {
    leftPanel = Place(TPart::LeftPanel, Panel(Placed(TPart::Panel1), SkyBlue()));
    pageControl = new TChatTabsWidget(bar, menus, leftPanel);
    Place(TPart::PageControl, pageControl);
    pageControl->tabBar()->setStyleSheet(
        QStringLiteral("QTabBar::tab { height: %1px; padding: 0 4px; }").arg(TAB_STRIP_HEIGHT));
    chatMsgPanel = Place(TPart::ChatMsgPanel, Panel(leftPanel, SkyBlue()));
    edit1 = new TEditWidget(
        bar.Edit1, [this] { bar.EditEnter(ftEdit1); }, chatMsgPanel);
    Place(TPart::Edit1, edit1);
    edit1->setFrame(false);
    edit1->setTextMargins(1, 0, 1, 0);
    sbSendTxt = new QToolButton(chatMsgPanel);
    Place(TPart::sbSendTxt, sbSendTxt);
    sbSendTxt->setText(QStringLiteral("send"));
    sbSendTxt->setAutoRaise(true);
    sbSendTxt->setFocusPolicy(Qt::NoFocus);
    connect(sbSendTxt, &QToolButton::clicked, this, [this] { bar.sbSendTxtClick(); });
    BindVisible(*chatMsgPanel, bar.ChatMsgPanel, observations);
}

void TBarView::BuildCentralPanel() {
    centralPanel = Place(TPart::CentralPanel, Panel(Placed(TPart::Panel4), SkyBlue()));
    bannerPanel = Place(TPart::BannerPanel, Panel(centralPanel, SkyBlue()));
    BuildBannerPanels();
    bottomBanner = Place(TPart::bottom_bnr, new TBottomBanner(bar, centralPanel));
}

void TBarView::BuildBannerPanels() {
    auto* defBanner = new QLabel(bannerPanel);
    defBanner->setPixmap(QPixmap::fromImage(DefaultBannerImage()));
    Place(TPart::DefBannerPanel, defBanner);
    BindVisible(*defBanner, bar.DefBannerPanel, observations);

    QWidget* login = Place(TPart::LoginPanel, new TBannerBackground(bannerPanel, bmLogin));
    for (TPart label : {TPart::Label3, TPart::Label1, TPart::Label2})
        PlaceLabel(label);
    edNck = new TEditWidget(
        bar.edNck, [this] { bar.EditEnter(ftEdNck); }, login);
    Place(TPart::edNck, edNck);
    edPwd = new TEditWidget(
        bar.edPwd, [this] { bar.EditEnter(ftEdPwd); }, login);
    edPwd->setEchoMode(QLineEdit::Password);
    edPwd->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                             .arg(int(uint8_t(bar.edPwd.PasswordChar()))));
    Place(TPart::edPwd, edPwd);
    auto* sbLogin = new QPushButton(FromBar(bar.sbLogin.Caption()), login);
    Place(TPart::sbLogin, sbLogin);
    observations.Bind(bar.sbLogin, *sbLogin,
                      [this, sbLogin] { sbLogin->setText(FromBar(bar.sbLogin.Caption())); });
    connect(sbLogin, &QPushButton::clicked, this, [this] {
        if (bar.sbLogin.OnClick)
            bar.sbLogin.OnClick();
    });
    BindVisible(*login, bar.LoginPanel, observations);

    QWidget* web = Place(TPart::WebPanel, Panel(bannerPanel, Qt::white));
    if (TQtWebBrowser* browser = browsers.Of(bar.CppWebBrowser.get()))
        browser->Place(web, ToQRect(bar.Layout().Rect(TPart::CppWebBrowser)));
    BindVisible(*web, bar.WebPanel, observations);

    searchPanel = Place(TPart::SearchPanel, new TBannerBackground(bannerPanel, bmSearch));
    for (TPart label : {TPart::Label5, TPart::Label4, TPart::Label6})
        PlaceLabel(label);
    cbSearch = new QComboBox(searchPanel);
    cbSearch->setEditable(true);
    // Inline completion would show text the model never hears of.
    cbSearch->setCompleter(nullptr);
    cbSearch->setMaxVisibleItems(8);
    Place(TPart::cbSearch, cbSearch);
    observations.Bind(bar.cbSearch, *cbSearch, [this] {
        cbSearch->clear();
        for (int i = 0; i < bar.cbSearch.ItemCount(); ++i)
            cbSearch->addItem(QIcon(StateImage12(bar.cbSearch.Item(i).imageIndex)),
                              FromBar(bar.cbSearch.Item(i).caption));
        cbSearch->setCurrentIndex(bar.cbSearch.ItemIndex());
        cbSearch->setEditText(FromBar(bar.cbSearch.Text()));
    });
    // Only the user's typing and choosing reach the model.
    connect(cbSearch->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { bar.cbSearch.SetText(ToBar(text)); });
    connect(cbSearch, &QComboBox::activated, this,
            [this](int index) { bar.cbSearch.SetItemIndex(index); });
    BindVisible(*searchPanel, bar.SearchPanel, observations);

    QWidget* friends = Place(TPart::FriendPanel, new TBannerBackground(bannerPanel, bmFriends));
    lvFriends = new TPeopleListWidget(bar.lvFriends, nullptr, friends);
    Place(TPart::lvFriends, lvFriends);
    PlaceLabel(TPart::Label7);
    FlowIntoColumns(*lvFriends);
    BindVisible(*friends, bar.FriendPanel, observations);
}

void TBarView::BuildRightPanel() {
    rightPanel = Place(TPart::RightPanel, Panel(Placed(TPart::Panel4), SkyBlue()));
    msgPanel = Place(TPart::msg_pnl, Panel(rightPanel, SkyBlue()));
    btnPanel1 = Place(TPart::BtnPanel1, Panel(msgPanel, SkyBlue()));
    msgImg = new TTickerWidget(bar, msgPanel);
    Place(TPart::msg_img, msgImg);
    menus.Register(&bar.msg_img, msgImg);
    btnPanel2 = Place(TPart::BtnPanel2, Panel(msgPanel, SkyBlue()));
    Place(TPart::ResizeBtn, new TSpeedButtonWidget(bar.ResizeBtn, btnPanel2));
    Place(TPart::LEDBtn, new TSpeedButtonWidget(bar.LEDBtn, btnPanel2));
    lvUsers = new TPeopleListWidget(
        bar.lvUsers, [this] { bar.ActiveControl.SetFocus(ftLvUsers); }, rightPanel);
    Place(TPart::lvUsers, lvUsers);
    FlowIntoColumns(*lvUsers);
    menus.Register(&bar.lvUsers, lvUsers);
}

void TBarView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void TBarView::LayOut() {
    // The form places its parts and runs its resize handlers; the widgets
    // then take the places it gave.
    bar.FormResized(width(), height());
    const TBarLayout& layout = bar.Layout();
    for (size_t i = 1; i < PART_COUNT; ++i)
        if (placed[i])
            placed[i]->setGeometry(ToQRect(layout.Rect(TPart(i))));
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
