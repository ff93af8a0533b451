#include "client/qt/bar/console_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>

#include "client/qt/bar/bound_widgets.h"
#include "client/qt/kit/bar_text.h"

namespace navlet::qt {

namespace {

// The console's client area, its log and its "Clear" button (55 x 19 at
// 464, 193 in the 523 x 217 client area).
constexpr QSize CLIENT_SIZE(523, 217);
constexpr int LOG_BOTTOM_GAP = 217 - 188;
constexpr QSize CLEAR_SIZE(55, 19);
constexpr int CLEAR_RIGHT_GAP = 523 - 464 - 55;
constexpr int CLEAR_BOTTOM_GAP = 217 - 193 - 19;

class TConsoleWindow : public QWidget {
  public:
    // A resizable tool window that stays on top, centred on the screen.
    explicit TConsoleWindow(TConsoleForm& c)
        : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), console(&c) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(FromBar(c.Caption()));
        log = new QPlainTextEdit(this);
        log->setReadOnly(true);
        log->setLineWrapMode(QPlainTextEdit::NoWrap);
        log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        clear = new QPushButton(QStringLiteral("Clear"), this);
        resize(CLIENT_SIZE);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        connect(clear, &QPushButton::clicked, this, [this] {
            if (console)
                console->btClearClick();
        });
        observations.Bind(
            c, *this, [this] { Render(); },
            [this] {
                console = nullptr; // closed, by the user or by the bar
                hide();
                deleteLater();
            });
    }

  protected:
    // The log fills the window above the button; the button keeps its
    // distance to the right and bottom edges.
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const QSize size = event->size();
        log->setGeometry(0, 0, size.width(), size.height() - LOG_BOTTOM_GAP);
        clear->setGeometry(QRect(QPoint(size.width() - CLEAR_RIGHT_GAP - CLEAR_SIZE.width(),
                                        size.height() - CLEAR_BOTTOM_GAP - CLEAR_SIZE.height()),
                                 CLEAR_SIZE));
    }

    void closeEvent(QCloseEvent* event) override {
        if (console)
            console->FormClose(); // destroys the console; its end lets this window go
        event->accept();
    }

  private:
    void Render() {
        QString text;
        for (const std::string& line : console->Log())
            text += FromBar(line) + QLatin1Char('\n');
        log->setPlainText(text);
        setVisible(console->Visible());
    }

    TConsoleForm* console;
    QPlainTextEdit* log = nullptr;
    QPushButton* clear = nullptr;
    TObservations observations;
};

} // namespace

void ShowConsoleWindow(TConsoleForm& console) {
    new TConsoleWindow(console); // shown by the console's Show, freed on close
}

} // namespace navlet::qt
