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

// The observations a widget holds; ended with it. A model that goes away
// first must be Forgotten, never unobserved.
class TObservations {
  public:
    TObservations() = default;
    TObservations(const TObservations&) = delete;
    TObservations& operator=(const TObservations&) = delete;
    ~TObservations();
    void Add(TModel& model, TModel::TObserver observer);
    void Forget() { entries.clear(); }

  private:
    std::vector<std::pair<TModel*, int>> entries;
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
    TChatView& View() const { return view; }
    // The view was destroyed with its tab: nothing may reach it any more.
    void Orphan();

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
    bool syncing = false;
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
    bool syncing = false;
    struct TShownPage {
        TTabSheet* sheet;
        TChatView* view;
        TChatViewWidget* widget;
    };
    std::vector<TShownPage> pages;
    TObservations observations;
};

} // namespace navlet::qt
