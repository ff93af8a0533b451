// A Linux bar as the other person for the Windows end-to-end tests and the
// TLS test through nginx: the Qt kit and widgets on the offscreen platform,
// signed in to NAVLET_SERVER (tls://HOST:PORT for TLS, NAVLET_TLS_CA naming a
// test CA) from stored settings. It waits for PEER on its users list, types
// LINE into its chat line character by character (as an input method
// delivers them), sends it and waits for ANSWER in its public chat. Exits 0
// when all of it happened; prints its last status line either way. Its
// window shows PAGE (http://www.example.com/news/ unless given).
//
//   navlet-qt-peer NICK PASSWORD PEER LINE ANSWER [PAGE]
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include "client/qt/bar/bar_view.h"
#include "client/qt/kit/qt_kit.h"
#include "tests/support/host_fakes.h"

namespace navlet::qt {
namespace {

// Wine starts slowly on a loaded machine: a minute for each step.
constexpr int WAIT_MS = 60000;

bool Spin(const char* what, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < WAIT_MS)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const bool ok = done();
    std::printf("waited %s %s\n", what, ok ? "ok" : "timed out");
    std::fflush(stdout);
    return ok;
}

int Run(const char* nick, const char* password, const QString& peer, const QString& line,
        const QString& answer, const char* page) {
    QTemporaryDir settings;
    TQtKit kit{settings.path()};
    TNavlet bar{kit.Kit()};
    TBarView view{bar, kit.menus, kit.browsers};
    testing::TRecordingHostControl site{page};
    if (auto key = kit.registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create)) {
        key->WriteString("nck", nick);
        key->WriteString("pwd", TNavlet::ScramblePassword(password, -1));
    }
    view.resize(810, 216);
    bar.AttachHost(site);
    bar.ShowDW(true);

    auto* users = view.findChild<QListWidget*>("lvUsers");
    auto* edit = view.findChild<QLineEdit*>("Edit1");
    auto* send = view.findChild<QToolButton*>("sbSendTxt");
    auto* chat = static_cast<QTextEdit*>(view.findChild<QTabWidget*>("PageControl")->widget(0));
    auto listed = [&] {
        for (int i = 0; i < users->count(); ++i)
            if (users->item(i)->text() == peer)
                return true;
        return false;
    };
    auto statusLine = [&] {
        for (const TMsgLine& message : bar.msgQueue)
            if (message.kind == mkStatus)
                return message.text;
        return std::string();
    };
    // A connection that could not be secured does not come back by itself.
    auto signedInOrRefused = [&] {
        return bar.loggedIn || statusLine().rfind("Could not secure", 0) == 0;
    };
    int status = 1;
    if (Spin("signed in", signedInOrRefused) && bar.loggedIn && Spin("peer", listed)) {
        QTest::mouseClick(edit, Qt::LeftButton);
        for (QChar c : line) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
        const bool typed = edit->text() == line;
        std::printf("typed %s\n", typed ? "ok" : edit->text().toUtf8().constData());
        QTest::mouseClick(send, Qt::LeftButton);
        if (typed && Spin("answer", [&] { return chat->toPlainText().contains(answer); }))
            status = 0;
    }
    std::printf("status \"%s\"\n", statusLine().c_str());
    std::printf("chat holds \"%s\"\n", chat->toPlainText().toUtf8().constData());
    bar.CloseDW();
    return status;
}

} // namespace
} // namespace navlet::qt

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s NICK PASSWORD PEER LINE ANSWER [PAGE]\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir config; // no test touches the user's own settings files
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    return navlet::qt::Run(argv[1], argv[2], QString::fromUtf8(argv[3]), QString::fromUtf8(argv[4]),
                           QString::fromUtf8(argv[5]),
                           argc == 7 ? argv[6] : "http://www.example.com/news/");
}
