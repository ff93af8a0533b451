// The bar on Qt at the height a new user meets: every control of the login,
// search and friends panels shows whole, with its text uncut; the chat tabs
// keep their 15-pixel strip; each widget sits where the core's layout says.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "client/qt/bar/bar_view.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {
namespace {

class TBarLayoutViewTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    TQtKit kit{dir.path()};
    TNavlet bar{kit.Kit()};
    TBarView view{bar, kit.menus, kit.browsers};

    void SetUp() override {
        view.resize(BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT);
        bar.Form.SetVisible(true); // as the band is shown
        QCoreApplication::processEvents();
    }

    QWidget* Part(TPart part) {
        return view.findChild<QWidget*>(QString::fromLatin1(LayoutRow(part).name));
    }

    // Every control the panel holds lies inside the bar, and its text fits.
    void ExpectWholeControls(TPart panelPart) {
        QWidget* panel = Part(panelPart);
        ASSERT_NE(panel, nullptr) << LayoutRow(panelPart).name;
        ASSERT_TRUE(panel->isVisibleTo(&view)) << LayoutRow(panelPart).name;
        int controls = 0;
        for (QWidget* child : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const std::string name = child->objectName().toStdString();
            ++controls;
            const QRect inBar(child->mapTo(&view, QPoint(0, 0)), child->size());
            EXPECT_TRUE(view.rect().contains(inBar)) << name;
            EXPECT_TRUE(TextFits(*child)) << name << " cuts its text";
        }
        EXPECT_GT(controls, 0);
    }

    static bool TextFits(const QWidget& w) {
        const QFontMetrics metrics(w.font());
        if (auto* label = qobject_cast<const QLabel*>(&w)) {
            if (label->wordWrap())
                return label->heightForWidth(label->width()) <= label->height();
            return metrics.horizontalAdvance(label->text()) <= label->contentsRect().width();
        }
        if (auto* button = qobject_cast<const QPushButton*>(&w))
            return metrics.horizontalAdvance(button->text()) + 4 <= button->width() &&
                   metrics.height() <= button->height();
        return true;
    }
};

TEST_F(TBarLayoutViewTest, LoginSearchAndFriendsPanelsShowWholeAtTheIdealHeight) {
    bar.SetBannerMode(bmLogin);
    ExpectWholeControls(TPart::LoginPanel);
    bar.SetBannerMode(bmSearch);
    ExpectWholeControls(TPart::SearchPanel);
    auto* message = qobject_cast<QLabel*>(Part(TPart::Label6));
    ASSERT_NE(message, nullptr) << "the message box has its label";
    EXPECT_EQ(message->text(), "Send this message");
    bar.SetBannerMode(bmFriends);
    ExpectWholeControls(TPart::FriendPanel);
}

TEST_F(TBarLayoutViewTest, WidgetsTakeTheCoresRectanglesAtEverySize) {
    for (auto [w, h] :
         {std::pair{BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT}, {900, BAR_MIN_HEIGHT}, {1400, 400}}) {
        view.resize(w, h);
        QCoreApplication::processEvents();
        const TBarLayout& layout = bar.Layout();
        for (const TLayoutRow& row : BAR_LAYOUT) {
            QWidget* widget = Part(row.part);
            if (!widget || row.part == TPart::Form)
                continue;
            const TRect r = layout.InForm(row.part);
            EXPECT_EQ(QRect(widget->mapTo(&view, QPoint(0, 0)), widget->size()),
                      QRect(r.left, r.top, r.Width(), r.Height()))
                << row.name << " at " << w << " x " << h;
        }
    }
}

TEST_F(TBarLayoutViewTest, TheTabStripIsFifteenPixelsAndTheChatHintIsWhole) {
    auto* tabs = qobject_cast<QTabWidget*>(Part(TPart::PageControl));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabBar()->height(), TAB_STRIP_HEIGHT);
    auto* edit1 = qobject_cast<QLineEdit*>(Part(TPart::Edit1));
    ASSERT_NE(edit1, nullptr);
    const QMargins margins = edit1->textMargins();
    EXPECT_LE(QFontMetrics(edit1->font()).horizontalAdvance(edit1->text()),
              edit1->width() - margins.left() - margins.right() - 4)
        << edit1->text().toStdString();
}

TEST_F(TBarLayoutViewTest, TheOptionsMenuOpensBelowTheOptionsButton) {
    QWidget* button = Part(TPart::NavletBtn);
    ASSERT_NE(button, nullptr);
    QPoint openedAt(-1, -1);
    QTimer::singleShot(0, [&] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            openedAt = menu->pos();
            menu->close();
        }
    });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(openedAt, button->mapToGlobal(QPoint(0, button->height())));
}

TEST_F(TBarLayoutViewTest, TheUsersListFlowsIntoColumnsAndThePasswordShowsStars) {
    auto* list = qobject_cast<QListWidget*>(Part(TPart::lvUsers));
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 30; ++i)
        bar.lvUsers.Add({"user" + std::to_string(10 + i), giMale, UserId(100 + i)});
    QCoreApplication::processEvents();
    const QRect first = list->visualItemRect(list->item(0));
    const QRect last = list->visualItemRect(list->item(29));
    EXPECT_GT(last.left(), first.left()) << "the entries go on in a second column";
    EXPECT_LE(last.bottom(), list->viewport()->height());

    auto* password = qobject_cast<QLineEdit*>(Part(TPart::edPwd));
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(
        password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password),
        '*');
}

} // namespace
} // namespace navlet::qt
