// One QApplication for the Qt tests, on the offscreen platform, with the
// user's configuration folder in a fresh temporary folder so that no test
// touches the real registry files. WebEngine wants shared OpenGL contexts
// before the application exists, and no sandbox when the tests run as root in
// a container.
#include <cstdlib>

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
