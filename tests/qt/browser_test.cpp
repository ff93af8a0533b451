// navlet-browser as a person uses it: the bar's first-start page wins over the
// start address, keys the bar gives back reach the focused control, the View
// menu hides the bar, and new windows open in the same process, each with its
// own bar.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include "client/qt/browser/browser_app.h"
#include "client/qt/browser/browser_window.h"
#include "client/qt/browser/module_loader.h"

namespace navlet::qt {
namespace {

bool Spin(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

const NavletModuleApi& Module() {
    QString error;
    const NavletModuleApi* api = LoadBarModule(NAVLET_MODULE_FILE, error);
    if (!api)
        ADD_FAILURE() << error.toStdString();
    return *api;
}

class TBrowserTest : public ::testing::Test {
  protected:
    TBrowserApp app{{&Module()}};

    template <typename T> static T* Child(QWidget* window, const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
};

// Runs first in this program: the module's settings are still empty.
TEST_F(TBrowserTest, TheBarsFirstStartPageOpensInANewWindowBesideTheStartAddress) {
    TBrowserWindow& window = app.NewWindow(QStringLiteral("http://127.0.0.1:9/start.html"));
    ASSERT_TRUE(window.BandShown());
    ASSERT_TRUE(Spin([&] { return app.Windows().size() == 2; })) << app.Windows().size();
    TBrowserWindow& signUp = *app.Windows().back();
    ASSERT_TRUE(Spin([&] {
        return signUp.LocationURL().find("/newuser.asp") != std::string::npos;
    })) << signUp.LocationURL();
    EXPECT_EQ(signUp.LocationURL().rfind("http://", 0), 0u) << signUp.LocationURL();
    QTest::qWait(300);
    EXPECT_EQ(window.LocationURL(), "http://127.0.0.1:9/start.html")
        << "the page the user was on stays";

    app.NewWindow(QStringLiteral("http://127.0.0.1:9/start.html"));
    QTest::qWait(300);
    EXPECT_EQ(app.Windows().size(), 3u) << "once per version";
}

TEST_F(TBrowserTest, KeysTheBarGivesBackReachTheFocusedControl) {
    TBrowserWindow& window = app.NewWindow(QString());
    window.activateWindow();
    auto* users = Child<QListWidget>(&window, "lvUsers");
    ASSERT_NE(users, nullptr);
    users->addItems({"amy", "bob", "cat"});
    users->setCurrentRow(0);
    users->setFocus();
    ASSERT_TRUE(Spin([&] { return users->hasFocus(); }));
    QTest::keyClick(users, Qt::Key_Down);
    EXPECT_EQ(users->currentRow(), 1) << "the arrow moved in the users list";
}

TEST_F(TBrowserTest, AfterAClickInTheBarTheAddressFieldAndThePageKeepTheKeys) {
    TBrowserWindow& window = app.NewWindow(QString());
    window.activateWindow();
    auto* edit1 = Child<QLineEdit>(&window, "Edit1");
    ASSERT_NE(edit1, nullptr);
    ASSERT_TRUE(Spin([&] { return edit1->isVisible(); }));
    // The band is the splitter's pane that holds the bar.
    QWidget* band = edit1;
    while (band->parentWidget() && !qobject_cast<QSplitter*>(band->parentWidget()))
        band = band->parentWidget();
    auto inBand = [band](QWidget* w) { return w == band || band->isAncestorOf(w); };
    QLineEdit* address = nullptr;
    for (QLineEdit* edit : window.findChildren<QLineEdit*>())
        if (!inBand(edit) && edit->isVisible())
            address = edit;
    ASSERT_NE(address, nullptr);

    QTest::mouseClick(edit1, Qt::LeftButton);
    ASSERT_TRUE(Spin([&] { return edit1->hasFocus(); }));
    QTest::mouseClick(address, Qt::LeftButton);
    address->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), "abc");
    QTest::qWait(200);
    EXPECT_TRUE(address->hasFocus()) << "the bar took the focus back";
    EXPECT_EQ(address->text(), "abc");

    // The same after a click into the page.
    QTest::mouseClick(edit1, Qt::LeftButton);
    ASSERT_TRUE(Spin([&] { return edit1->hasFocus(); }));
    QWidget* page = window.findChild<QWebEngineView*>();
    ASSERT_NE(page, nullptr);
    QWidget* pageInput = page->focusProxy() ? page->focusProxy() : page;
    QTest::mouseClick(pageInput, Qt::LeftButton);
    pageInput->setFocus(Qt::MouseFocusReason); // a click the platform delivers focuses it
    QTest::qWait(200);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_FALSE(inBand(focused)) << focused->metaObject()->className();
}

TEST_F(TBrowserTest, TheViewMenuHidesTheBarAndTheNextWindowRemembers) {
    TBrowserWindow& window = app.NewWindow(QString());
    ASSERT_TRUE(window.BandShown());
    window.ShowBand(false);
    StoreBarShownSetting(false);
    EXPECT_FALSE(window.BandShown());
    EXPECT_FALSE(Child<QWidget>(&window, "lvUsers")->isVisible());
    TBrowserWindow& next = app.NewWindow(QString());
    EXPECT_TRUE(next.HasBand());
    EXPECT_FALSE(next.BandShown());
    next.ShowBand(true);
    StoreBarShownSetting(true);
    EXPECT_TRUE(Child<QWidget>(&next, "lvUsers")->isVisible());
}

TEST_F(TBrowserTest, NewWindowsOpenInThisProcessEachWithItsOwnBar) {
    TBrowserWindow& window = app.NewWindow(QString());
    const size_t before = app.Windows().size();
    QAction* open = nullptr;
    for (QAction* action : window.findChildren<QAction*>())
        if (action->shortcut() == QKeySequence(QKeySequence::New))
            open = action;
    ASSERT_NE(open, nullptr) << "File > New window, Ctrl+N";
    open->trigger();
    ASSERT_EQ(app.Windows().size(), before + 1);
    EXPECT_TRUE(app.Windows().back()->HasBand());
    app.Windows().back()->close();
    ASSERT_TRUE(Spin([&] { return app.Windows().size() == before; }));
}

// What the bars call for a link meant for a new browser window.
void (*barOpener)(const char*) = nullptr;

TEST(TBrowserAppTest, ALinkFromABarOpensAWindowOfThisProcessAfterTheBarsHandler) {
    NavletModuleApi fake{};
    fake.abi = NAVLET_MODULE_ABI;
    fake.createBar = [](QWidget*) -> NavletBar* { return nullptr; };
    fake.setWindowOpener = [](void (*open)(const char*)) { barOpener = open; };
    {
        TBrowserApp app({&fake});
        ASSERT_NE(barOpener, nullptr);
        barOpener("127.0.0.1:9/invited.html");
        EXPECT_TRUE(app.Windows().empty()) << "not inside the bar's own handler";
        ASSERT_TRUE(Spin([&] { return app.Windows().size() == 1; }));
        EXPECT_EQ(app.Windows()[0]->LocationURL(), "http://127.0.0.1:9/invited.html");
    }
    EXPECT_EQ(barOpener, nullptr) << "the browser took its opener back";
}

} // namespace
} // namespace navlet::qt
