// The Qt kit: every platform interface of the bar on Linux, and TQtKit, which
// bundles one of each into the TKit a bar is made with. Needs a running
// QApplication on the calling thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QObject>
#include <QPainter>

#include "client/kit/kit.h"
#include "client/qt/kit/posix_files.h"
#include "client/qt/kit/qt_dialogs.h"
#include "client/qt/kit/qt_registry.h"
#include "client/qt/kit/qt_socket.h"
#include "client/qt/kit/qt_web_browser.h"

class QTimer;
class QWidget;

struct ca_context; // libcanberra's player

namespace navlet::qt {

// Days since 30 December 1899 and back.
double DateTimeToDays(const QDateTime& t);
QDateTime DaysToDateTime(double days, Qt::TimeSpec timeSpec);

class TQtClock : public TClock {
  public:
    double LocalNow() const override;
    double UtcNow() const override;
    double UtcToLocal(double utc) const override;
    std::string ShortDate(double local) const override;
};

// One QTimer per core timer, owned here; a stopped timer is deleted later, so
// that a tick may stop its own timer.
class TQtScheduler : public QObject, public TScheduler {
  public:
    ~TQtScheduler() override;
    TTimerHandle Start(uint32_t intervalMs, std::function<void()> tick) override;
    void Stop(TTimerHandle handle) override;
    size_t ActiveCount() const { return timers.size(); }

  private:
    std::map<TTimerHandle, QTimer*> timers;
    TTimerHandle nextHandle = 1;
};

// A kit font as Qt draws it: the point size at the platform's 96 dots per
// inch, as pixels, so that widths match the Windows bar's.
QFont FontOf(const TFont& font);
// A kit colour, system colours from the application's palette.
QColor ColorOf(TColor color);

class TQtTextMetrics : public TTextMetrics {
  public:
    TTextCode TextCode() const override { return TTextCode::Utf8; }
    int32_t TextWidth(const TFont& font, const std::string& text) override;
};

// Paints display lists with a QPainter the widget holds during its paint event.
class TQtCanvas : public TCanvas {
  public:
    explicit TQtCanvas(QPainter& p) : painter(p) {}
    void PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) override;

  private:
    QPainter& painter;
};

class TQtModuleFacts : public TModuleFacts {
  public:
    bool ModuleFileName(std::string& out) const override;
    uint32_t UserDefaultLcid() const override;
    std::string ServiceHostName() const override;
};

// The Windows locale id of a Qt locale: 13 languages and their main
// countries; any other language counts as English (United States).
uint32_t LcidOfLocale(const QLocale& locale);

// New browser windows are navlet-browser processes started with the link as
// their one argument.
class TQtHostActions : public THostActions {
  public:
    // `browserProgram` empty = "navlet-browser" beside the running program.
    explicit TQtHostActions(QString browserProgram = {}) : program(std::move(browserProgram)) {}
    int OpenBrowserWindow(const std::string& link) override;
    void ShowMessage(const std::string& text) override;
    // The hosting browser's own new-window command; null = start a new process.
    void SetWindowOpener(void (*open)(const char* address)) { opener = open; }

  private:
    QString program;
    void (*opener)(const char* address) = nullptr;
};

class TQtEnvironment : public TEnvironment {
  public:
    std::optional<std::string> Lookup(const std::string& name) const override;
};

// Maps component models to their widgets, so that menus open where the core
// says; the bar view registers its widgets here.
class TQtMenuTracker : public TMenuTracker {
  public:
    int16_t ShowPopupMenu(const TPopupMenu& menu, int32_t x, int32_t y,
                          const TComponent* control) override;
    // The widget that shows `model`, until the widget is destroyed or the
    // model is unregistered.
    void Register(const TComponent* model, QWidget* widget);
    void Unregister(const TComponent* model) { widgets.erase(model); }
    size_t RegisteredCount() const { return widgets.size(); }

  private:
    std::map<const TComponent*, QWidget*> widgets;
    QObject lifetime; // ends the widgets' connections with the tracker
};

class TQtClipboard : public TClipboard {
  public:
    void SetText(const std::string& text) override;
};

// The platform's sound aliases played as the desktop sound theme's events.
class TQtSound : public TSound {
  public:
    TQtSound();
    ~TQtSound() override;
    TQtSound(const TQtSound&) = delete;
    TQtSound& operator=(const TQtSound&) = delete;
    void PlayAlias(const std::string& alias) override;

  private:
    ::ca_context* context = nullptr; // null: no sound system, nothing plays
};

struct TQtKit {
    // The user's own settings keep the password in the desktop's secret
    // service; a folder of its own (a test's) keeps everything in its files.
    explicit TQtKit(QString registryFolder = TQtRegistry::DefaultFolder())
        : secrets(registryFolder == TQtRegistry::DefaultFolder() ? DesktopSecretStore() : nullptr),
          registry(std::move(registryFolder), secrets.get()) {}

    TQtClock clock;
    TQtScheduler scheduler;
    std::unique_ptr<TSecretStore> secrets; // before the registry, which uses it
    TQtRegistry registry;
    TQtTextMetrics metrics;
    TQtModuleFacts module;
    TQtHostActions host;
    TQtSocketFactory sockets;
    TQtEnvironment environment;
    TQtMenuTracker menus;
    TQtClipboard clipboard;
    TQtSound sound;
    TQtDialogs dialogs;
    TQtWebBrowserFactory browsers;
    TPosixFiles files;

    TKit Kit() {
        return TKit{clock,       scheduler, registry,  metrics, module,  host,     sockets,
                    environment, menus,     clipboard, sound,   dialogs, browsers, files};
    }
};

} // namespace navlet::qt
