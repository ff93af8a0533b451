#include "client/qt/bar/console_window.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "client/qt/bar/bound_widgets.h"
#include "client/qt/kit/ansi.h"

namespace navlet::qt {

namespace {

class TConsoleWindow : public QWidget {
  public:
    explicit TConsoleWindow(TConsoleForm& c) : console(&c) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(FromAnsi(c.Caption()));
        resize(TConsoleForm::WIDTH, TConsoleForm::HEIGHT);
        auto* layout = new QVBoxLayout(this);
        log = new QPlainTextEdit(this);
        log->setReadOnly(true);
        auto* clear = new QPushButton(QStringLiteral("Clear"), this);
        layout->addWidget(log);
        layout->addWidget(clear, 0, Qt::AlignRight);
        connect(clear, &QPushButton::clicked, this, [this] {
            if (console)
                console->btClearClick();
        });
        observations.Add(c, [this] { Render(); });
        Render();
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (console) {
            TConsoleForm* closing = console;
            console = nullptr;
            observations.Forget(); // the console goes away inside FormClose
            closing->FormClose();
        }
        event->accept();
    }

  private:
    void Render() {
        if (!console)
            return;
        QString text;
        for (const std::string& line : console->Log())
            text += FromAnsi(line) + QLatin1Char('\n');
        log->setPlainText(text);
        if (console->Visible()) {
            shown = true;
            show();
            return;
        }
        if (!shown)
            return; // made, not shown yet
        // Hidden after showing means closing: the console goes right after this.
        console = nullptr;
        observations.Forget();
        hide();
        deleteLater();
    }

    TConsoleForm* console;
    bool shown = false;
    QPlainTextEdit* log = nullptr;
    TObservations observations;
};

} // namespace

void ShowConsoleWindow(TConsoleForm& console) {
    new TConsoleWindow(console); // shown by the console's Show, freed on close
}

} // namespace navlet::qt
