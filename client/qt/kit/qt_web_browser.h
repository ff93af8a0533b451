// The banner area's embedded browser on Qt: a QWebEngineView, made at the
// first navigation inside the panel the bar view places it in.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWebEngineView>

#include "client/kit/web_browser.h"

class QWidget;

namespace navlet::qt {

class TQtWebBrowser : public QObject, public TWebBrowser {
  public:
    ~TQtWebBrowser() override;

    // The view lives in `panel` at `geometry` (it may overhang the panel). A
    // view already made moves there.
    void Place(QWidget* panel, const QRect& geometry);
    void Navigate(const std::string& address) override;
    void SetInputEnabled(bool enabled) override;
    // Null until the first navigation.
    QWebEngineView* View() const { return view; }

  private:
    void MakeView();
    void LoadFinished(bool ok);
    void Report(bool failed);

    QPointer<QWidget> panel;
    QRect geometry;
    QPointer<QWebEngineView> view;
    int unfinishedLoads = 0; // loads started and not yet finished
    bool inputEnabled = true;
};

using TQtWebBrowserFactory = TKitWebBrowsers<TQtWebBrowser>;

} // namespace navlet::qt
