// Sounds on a machine with no sound output: the bar beeps quietly instead of
// letting the player's backend print its errors on every play.
#include <cstdio>
#include <string>

#include <QFileInfo>
#include <QTemporaryFile>

#include <gtest/gtest.h>
#include <unistd.h>

#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {
namespace {

// What the process writes to its standard error while `run` runs.
template <typename Run> std::string StandardErrorOf(Run run) {
    QTemporaryFile capture;
    EXPECT_TRUE(capture.open());
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(capture.handle(), 2);
    run();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    capture.seek(0);
    return capture.readAll().toStdString();
}

TEST(TQtSoundTest, WithoutASoundOutputPlayingPrintsNothing) {
    if (QFileInfo::exists(QStringLiteral("/dev/snd")))
        GTEST_SKIP() << "this machine has sound devices";
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent");
    const std::string printed = StandardErrorOf([] {
        TQtSound sound;
        for (int i = 0; i < 3; ++i)
            sound.PlayAlias("MailBeep");
    });
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(printed.find("ALSA"), std::string::npos) << printed;
}

} // namespace
} // namespace navlet::qt
