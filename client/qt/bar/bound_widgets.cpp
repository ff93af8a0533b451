#include "client/qt/bar/bound_widgets.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabBar>
#include <QTextBlock>

#include "client/qt/bar/pictures.h"
#include "client/qt/kit/bar_text.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (keys & Qt::ShiftModifier)
        s |= ssShift;
    if (keys & Qt::AltModifier)
        s |= ssAlt;
    if (keys & Qt::ControlModifier)
        s |= ssCtrl;
    if (buttons & Qt::LeftButton)
        s |= ssLeft;
    if (buttons & Qt::RightButton)
        s |= ssRight;
    if (buttons & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

TMouseButton ButtonOf(Qt::MouseButton b) {
    if (b == Qt::RightButton)
        return TMouseButton::mbRight;
    if (b == Qt::MiddleButton)
        return TMouseButton::mbMiddle;
    return TMouseButton::mbLeft;
}

} // namespace

void TObservations::Bind(TModel& model, QObject& widget, std::function<void()> render,
                         TModel::TObserver onEnd) {
    auto quiet = [&widget, render = std::move(render)] {
        const QSignalBlocker blocker(widget);
        render();
    };
    quiet();
    held.push_back(model.Watch(std::move(quiet), std::move(onEnd)));
}

void TObservations::Add(TModel& model, TModel::TObserver observer, TModel::TObserver onEnd) {
    held.push_back(model.Watch(std::move(observer), std::move(onEnd)));
}

void BindVisible(QWidget& widget, TControl& model, TObservations& observations) {
    observations.Bind(model, widget, [&widget, &model] { widget.setVisible(model.Visible()); });
}

TTickerWidget::TTickerWidget(TNavlet& b, QWidget* parent) : QWidget(parent), bar(b) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    observations.Bind(bar.msg_img, *this, [this] {
        setCursor(bar.msg_img.Cursor() == TCursor::crHandPoint ? Qt::PointingHandCursor
                                                               : Qt::ArrowCursor);
        update();
    });
}

void TTickerWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TQtCanvas canvas(painter);
    bar.msg_paint(canvas);
}

void TTickerWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    bar.msg_imgMouseMove(ShiftOf(event->modifiers(), event->buttons()), at.x(), at.y());
}

void TTickerWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    bar.msg_imgMouseDown(ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()),
                         at.x(), at.y());
}

TSpeedButtonWidget::TSpeedButtonWidget(TSpeedButton& model, QWidget* parent,
                                       const QPixmap& ownGlyph)
    : QToolButton(parent) {
    setAutoRaise(true); // flat
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(16, 16));
    observations.Bind(model, *this, [this, &model, ownGlyph] {
        setIcon(QIcon(model.Glyph() < 0 ? ownGlyph : Glyph16(model.Glyph())));
        setToolTip(FromBar(model.Hint()));
    });
    connect(this, &QToolButton::clicked, this, [&model] {
        if (model.OnClick)
            model.OnClick();
    });
}

TEditWidget::TEditWidget(TEdit& m, std::function<void()> focus, QWidget* parent)
    : QLineEdit(parent), model(m), onFocus(std::move(focus)) {
    setFrame(true);
    observations.Bind(model, *this, [this] { Render(); });
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { Typed(text); });
}

void TEditWidget::Typed(const QString& text) {
    const TTypedText typed = TypedBar(text);
    const int cursor = cursorPosition();
    const qsizetype before = this->text().size();
    if (model.OnTyped)
        model.OnTyped(typed.text, typed.refused);
    else
        model.SetText(typed.text);
    // A refused edit leaves the model as it was: the box shows it again, with
    // the cursor where the refused characters began.
    const QSignalBlocker blocker(this);
    Render();
    if (this->text().size() != before)
        setCursorPosition(std::max(0, cursor - int(before - this->text().size())));
}

void TEditWidget::Render() {
    // Setting the bound sets the text again, which puts the cursor at its end:
    // only when it changes. The model's bound, in bytes, is the one that holds.
    if (model.MaxLength() > 0 && maxLength() != model.MaxLength())
        setMaxLength(model.MaxLength());
    const QString text = FromBar(model.Text());
    if (text != this->text()) {
        const int cursor = cursorPosition();
        setText(text);
        setCursorPosition(std::min(cursor, int(text.size())));
    }
    setPlaceholderText(FromBar(model.Placeholder()));
    QPalette p = palette();
    p.setColor(QPalette::Text, ColorOf(model.FontColor()));
    p.setColor(QPalette::Base, ColorOf(model.Color()));
    setPalette(p);
}

void TEditWidget::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (onFocus)
        onFocus();
}

void TEditWidget::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    if (onFocus)
        onFocus();
}

TPeopleListWidget::TPeopleListWidget(TListView& m, std::function<void()> focus, QWidget* parent)
    : QListWidget(parent), model(m), onFocus(std::move(focus)) {
    setIconSize(QSize(12, 12));
    setSelectionMode(QAbstractItemView::SingleSelection);
    observations.Bind(model, *this, [this] { Render(); });
}

void TPeopleListWidget::Render() {
    clear();
    for (const TListItem& item : model.Items())
        addItem(new QListWidgetItem(QIcon(StateImage12(item.stateIndex)), FromBar(item.caption)));
}

void TPeopleListWidget::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    if (onFocus)
        onFocus();
}

TChatViewWidget::TChatViewWidget(TNavlet& b, TChatView& v, TQtMenuTracker& m, QWidget* parent)
    : QTextEdit(parent), bar(b), view(v), menus(m) {
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    menus.Register(&view, viewport());
    observations.Bind(
        view, *this, [this] { Render(); },
        [this] {
            orphaned = true;
            menus.Unregister(&view);
        });
    connect(this, &QTextEdit::selectionChanged, this, [this] { SelectionChanged(); });
    view.IsAtEnd = [this] {
        const QScrollBar* bar = verticalScrollBar();
        return bar->value() >= bar->maximum() - 2; // a pixel or two short is the end
    };
}

TChatViewWidget::~TChatViewWidget() {
    if (!orphaned)
        view.IsAtEnd = nullptr;
}

void TChatViewWidget::Render() {
    if (orphaned)
        return;
    // Rebuilding the text moves the scroll: the place the reader had comes back.
    const int place = verticalScrollBar()->value();
    std::vector<std::vector<TTextRun>> lines;
    for (const TChatLine& line : view.Lines())
        lines.push_back(line.runs);
    if (lines != shown) {
        clear();
        QTextCursor cursor(document());
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0)
                cursor.insertBlock();
            for (const TTextRun& run : lines[i]) {
                QTextCharFormat format;
                format.setForeground(ColorOf(run.color));
                format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
                format.setFontItalic(run.italic);
                cursor.insertText(FromBar(run.text), format);
            }
        }
        shown = std::move(lines);
    }
    // The model's offsets are bytes of UTF-8; the document's, UTF-16 units.
    QTextCursor selection = textCursor();
    const std::string all = view.Text();
    const int start = int(Utf16OffsetOfUtf8(all, view.SelStart()));
    const int end = int(Utf16OffsetOfUtf8(all, view.SelStart() + view.SelLength()));
    if (selection.selectionStart() != start || selection.selectionEnd() != end) {
        selection.setPosition(start);
        selection.setPosition(end, QTextCursor::KeepAnchor);
        setTextCursor(selection);
    }
    if (view.ScrollRequests() != scrollRequests) {
        scrollRequests = view.ScrollRequests();
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        return;
    }
    verticalScrollBar()->setValue(place);
}

void TChatViewWidget::SelectionChanged() {
    if (orphaned)
        return;
    const QTextCursor c = textCursor();
    const std::string all = view.Text();
    const size_t start = Utf8OffsetOfUtf16(all, size_t(c.selectionStart()));
    view.SetSelection(start, Utf8OffsetOfUtf16(all, size_t(c.selectionEnd())) - start);
}

void TChatViewWidget::contextMenuEvent(QContextMenuEvent* event) {
    bool handled = false;
    const QPoint at = viewport()->mapFrom(this, event->pos());
    bar.ChatContextPopup(view, at.x(), at.y(), handled);
    event->accept();
}

void TChatViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    QTextEdit::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    bar.ChatMouseUp(ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()),
                    at.x(), at.y());
}

TChatTabsWidget::TChatTabsWidget(TNavlet& b, TQtMenuTracker& m, QWidget* parent)
    : QTabWidget(parent), bar(b), menus(m) {
    setDocumentMode(true);
    tabBar()->setExpanding(false);
    tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    menus.Register(&bar.PageControl, tabBar());
    connect(tabBar(), &QTabBar::customContextMenuRequested, this, [this](const QPoint& at) {
        bool handled = false;
        bar.ChatContextPopup(bar.PageControl, at.x(), at.y(), handled);
    });
    connect(this, &QTabWidget::currentChanged, this, [this](int index) { UserChangedTab(index); });
    observations.Bind(bar.PageControl, *this, [this] { Render(); });
}

void TChatTabsWidget::Render() {
    TPageControl& control = bar.PageControl;
    std::vector<TShownPage> next;
    for (int i = 0; i < control.PageCount(); ++i) {
        TTabSheet& sheet = control.Page(i);
        // A widget whose view ended matches no sheet, even one made where its
        // sheet and view were.
        auto old = std::find_if(pages.begin(), pages.end(), [&](const TShownPage& p) {
            return p.sheet == &sheet && p.widget->View() == sheet.view.get();
        });
        if (old != pages.end()) {
            next.push_back(*old);
            pages.erase(old);
            continue;
        }
        next.push_back(TShownPage{&sheet, new TChatViewWidget(bar, *sheet.view, menus, this)});
    }
    // What is left belonged to tabs that are gone, with their views.
    for (TShownPage& gone : pages) {
        removeTab(indexOf(gone.widget));
        gone.widget->deleteLater();
    }
    pages = std::move(next);
    while (count() > 0)
        removeTab(0);
    for (const TShownPage& page : pages) {
        const int index = addTab(page.widget, FromBar(TabLabel(*page.sheet)));
        tabBar()->setTabTextColor(index, page.sheet->highlighted
                                             ? QColor(Qt::red)
                                             : palette().color(QPalette::WindowText));
        setTabVisible(index, page.sheet->visible);
    }
    if (control.ActivePageIndex() >= 0 && control.ActivePageIndex() < count())
        setCurrentIndex(control.ActivePageIndex());
}

void TChatTabsWidget::UserChangedTab(int index) {
    if (index < 0 || index == bar.PageControl.ActivePageIndex())
        return;
    bar.PageControl.SetActivePageIndex(index);
    bar.PageControlChange();
}

} // namespace navlet::qt
