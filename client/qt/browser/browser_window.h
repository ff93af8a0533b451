// navlet-browser's window: an address bar, the page, and the bar's band
// across the bottom. The window is the band's site: it implements the
// host-control interface the bar reaches its browser through.
#pragma once

#include <functional>

#include <QMainWindow>

#include "client/kit/host_control.h"
#include "client/qt/module/navlet_module.h"

class QAction;
class QLineEdit;
class QSplitter;
class QWebEngineView;

namespace navlet::qt {

class TBrowserWindow : public QMainWindow, public THostControl {
  public:
    // `newWindow` opens another window of this browser on an address.
    explicit TBrowserWindow(std::function<void(const QString&)> newWindow = {});
    ~TBrowserWindow() override;

    // Loads the page; a text without a scheme is completed as a user types it.
    void Open(const QString& address);
    // Makes the band from `module`, sites it and shows it.
    bool AddBand(const NavletModuleApi& module);
    // Whether a band is hosted, and whether it is shown.
    bool HasBand() const { return bar != nullptr; }
    bool BandShown() const { return bar && bandShown; }
    // The View menu's bar item: shows or hides the band as the platform
    // browser does (hiding switches the bar's session off). Remembered for
    // the next window.
    void ShowBand(bool show);

    // THostControl
    std::string LocationURL() override;
    void OpenNewWindow(const std::string& address) override;
    void FlashBrowserWindow() override;
    void ResizeBandSite(int32_t height) override;
    void FocusChanged(bool hasFocus) override;
    void SuppressFaultDialogs() override {}
    void CloseInPlaceWindow() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    bool IsInBand(QObject* object) const;
    // Focus leaving the band for the page or the address bar deactivates it.
    void FocusMoved(QWidget* from, QWidget* to);
    // The band's part of a key first; true when the key is used up.
    bool OfferKeyToBand(QKeyEvent* key);
    // The browser's own keys: Ctrl+L, F5, Alt+Left, Alt+Right.
    bool BrowserKey(QKeyEvent* key);
    void RemoveBand();

    QLineEdit* address = nullptr;
    QWebEngineView* view = nullptr;
    QSplitter* split = nullptr;
    QWidget* bandSite = nullptr;
    const NavletModuleApi* module = nullptr;
    NavletBar* bar = nullptr;
    bool barHasFocus = false;
    bool bandShown = false;
    QAction* barItem = nullptr;
    QMetaObject::Connection focusWatch;
    std::function<void(const QString&)> newWindow;
};

// Whether the bar was last shown (the View menu's choice); shown by default.
bool BarShownSetting();
void StoreBarShownSetting(bool shown);

// The platform's virtual-key code of a Qt key; 0 for keys the band never routes by code.
uint32_t VirtualKeyOf(int qtKey);

} // namespace navlet::qt
