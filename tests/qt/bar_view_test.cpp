// The bar's widgets follow their models and hand user input back: typing,
// lists, tabs with their conversations, the chat line's height rule, and the
// ticker painted from the core's display list.
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include "client/core/module_state.h"
#include "client/qt/bar/bar_view.h"
#include "client/qt/bar/console_window.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {
namespace {

class TBarViewTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    TQtKit kit{dir.path()};
    TNavlet bar{kit.Kit()};
    TBarView view{bar, kit.menus, kit.browsers};

    // The platform window takes a new size asynchronously.
    void Resize(int w, int h) {
        view.resize(w, h);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }

    template <typename T> T* Child(const char* name) {
        return view.findChild<T*>(QString::fromLatin1(name));
    }
};

TEST_F(TBarViewTest, TypingReachesTheModelsAndTheModelsReachTheBoxes) {
    bar.SetBannerMode(bmLogin);
    view.resize(810, 216);
    bar.Form.SetVisible(true); // as the band is shown
    auto* nick = Child<QLineEdit>("edNck");
    ASSERT_NE(nick, nullptr);
    EXPECT_TRUE(nick->isVisibleTo(&view));
    QTest::keyClicks(nick, "demo");
    EXPECT_EQ(bar.edNck.Text(), "demo");
    bar.edPwd.SetText("secret");
    EXPECT_EQ(Child<QLineEdit>("edPwd")->text(), "secret");
    EXPECT_EQ(Child<QLineEdit>("edPwd")->echoMode(), QLineEdit::Password);
    bar.SetBannerMode(bmDefault);
    EXPECT_FALSE(Child<QWidget>("LoginPanel")->isVisibleTo(&view));
    // The hint in grey gives way when the chat line is clicked.
    auto* edit1 = Child<QLineEdit>("Edit1");
    EXPECT_EQ(edit1->text(), "Write here to send text messages in the chat");
    QTest::mouseClick(edit1, Qt::LeftButton);
    EXPECT_EQ(bar.Edit1.Text(), "");
    EXPECT_EQ(edit1->text(), "");
}

// Key presses carrying `text`, as an input method delivers characters that
// have no key of their own; one press per character.
void TypeText(QWidget* widget, const QString& text) {
    for (char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, one);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, one);
        QApplication::sendEvent(widget, &release);
    }
}

TEST_F(TBarViewTest, TheChatLineTakesEveryScriptAndEmojiAsUtf8) {
    view.resize(810, 216);
    bar.Form.SetVisible(true);
    auto* edit1 = Child<QLineEdit>("Edit1");
    QTest::mouseClick(edit1, Qt::LeftButton);
    TypeText(edit1, QString::fromUtf8("5 € “ok”"));
    EXPECT_EQ(bar.Edit1.Text(), "5 € “ok”");
    edit1->setCursorPosition(2);
    TypeText(edit1, QString::fromUtf8("😀Ł"));
    EXPECT_EQ(bar.Edit1.Text(), "5 😀Ł€ “ok”");
    EXPECT_EQ(edit1->text(), QString::fromUtf8("5 😀Ł€ “ok”"));
    // What the model holds shows as it is, and comes back the same.
    bar.Edit1.SetText("łódź 😀 ığş");
    edit1->selectAll();
    edit1->copy();
    edit1->clear();
    edit1->paste();
    EXPECT_EQ(bar.Edit1.Text(), "łódź 😀 ığş");
    EXPECT_EQ(edit1->text().at(0), QChar(0x0142));
}

TEST_F(TBarViewTest, TheFormHearsOfItsSizeAndTheChatLineFollowsTheHeight) {
    bar.Form.SetVisible(true); // as the band is shown
    Resize(800, 52);
    EXPECT_EQ(bar.Form.Height(), 52);
    EXPECT_FALSE(Child<QWidget>("ChatMsgPanel")->isVisibleTo(&view));
    Resize(800, 53);
    EXPECT_TRUE(Child<QWidget>("ChatMsgPanel")->isVisibleTo(&view));
    EXPECT_EQ(bar.msg_img.Width(), 800 - 250 - 290 - 53 - 34);
    EXPECT_EQ(Child<QWidget>("msg_img")->width(), bar.msg_img.Width());
    Resize(800, 20);
    EXPECT_EQ(bar.ResizeBtn.Glyph(), glRestore);
}

TEST_F(TBarViewTest, TheUsersListShowsTheModelsEntriesInOrder) {
    auto* list = Child<QListWidget>("lvUsers");
    ASSERT_NE(list, nullptr);
    bar.lvUsers.Add({"zed", 1, 7});
    bar.lvUsers.Add({"amy", 0, 8});
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "amy");
    EXPECT_EQ(list->item(1)->text(), "zed");
    bar.lvUsers.Clear();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(TBarViewTest, TabsAndConversationsFollowThePageControl) {
    auto* tabs = Child<QTabWidget>("PageControl");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), "public chat");
    TTabSheet& priv = bar.CreateChatTab("amy", /*owner=*/8, /*chat=*/0x0801);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(1), "amy");
    EXPECT_EQ(tabs->tabBar()->tabTextColor(1), QColor(Qt::red)) << "unseen text is marked";

    priv.view->AppendLine(TChatLine{{{"amy: ", clMaroon, /*bold=*/true}, {"hi there", clBlack}}});
    auto* text = static_cast<QTextEdit*>(tabs->widget(1));
    EXPECT_EQ(text->toPlainText(), "amy: hi there");
    QTextCursor at(text->document());
    at.setPosition(2);
    EXPECT_TRUE(at.charFormat().fontWeight() == QFont::Bold);
    priv.view->SetSelection(5, 2);
    EXPECT_EQ(text->textCursor().selectedText(), "hi");

    // The user picks the tab: the model hears of it and the mark goes.
    tabs->setCurrentIndex(1);
    EXPECT_EQ(bar.PageControl.ActivePageIndex(), 1);
    EXPECT_FALSE(priv.highlighted);

    // Closing the tab destroys its view before the widgets hear of it.
    bar.CloseChatTab(priv, TNavlet::TCloseNotify::Silent);
    ASSERT_EQ(tabs->count(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    bar.PageControl.Page(0).view->AppendLine(TChatLine{{{"still here", clBlack}}});
    EXPECT_EQ(static_cast<QTextEdit*>(tabs->widget(0))->toPlainText(), "still here");
}

// Each model change renders once and each keystroke changes the model once:
// a render that came back as an edit would count more, or never end.
TEST_F(TBarViewTest, EveryTwoWayBindingCarriesBothWaysWithoutEcho) {
    view.resize(810, 216);
    bar.Form.SetVisible(true);
    int changes = 0;
    std::vector<TModel::TObservation> counting;
    auto count = [&](TModel& model) { counting.push_back(model.Watch([&] { ++changes; })); };

    const std::pair<const char*, TEdit*> edits[] = {
        {"edNck", &bar.edNck}, {"edPwd", &bar.edPwd}, {"edSearchMsg", &bar.edSearchMsg}};
    for (auto [name, model] : edits) {
        auto* box = Child<QLineEdit>(name);
        ASSERT_NE(box, nullptr) << name;
        changes = 0;
        count(*model);
        QTest::keyClicks(box, "ab");
        EXPECT_EQ(model->Text(), "ab") << name;
        model->SetText("xyz");
        EXPECT_EQ(box->text(), "xyz") << name;
        EXPECT_EQ(changes, 3) << name;
    }

    auto* search = Child<QComboBox>("cbSearch");
    ASSERT_NE(search, nullptr);
    changes = 0;
    count(bar.cbSearch);
    bar.cbSearch.AddItem(TComboExItem{"amy", giFemale, giFemale});
    bar.cbSearch.AddItem(TComboExItem{"bob", giMale, giMale});
    bar.cbSearch.SetText("zed");
    ASSERT_EQ(search->count(), 2);
    EXPECT_EQ(search->currentText(), "zed");
    EXPECT_EQ(changes, 3) << "rendering the items told the model nothing";
    QTest::keyClicks(search->lineEdit(), "x");
    EXPECT_EQ(bar.cbSearch.Text(), "zedx");
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Down); // the user steps into the friends
    EXPECT_EQ(bar.cbSearch.ItemIndex(), 0);
    EXPECT_EQ(bar.cbSearch.Text(), "amy");
    bar.cbSearch.SetItemIndex(1);
    EXPECT_EQ(search->currentText(), "bob");
    EXPECT_EQ(changes, 6);

    auto* users = Child<QListWidget>("lvUsers");
    bar.lvUsers.Add({"amy", 0, 8});
    bar.lvUsers.Add({"zed", 1, 7});
    bar.lvUsers.SetSelected(1);
    EXPECT_EQ(users->currentRow(), 1);
}

TEST_F(TBarViewTest, ALineHeldBackByTheSendPauseShowsInAnotherColour) {
    auto* edit1 = Child<QLineEdit>("Edit1");
    bar.Edit1.SetFontColor(clWindowText);
    const QColor normal = edit1->palette().color(QPalette::Text);
    bar.Edit1.SetFontColor(clInactiveCaptionText); // as the send pause sets it
    EXPECT_NE(edit1->palette().color(QPalette::Text), normal);
}

TEST_F(TBarViewTest, TheTickerPaintsTheCoresLineOverTheBannersLeftEdge) {
    view.resize(810, 216);
    auto* ticker = Child<QWidget>("msg_img");
    ASSERT_NE(ticker, nullptr);
    const QImage shot = ticker->grab().toImage();
    ASSERT_EQ(shot.height(), 16);
    // Right of the text the row keeps the default banner's column-0 colour.
    const int x = shot.width() - 2;
    for (int y : {0, 8, 15})
        EXPECT_EQ(shot.pixelColor(x, y), ColorOf(defBannerPixels[size_t(y)])) << "row " << y;
    bool inked = false;
    for (int px = 1; px < 60 && !inked; ++px)
        inked = shot.pixelColor(px, 8) != ColorOf(defBannerPixels[8]);
    EXPECT_TRUE(inked) << "the version line's text is drawn";
}

// The colour that dominates the middle of a button's glyph.
enum class TTint { Red, Green, Other };
TTint TintOf(const QToolButton& button) {
    const QColor c = button.icon().pixmap(16, 16).toImage().pixelColor(8, 8);
    if (c.red() > 2 * c.green() && c.red() > 2 * c.blue())
        return TTint::Red;
    if (c.green() > 2 * c.red() && c.green() > c.blue())
        return TTint::Green;
    return TTint::Other;
}

TEST_F(TBarViewTest, ButtonsShowTheirPicturesAndKeepThemWhenTheirModelsChange) {
    for (const char* name : {"SearchBtn", "FriendsBtn", "NavletBtn"}) {
        auto* button = Child<QToolButton>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->text().isEmpty()) << name;
        EXPECT_FALSE(button->icon().isNull()) << name;
    }
    bar.SearchBtn.SetHint("find someone");
    EXPECT_FALSE(Child<QToolButton>("SearchBtn")->icon().isNull())
        << "a hint change keeps the glyph";

    auto* led = Child<QToolButton>("LEDBtn");
    ASSERT_NE(led, nullptr);
    bar.LEDBtn.SetGlyph(glLedError);
    EXPECT_EQ(TintOf(*led), TTint::Red);
    bar.LEDBtn.SetGlyph(glLedNews);
    EXPECT_EQ(TintOf(*led), TTint::Green);
    bar.LEDBtn.SetGlyph(glLedSignedIn);
    EXPECT_EQ(TintOf(*led), TTint::Other);
}

} // namespace
} // namespace navlet::qt

namespace navlet::qt {
namespace {

TEST(TConsoleWindowTest, ShowsTheServersLinesAndClosingEndsTheConsole) {
    OnConsoleCreated = [](TConsoleForm& console) { ShowConsoleWindow(console); };
    AddConsoleText("first");
    AddConsoleText("second");
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == "Navlet Server Output" && w->isVisible())
            window = w;
    ASSERT_NE(window, nullptr);
    auto* log = window->findChild<QPlainTextEdit*>();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->toPlainText(), "first\nsecond\n");
    // A tool window on top of the browser, centred, its log not wrapped.
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window->size(), QSize(523, 217));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((window->geometry().center() - centre).manhattanLength(), 8) << "not at (0, 0)";
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(window->findChild<QPushButton*>()->geometry(), QRect(464, 193, 55, 19));
    QTest::mouseClick(window->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_TRUE(ConsoleForm->Log().empty());
    EXPECT_EQ(log->toPlainText(), "");
    window->close();
    EXPECT_EQ(ConsoleForm, nullptr);
    AddConsoleText("again"); // a new console, with a new window
    ASSERT_NE(ConsoleForm, nullptr);
    EXPECT_EQ(ConsoleForm->Log().size(), 1u);
    ConsoleForm->FormClose(); // closed by the bar's side: its window goes too
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->windowTitle() == "Navlet Server Output" && w->isVisible());
    OnConsoleCreated = nullptr;
}

} // namespace
} // namespace navlet::qt
