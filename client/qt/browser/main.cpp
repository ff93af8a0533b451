// navlet-browser: a small web browser that hosts the bar the way the
// platform browser does.
//
//   navlet-browser [URL]                 browse, with every registered bar
//                                        (File > New window, Ctrl+N: another
//                                        window of the same process)
//   navlet-browser --register MODULE     write MODULE's class registration
//   navlet-browser --unregister MODULE   remove it
//   navlet-browser --screenshot FILE [--after SECONDS] [URL]
//                                        save the window to FILE after SECONDS
//                                        (default 10) and quit
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "client/qt/browser/browser_app.h"
#include "client/qt/browser/browser_window.h"
#include "client/qt/browser/module_loader.h"

namespace {

using namespace navlet::qt;

int RunRegistration(const QString& modulePath, bool unregister) {
    QString error;
    const NavletModuleApi* api = LoadBarModule(modulePath.toStdString(), error);
    if (!api) {
        std::fprintf(stderr, "navlet-browser: %s\n", qPrintable(error));
        return 1;
    }
    const int result = unregister ? api->unregisterServer() : api->registerServer();
    if (result != 0) {
        std::fprintf(stderr, "navlet-browser: the module answered 0x%08x\n", unsigned(result));
        return 1;
    }
    return 0;
}

// Every registered bar that loads, in the store's order; a browser without
// one still browses.
std::vector<const NavletModuleApi*> RegisteredBands() {
    std::vector<const NavletModuleApi*> bands;
    const TQtRegistry registry(TQtRegistry::DefaultFolder());
    for (const TBarClass& found : FindBarClasses(registry)) {
        QString error;
        const NavletModuleApi* api = LoadBarModule(found.module, error);
        if (!api) {
            std::fprintf(stderr, "navlet-browser: bar %s: %s\n", found.clsid.c_str(),
                         qPrintable(error));
            continue;
        }
        bands.push_back(api);
    }
    return bands;
}

void ScheduleScreenshot(TBrowserWindow& window, const QString& file, int seconds) {
    QTimer::singleShot(seconds * 1000, &window, [&window, file] {
        const QPixmap shot = window.screen()->grabWindow(window.winId());
        const bool saved = shot.save(file);
        std::fprintf(stderr, "navlet-browser: screenshot %s %s\n", qPrintable(file),
                     saved ? "saved" : "NOT saved");
        QApplication::exit(saved ? 0 : 1);
    });
}

// --register and --unregister need no display: they run before any window
// system is asked for.
int RegistrationCommand(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        if (option != "--register" && option != "--unregister")
            continue;
        QCoreApplication app(argc, argv);
        return RunRegistration(QString::fromLocal8Bit(argv[i + 1]), option == "--unregister");
    }
    return -1;
}

void DescribeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral("A web browser with the Navlet bar."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("register"), QStringLiteral("Register the bar module MODULE."),
         QStringLiteral("MODULE")},
        {QStringLiteral("unregister"), QStringLiteral("Unregister the bar module MODULE."),
         QStringLiteral("MODULE")},
        {QStringLiteral("screenshot"), QStringLiteral("Save the window to FILE and quit."),
         QStringLiteral("FILE")},
        {QStringLiteral("after"), QStringLiteral("Seconds before the screenshot."),
         QStringLiteral("SECONDS"), QStringLiteral("10")},
    });
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("The page to open."));
}

// --help needs no display either: it is answered before any window system is asked.
int HelpCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QString option = QString::fromLocal8Bit(argv[i]);
        if (option != "-h" && option != "--help" && option != "-?")
            continue;
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        DescribeOptions(parser);
        parser.showHelp(0); // exits
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int done = RegistrationCommand(argc, argv); done >= 0)
        return done;
    if (const int done = HelpCommand(argc, argv); done >= 0)
        return done;
    // WebEngine describes its graphics set-up at every start; a normal start is quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("navlet-browser"));
    QCommandLineParser parser;
    DescribeOptions(parser);
    parser.process(app);

    TBrowserApp browser(RegisteredBands());
    const QStringList pages = parser.positionalArguments();
    TBrowserWindow& first = browser.NewWindow(pages.isEmpty() ? QString() : pages.first());
    if (parser.isSet(QStringLiteral("screenshot")))
        ScheduleScreenshot(first, parser.value(QStringLiteral("screenshot")),
                           std::max(1, parser.value(QStringLiteral("after")).toInt()));
    return app.exec();
}
