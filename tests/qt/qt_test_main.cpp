// One QApplication for the Qt tests, on the offscreen platform, with the
// user's configuration folder in a fresh temporary folder so that no test
// touches the real registry files.
#include <cstdlib>

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
