// Widgets that show one component model each: they render on every change
// of their model and, on user input, update the model and call the form's
// handler. They decide nothing about the bar's behaviour.
#pragma once

#include <functional>
#include <vector>

#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QWidget>

#include "client/core/navlet.h"

namespace navlet::qt {

class TQtMenuTracker;

// The observations a widget holds; they end with it, or with their model when
// that goes first.
class TObservations {
  public:
    // Renders `widget` from `model` now and after every change, with the
    // widget's signals blocked: a render never comes back as a user's edit.
    // `onEnd` runs when the model is destroyed first.
    void Bind(TModel& model, QObject& widget, std::function<void()> render,
              TModel::TObserver onEnd = {});
    // Runs `observer` after every change of `model`; nothing is rendered now.
    void Add(TModel& model, TModel::TObserver observer, TModel::TObserver onEnd = {});

  private:
    std::vector<TModel::TObservation> held;
};

// Shows and hides `widget` with the model's visibility.
void BindVisible(QWidget& widget, TControl& model, TObservations& observations);

// msg_img: paints the ticker's display list and hands mouse events to the form.
class TTickerWidget : public QWidget {
  public:
    TTickerWidget(TNavlet& bar, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    TNavlet& bar;
    TObservations observations;
};

class TSpeedButtonWidget : public QToolButton {
  public:
    // `ownGlyph` is shown while the model names no ImageList2 glyph (the
    // action buttons have pictures of their own).
    TSpeedButtonWidget(TSpeedButton& model, QWidget* parent, const QPixmap& ownGlyph = {});

  private:
    TObservations observations;
};

// An edit box bound to a TEdit; `onFocus` runs when it gains the focus or is
// clicked (the form's OnEnter and OnClick).
class TEditWidget : public QLineEdit {
  public:
    TEditWidget(TEdit& model, std::function<void()> onFocus, QWidget* parent);

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void Render();
    void Typed(const QString& text);

    TEdit& model;
    std::function<void()> onFocus;
    TObservations observations;
};

// lvUsers and lvFriends: the entries in the model's order with their state images.
class TPeopleListWidget : public QListWidget {
  public:
    TPeopleListWidget(TListView& model, std::function<void()> onFocus, QWidget* parent);

  protected:
    void focusInEvent(QFocusEvent* event) override;

  private:
    void Render();

    TListView& model;
    std::function<void()> onFocus;
    TObservations observations;
};

// One conversation: its lines as coloured, bold or italic runs; selections go
// back to the model, scroll requests are followed.
class TChatViewWidget : public QTextEdit {
  public:
    TChatViewWidget(TNavlet& bar, TChatView& view, TQtMenuTracker& menus, QWidget* parent);
    ~TChatViewWidget() override;
    // Null once the view was destroyed with its tab: nothing may reach it then.
    TChatView* View() const { return orphaned ? nullptr : &view; }

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void Render();
    void SelectionChanged();

    TNavlet& bar;
    TChatView& view;
    TQtMenuTracker& menus;
    bool orphaned = false;
    int scrollRequests = 0;
    std::vector<std::vector<TTextRun>> shown;
    TObservations observations;
};

// PageControl: one tab per sheet, the highlighted ones in red.
class TChatTabsWidget : public QTabWidget {
  public:
    TChatTabsWidget(TNavlet& bar, TQtMenuTracker& menus, QWidget* parent);

  private:
    void Render();
    void UserChangedTab(int index);

    TNavlet& bar;
    TQtMenuTracker& menus;
    struct TShownPage {
        TTabSheet* sheet;
        TChatViewWidget* widget;
    };
    std::vector<TShownPage> pages;
    TObservations observations;
};

} // namespace navlet::qt
