#include "client/qt/kit/qt_web_browser.h"

#include <QWebEngineView>

#include "client/qt/kit/bar_text.h"

namespace navlet::qt {

TQtWebBrowser::~TQtWebBrowser() {
    OnDocumentComplete = nullptr;
    OnNavigateError = nullptr;
    if (view) {
        view->disconnect(this);
        delete view.data();
    }
}

void TQtWebBrowser::Place(QWidget* newPanel, const QRect& newGeometry) {
    panel = newPanel;
    geometry = newGeometry;
    if (!view)
        return;
    view->setParent(panel);
    view->setGeometry(geometry);
    view->show();
}

void TQtWebBrowser::MakeView() {
    view = new QWebEngineView(panel.data());
    view->setGeometry(geometry);
    view->setEnabled(inputEnabled);
    connect(view, &QWebEngineView::loadStarted, this, [this] { ++unfinishedLoads; });
    connect(view, &QWebEngineView::loadFinished, this, [this](bool ok) { LoadFinished(ok); });
    if (panel)
        view->show();
}

void TQtWebBrowser::Navigate(const std::string& address) {
    if (!view)
        MakeView();
    view->setUrl(QUrl(FromBar(address)));
}

void TQtWebBrowser::SetInputEnabled(bool enabled) {
    inputEnabled = enabled;
    if (view)
        view->setEnabled(enabled);
}

void TQtWebBrowser::LoadFinished(bool ok) {
    // A load that a newer navigation cut short finishes too; only the last
    // one started speaks for the page.
    const bool superseded = unfinishedLoads > 1;
    if (unfinishedLoads > 0)
        --unfinishedLoads;
    if (superseded)
        return;
    // WebEngine counts a page that the server answered with an HTTP error
    // status (a 404 with a body) as failed, as it does a server that does not
    // answer.
    Report(/*failed=*/!ok);
}

void TQtWebBrowser::Report(bool failed) {
    // The error first, then the completed (error) page, as the platform
    // browser reports them.
    if (failed && OnNavigateError)
        OnNavigateError();
    if (OnDocumentComplete)
        OnDocumentComplete();
}

} // namespace navlet::qt
