// The bar form on Qt: the widgets of the form layout, each bound to its
// model, laid out as the layout table places them, and the reports the form
// needs from its window (its size, the focus).
#pragma once

#include <array>

#include <QWidget>

#include "client/core/navlet.h"
#include "client/qt/bar/bound_widgets.h"
#include "client/qt/kit/qt_web_browser.h"

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace navlet::qt {

class TQtMenuTracker;

class TBarView : public QWidget {
  public:
    // The bar, the menu tracker and the browser factory outlive the view.
    TBarView(TNavlet& bar, TQtMenuTracker& menus, const TQtWebBrowserFactory& browsers,
             QWidget* parent = nullptr);
    ~TBarView() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void BuildLeftPanel();
    void BuildCentralPanel();
    void BuildBannerPanels();
    void BuildRightPanel();
    void BuildActionWidgets(); // action_widgets.cpp
    void LayOut();
    // Takes `widget` as the layout's `part`: it gets the part's name and, at
    // each layout, its place. Returns the widget.
    QWidget* Place(TPart part, QWidget* widget);
    QWidget* Placed(TPart part) const;
    // A banner panel's label, made in its layout parent.
    QLabel* PlaceLabel(TPart part);
    static QFont FormFont();
    void MoveFocusToModel();
    // The native focus moved to `now`: a control of the bar that does not
    // report its own focus is the form's "other" active control.
    void ReportFocus(QWidget* now);
    QWidget* WidgetOfFocus(TFocusTarget target) const;

    TNavlet& bar;
    TQtMenuTracker& menus;
    const TQtWebBrowserFactory& browsers;
    TObservations observations;
    QMetaObject::Connection focusWatch;
    std::array<QWidget*, PART_COUNT> placed{};

    QWidget* leftPanel = nullptr;
    TChatTabsWidget* pageControl = nullptr;
    QWidget* chatMsgPanel = nullptr;
    TEditWidget* edit1 = nullptr;
    QToolButton* sbSendTxt = nullptr;
    QWidget* centralPanel = nullptr;
    QWidget* bannerPanel = nullptr;
    QWidget* bottomBanner = nullptr;
    TEditWidget* edNck = nullptr;
    TEditWidget* edPwd = nullptr;
    QComboBox* cbSearch = nullptr;
    QWidget* rightPanel = nullptr;
    QWidget* msgPanel = nullptr;
    QWidget* btnPanel1 = nullptr;
    TTickerWidget* msgImg = nullptr;
    QWidget* btnPanel2 = nullptr;
    TPeopleListWidget* lvUsers = nullptr;
    // Actions: the search panel's boxes and the friends list.
    QWidget* searchPanel = nullptr;
    TEditWidget* edSearchMsg = nullptr;
    TPeopleListWidget* lvFriends = nullptr;
};

// The sky blue of the bar's panels.
QColor SkyBlue();

} // namespace navlet::qt
