// The bar's action widgets: the search, friends and options buttons, the
// logo's options menu, the search panel's message box and button, the people
// lists' menus and the keys typed into the search and friends panels.
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "client/core/actions.h"
#include "client/qt/bar/bar_view.h"
#include "client/qt/bar/pictures.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {

namespace {

constexpr char ESCAPE_CHAR = 27;

// The logo over the lower strip: clicks open the options menu.
class TLogoArea : public QWidget {
  public:
    TLogoArea(TNavlet& b, QWidget* parent) : QWidget(parent), bar(b), logo(LogoImage()) {
        setCursor(Qt::PointingHandCursor);
    }

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawPixmap(0, 0, logo); }

    void mouseReleaseEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        if (event->button() == Qt::LeftButton) {
            bar.sbNavletClick(TNavlet::TNavletSender::Logo, at.x(), at.y());
            return;
        }
        const TMouseButton button =
            event->button() == Qt::RightButton ? TMouseButton::mbRight : TMouseButton::mbMiddle;
        bar.sbNavletMouseUp(TNavlet::TNavletSender::Logo, button, 0, at.x(), at.y());
    }

  private:
    TNavlet& bar;
    QPixmap logo;
};

// Keys typed into cbSearch, edSearchMsg and lvFriends keep their panel open
// (or close it at Escape). Enter is the browser's accelerator: it searches.
class TBannerKeys : public QObject {
  public:
    TBannerKeys(TNavlet& b, QObject* parent) : QObject(parent), bar(b) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape)
                bar.OnBnrPnlKeyPress(ESCAPE_CHAR);
            else if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
                bar.OnBnrPnlKeyPress(key->text().isEmpty() ? '\0' : char(key->text()[0].unicode()));
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    TNavlet& bar;
};

// cbSearch's edit line taking the focus makes the search box the form's
// active control, as the form's own box does.
class TComboFocus : public QObject {
  public:
    TComboFocus(TNavlet& b, QObject* parent) : QObject(parent), bar(b) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            bar.EditEnter(ftCbSearch);
        return QObject::eventFilter(watched, event);
    }

  private:
    TNavlet& bar;
};

using TListPopup = void (TNavlet::*)(int32_t, int32_t, bool&);

// Left and right clicks on a people list select the entry and open its menu
// once the click's own handling is over (the list is rebuilt on changes).
void BindListMenu(TNavlet& bar, TPeopleListWidget& widget, TListView& model, TListPopup popup,
                  TObservations& observations) {
    observations.Bind(model, widget, [&widget, &model] {
        if (model.Selected() >= 0 && model.Selected() < widget.count())
            widget.setCurrentRow(model.Selected());
    });
    auto open = [&bar, &widget, &model, popup](int row) {
        if (row < 0)
            return;
        QTimer::singleShot(0, &widget, [&bar, &widget, &model, popup, row] {
            if (row >= widget.count())
                return; // the list changed meanwhile
            model.SetSelected(row);
            const QRect rect = widget.visualItemRect(widget.item(row));
            bool handled = false;
            (bar.*popup)(rect.x(), rect.y(), handled);
        });
    };
    QObject::connect(&widget, &QListWidget::itemClicked, &widget,
                     [&widget, open](QListWidgetItem* item) { open(widget.row(item)); });
    widget.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&widget, &QWidget::customContextMenuRequested, &widget,
                     [&widget, open](const QPoint& at) {
                         QListWidgetItem* item = widget.itemAt(at);
                         open(item ? widget.row(item) : widget.currentRow());
                     });
}

} // namespace

void TBarView::BuildActionWidgets() {
    const std::pair<TSpeedButton*, TPart> buttons[] = {{&bar.SearchBtn, TPart::SearchBtn},
                                                       {&bar.FriendsBtn, TPart::FriendsBtn},
                                                       {&bar.NavletBtn, TPart::NavletBtn}};
    const TActionGlyph glyphs[] = {TActionGlyph::Search, TActionGlyph::Friends,
                                   TActionGlyph::Options};
    for (int i = 0; i < 3; ++i) {
        auto* button =
            new TSpeedButtonWidget(*buttons[i].first, btnPanel1, ActionGlyph16(glyphs[i]));
        Place(buttons[i].second, button);
    }
    // The options menu opens below the button, in the button's coordinates.
    menus.Register(&bar.NavletBtn, Placed(TPart::NavletBtn));

    auto* logo = new TLogoArea(bar, centralPanel);
    Place(TPart::navlet_left_img, logo);
    logo->raise(); // over the lower strip
    menus.Register(&bar.navlet_left_img, logo);

    edSearchMsg = new TEditWidget(
        bar.edSearchMsg, [this] { bar.EditEnter(ftEdSearchMsg); }, searchPanel);
    Place(TPart::edSearchMsg, edSearchMsg);
    edSearchMsg->setMaxLength(bar.edSearchMsg.MaxLength());
    auto* sbSearch =
        new QPushButton(QString::fromLatin1(bar.sbSearch.Caption().c_str()), searchPanel);
    Place(TPart::sbSearch, sbSearch);
    connect(sbSearch, &QPushButton::clicked, this, [this] {
        if (bar.sbSearch.OnClick)
            bar.sbSearch.OnClick();
    });
    cbSearch->lineEdit()->setMaxLength(SEARCH_NICK_MAX);

    auto* keys = new TBannerKeys(bar, this);
    auto* cbFocus = new TComboFocus(bar, this);
    cbSearch->installEventFilter(keys);
    cbSearch->lineEdit()->installEventFilter(keys);
    cbSearch->lineEdit()->installEventFilter(cbFocus);
    edSearchMsg->installEventFilter(keys);
    lvFriends->installEventFilter(keys);

    menus.Register(&bar.lvFriends, lvFriends);
    BindListMenu(bar, *lvUsers, bar.lvUsers, &TNavlet::lvUsersPopup, observations);
    BindListMenu(bar, *lvFriends, bar.lvFriends, &TNavlet::lvFriendsPopup, observations);
}

} // namespace navlet::qt
