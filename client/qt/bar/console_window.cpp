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
        observations.Bind(
            c, *this, [this] { Render(); },
            [this] {
                console = nullptr; // closed, by the user or by the bar
                hide();
                deleteLater();
            });
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (console)
            console->FormClose(); // destroys the console; its end lets this window go
        event->accept();
    }

  private:
    void Render() {
        QString text;
        for (const std::string& line : console->Log())
            text += FromAnsi(line) + QLatin1Char('\n');
        log->setPlainText(text);
        setVisible(console->Visible());
    }

    TConsoleForm* console;
    QPlainTextEdit* log = nullptr;
    TObservations observations;
};

} // namespace

void ShowConsoleWindow(TConsoleForm& console) {
    new TConsoleWindow(console); // shown by the console's Show, freed on close
}

} // namespace navlet::qt
