// The banner area's embedded browser on Qt: a QWebEngineView, made at the
// first navigation inside the panel the bar view places it in.
#pragma once

#include <cstdint>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QUrl>
#include <QWebEngineView>

#include "client/kit/web_browser.h"

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

namespace navlet::qt {

// WebEngine 6.4 reports a page that the server answered with an HTTP error
// (a 404 with a body) as loaded. So after each load that WebEngine calls good
// the browser asks the server for the address's status with a HEAD request;
// a status of 400 or more, or no answer, is a navigation error.
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
    void CheckStatus();
    void StatusChecked(QNetworkReply* reply, uint64_t serial);
    void Report(bool failed);

    QPointer<QWidget> panel;
    QRect geometry;
    QPointer<QWebEngineView> view;
    QNetworkAccessManager* network = nullptr; // a child of this object
    QUrl requested;
    uint64_t serial = 0;     // grows with each navigation; stale answers are dropped
    int unfinishedLoads = 0; // loads started and not yet finished
    bool inputEnabled = true;
};

class TQtWebBrowserFactory : public TWebBrowserFactory {
  public:
    std::unique_ptr<TWebBrowser> CreateWebBrowser() override;
};

} // namespace navlet::qt
