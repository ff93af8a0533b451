#include "client/qt/browser/browser_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include "client/qt/kit/qt_registry.h"

namespace navlet::qt {

namespace {

constexpr int DEFAULT_WIDTH = 1024;
constexpr int DEFAULT_HEIGHT = 720;

QSettings BrowserSettings() {
    return QSettings(TQtRegistry::DefaultFolder() + QStringLiteral("/navlet-browser.ini"),
                     QSettings::IniFormat);
}

} // namespace

bool BarShownSetting() {
    return BrowserSettings().value(QStringLiteral("bar/shown"), true).toBool();
}

void StoreBarShownSetting(bool shown) {
    QSettings settings = BrowserSettings();
    settings.setValue(QStringLiteral("bar/shown"), shown);
}

uint32_t VirtualKeyOf(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return VK_ENTER;
    if (key >= Qt::Key_Left && key <= Qt::Key_Down) // left, up, right, down
        return VK_FIRST_ARROW + uint32_t(key - Qt::Key_Left);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_FIRST_FUNCTION + uint32_t(key - Qt::Key_F1);
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return uint32_t(key); // the same codes as the platform's
    switch (key) {
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Escape:
        return 0x1B;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_Delete:
        return 0x2E;
    default:
        return 0;
    }
}

TBrowserWindow::TBrowserWindow(std::function<void(const QString&)> opener)
    : newWindow(std::move(opener)) {
    resize(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    auto* tools = addToolBar(QStringLiteral("Navigation"));
    tools->setMovable(false);
    view = new QWebEngineView;
    tools->addAction(QStringLiteral("Back"), view, &QWebEngineView::back);
    tools->addAction(QStringLiteral("Forward"), view, &QWebEngineView::forward);
    tools->addAction(QStringLiteral("Reload"), view, &QWebEngineView::reload);
    address = new QLineEdit;
    tools->addWidget(address);
    connect(address, &QLineEdit::returnPressed, this, [this] { Open(address->text()); });

    split = new QSplitter(Qt::Vertical);
    split->addWidget(view);
    split->setChildrenCollapsible(false);
    setCentralWidget(split);

    connect(view, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url) { address->setText(url.toString()); });
    connect(view, &QWebEngineView::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title.isEmpty() ? QStringLiteral("navlet-browser")
                                       : title + QStringLiteral(" - navlet-browser"));
    });
    // Every finished load is a completed document for the band, failed or not.
    connect(view, &QWebEngineView::loadFinished, this, [this](bool) {
        if (bar)
            module->documentComplete(bar);
    });
    qApp->installEventFilter(this);
    focusWatch = connect(qApp, &QApplication::focusChanged, this,
                         [this](QWidget* from, QWidget* to) { FocusMoved(from, to); });
    BuildMenus();
    setWindowTitle(QStringLiteral("navlet-browser"));
}

void TBrowserWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("&New window"), this, [this] {
        if (newWindow)
            newWindow(QString());
    });
    open->setShortcut(QKeySequence::New);
    open->setEnabled(bool(newWindow));
    file->addAction(QStringLiteral("&Close window"), QKeySequence::Close, this,
                    [this] { close(); });
    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    barItem = viewMenu->addAction(QStringLiteral("Navlet &bar"));
    barItem->setCheckable(true);
    barItem->setEnabled(false); // until a bar is hosted
    connect(barItem, &QAction::triggered, this, [this](bool show) {
        ShowBand(show);
        StoreBarShownSetting(show);
    });
}

TBrowserWindow::~TBrowserWindow() {
    // The widgets going with the window move the focus: this part is gone then.
    disconnect(focusWatch);
    qApp->removeEventFilter(this);
    RemoveBand();
}

void TBrowserWindow::Open(const QString& text) {
    const QUrl url = QUrl::fromUserInput(text.trimmed());
    if (url.isValid())
        view->setUrl(url);
}

bool TBrowserWindow::AddBand(const NavletModuleApi& m) {
    if (bar)
        return false;
    bandSite = new QWidget;
    auto* layout = new QVBoxLayout(bandSite);
    layout->setContentsMargins(0, 0, 0, 0);
    NavletBar* made = m.createBar(bandSite);
    if (!made) {
        delete bandSite;
        bandSite = nullptr;
        return false;
    }
    module = &m;
    bar = made;
    layout->addWidget(module->barWindow(bar));
    TBandInfo info;
    info.mask = DBIM_MINSIZE | DBIM_ACTUAL;
    module->getBandInfo(bar, &info);
    bandSite->setMinimumHeight(info.minSize.y);
    split->addWidget(bandSite);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    bandSite->hide();
    module->setSite(bar, this);
    barItem->setEnabled(true);
    ShowBand(BarShownSetting());
    ResizeBandSite(info.actual.y);
    return true;
}

void TBrowserWindow::ShowBand(bool show) {
    if (!bar)
        return;
    barItem->setChecked(show);
    if (show == bandShown)
        return;
    bandShown = show;
    bandSite->setVisible(show);
    module->showDW(bar, show);
    if (show)
        module->uiActivateIO(bar, true);
}

void TBrowserWindow::RemoveBand() {
    if (!bar)
        return;
    module->closeDW(bar);
    module->setSite(bar, nullptr);
    module->destroyBar(bar);
    bar = nullptr;
    bandShown = false;
    delete bandSite;
    bandSite = nullptr;
    if (barItem)
        barItem->setEnabled(false);
}

void TBrowserWindow::closeEvent(QCloseEvent* event) {
    RemoveBand();
    event->accept();
}

std::string TBrowserWindow::LocationURL() {
    return view->url().toString().toStdString();
}

void TBrowserWindow::OpenNewWindow(const std::string& address) {
    if (newWindow)
        newWindow(QString::fromStdString(address));
}

void TBrowserWindow::FlashBrowserWindow() {
    QApplication::alert(this);
}

void TBrowserWindow::ResizeBandSite(int32_t height) {
    if (!bandSite)
        return;
    const int total = split->height();
    const int band = std::max(bandSite->minimumHeight(), int(height));
    split->setSizes({std::max(0, total - band), band});
}

void TBrowserWindow::FocusChanged(bool hasFocus) {
    barHasFocus = hasFocus;
}

void TBrowserWindow::CloseInPlaceWindow() {
    if (bandSite)
        bandSite->hide();
}

bool TBrowserWindow::IsInBand(QObject* object) const {
    if (!bandSite)
        return false;
    for (auto* w = qobject_cast<QWidget*>(object); w; w = w->parentWidget()) {
        if (w == bandSite)
            return true;
    }
    return false;
}

void TBrowserWindow::FocusMoved(QWidget* from, QWidget* to) {
    if (!bar || !from || !IsInBand(from) || !to || IsInBand(to) || to->window() != this)
        return;
    module->uiActivateIO(bar, false);
}

bool TBrowserWindow::eventFilter(QObject* watched, QEvent* event) {
    // A key reaches the focused control first and then, unused, each of its
    // parents; the band is asked once, when the control receives it.
    if (event->type() == QEvent::KeyPress && bar && watched == QApplication::focusWidget() &&
        IsInBand(watched))
        return OfferKeyToBand(static_cast<QKeyEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

bool TBrowserWindow::OfferKeyToBand(QKeyEvent* key) {
    TKeyMessage message;
    message.virtualKey = VirtualKeyOf(key->key());
    message.altDown = key->modifiers() & Qt::AltModifier;
    message.ctrlDown = key->modifiers() & Qt::ControlModifier;
    switch (module->translateAcceleratorIO(bar, &message)) {
    case TKeyAction::Dispatch:
        return false; // on to the focused control
    case TKeyAction::ToBrowser:
    case TKeyAction::ToBrowserFocusLost:
        // A key that is none of the browser's goes on to the focused control,
        // as the platform browser dispatches what it does not translate.
        return BrowserKey(key);
    case TKeyAction::SendChat:
    case TKeyAction::SignIn:
    case TKeyAction::Search:
        return true; // the band did it
    }
    return true;
}

bool TBrowserWindow::BrowserKey(QKeyEvent* key) {
    const auto mods = key->modifiers();
    if (key->key() == Qt::Key_L && (mods & Qt::ControlModifier)) {
        address->setFocus();
        address->selectAll();
        return true;
    }
    if (key->key() == Qt::Key_F5) {
        view->reload();
        return true;
    }
    if ((mods & Qt::AltModifier) && key->key() == Qt::Key_Left) {
        view->back();
        return true;
    }
    if ((mods & Qt::AltModifier) && key->key() == Qt::Key_Right) {
        view->forward();
        return true;
    }
    return false;
}

} // namespace navlet::qt
