#include "client/qt/browser/browser_app.h"

#include <algorithm>

#include <QTimer>

#include "client/qt/browser/browser_window.h"

namespace navlet::qt {

namespace {

TBrowserApp* current = nullptr; // the process's browser, for the bars' opener

} // namespace

TBrowserApp::TBrowserApp(std::vector<const NavletModuleApi*> found) : bands(std::move(found)) {
    current = this;
    for (const NavletModuleApi* band : bands)
        band->setWindowOpener(&TBrowserApp::OpenFromBar);
}

TBrowserApp::~TBrowserApp() {
    for (const NavletModuleApi* band : bands)
        band->setWindowOpener(nullptr);
    // Windows still open go first, each closing its bar.
    const std::vector<TBrowserWindow*> open = windows;
    for (TBrowserWindow* window : open)
        delete window;
    current = nullptr;
}

TBrowserWindow& TBrowserApp::NewWindow(const QString& address) {
    auto* window = new TBrowserWindow([this](const QString& next) { NewWindow(next); });
    window->setAttribute(Qt::WA_DeleteOnClose);
    windows.push_back(window);
    QObject::connect(window, &QObject::destroyed, [this, window] { std::erase(windows, window); });
    window->show();
    if (!address.isEmpty())
        window->Open(address);
    for (const NavletModuleApi* band : bands)
        if (window->AddBand(*band))
            break;
    return *window;
}

void TBrowserApp::OpenFromBar(const char* address) {
    if (!current || !address)
        return;
    // The bar asks from inside one of its handlers: the new window and its
    // bar are made once that handler is over.
    const QString link = QString::fromLocal8Bit(address);
    QTimer::singleShot(0, [link] {
        if (current)
            current->NewWindow(link);
    });
}

} // namespace navlet::qt
