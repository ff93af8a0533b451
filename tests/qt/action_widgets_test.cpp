// The action widgets: the options and search buttons reach their handlers,
// the search panel's message box is bound, and the About box shows its texts.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include "client/core/about_box.h"
#include "client/qt/bar/bar_view.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {
namespace {

class TActionWidgetsTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    TQtKit kit{dir.path()};
    TNavlet bar{kit.Kit()};
    TBarView view{bar, kit.menus, kit.browsers};

    QToolButton* Button(const char* hint) {
        for (QToolButton* b : view.findChildren<QToolButton*>())
            if (b->toolTip() == QString::fromLatin1(hint))
                return b;
        return nullptr;
    }
};

TEST_F(TActionWidgetsTest, SearchButtonOpensThePanelWhoseMessageBoxIsBound) {
    view.resize(810, 216);
    bar.Form.SetVisible(true);
    QToolButton* search = Button("search user");
    ASSERT_NE(search, nullptr);
    EXPECT_TRUE(search->isEnabled());
    QTest::mouseClick(search, Qt::LeftButton);
    EXPECT_EQ(bar.BannerPanel.Mode(), bmDefault); // signed out: nothing
    bar.loggedIn = true;
    QTest::mouseClick(search, Qt::LeftButton);
    EXPECT_EQ(bar.BannerPanel.Mode(), bmSearch);
    auto* message = view.findChild<QLineEdit*>(QStringLiteral("edSearchMsg"));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisibleTo(&view));
    QTest::keyClicks(message, "hello");
    EXPECT_EQ(bar.edSearchMsg.Text(), "hello");
    EXPECT_EQ(message->maxLength(), 50);
    bar.loggedIn = false;
}

TEST(TAboutBoxTest, ShowsTheVersionLabelAndPictureAndOkClosesIt) {
    TQtDialogs dialogs;
    QString label;
    QSize picture;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "About Navlet");
        label = box->findChild<QLabel*>(QStringLiteral("Label1"))->text();
        picture = box->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().size();
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("OKButton")), Qt::LeftButton);
    });
    EXPECT_EQ(ShowAboutBox(dialogs), MODAL_RESULT_OK);
    EXPECT_EQ(label, "1.4.0");
    EXPECT_EQ(picture, QSize(449, 281));
    EXPECT_EQ(AboutForm, nullptr);
}

} // namespace
} // namespace navlet::qt
