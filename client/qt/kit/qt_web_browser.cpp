#include "client/qt/kit/qt_web_browser.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QWebEngineView>

#include "client/qt/kit/ansi.h"

namespace navlet::qt {

namespace {

constexpr int FIRST_ERROR_STATUS = 400;
// A server that does not answer the status check in time counts as inactive.
constexpr int STATUS_CHECK_TIMEOUT_MS = 10000;

} // namespace

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
    ++serial;
    // An address without a scheme is an http one.
    requested = QUrl::fromUserInput(FromAnsi(address));
    view->setUrl(requested);
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
    if (!ok) {
        Report(/*failed=*/true);
        return;
    }
    CheckStatus();
}

void TQtWebBrowser::CheckStatus() {
    if (requested.scheme() != QLatin1String("http") &&
        requested.scheme() != QLatin1String("https")) {
        Report(/*failed=*/false);
        return;
    }
    if (!network)
        network = new QNetworkAccessManager(this);
    QNetworkRequest request(requested);
    request.setTransferTimeout(STATUS_CHECK_TIMEOUT_MS);
    QNetworkReply* reply = network->head(request);
    const uint64_t asked = serial;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, asked] { StatusChecked(reply, asked); });
}

void TQtWebBrowser::StatusChecked(QNetworkReply* reply, uint64_t asked) {
    reply->deleteLater();
    if (asked != serial)
        return; // a newer navigation speaks for the page now
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool failed = !status.isValid() || status.toInt() >= FIRST_ERROR_STATUS;
    Report(failed);
}

void TQtWebBrowser::Report(bool failed) {
    // The error first, then the completed (error) page, as the platform
    // browser reports them.
    if (failed && OnNavigateError)
        OnNavigateError();
    if (OnDocumentComplete)
        OnDocumentComplete();
}

std::unique_ptr<TWebBrowser> TQtWebBrowserFactory::CreateWebBrowser() {
    return std::make_unique<TQtWebBrowser>();
}

} // namespace navlet::qt
