// Two bars on the Qt kit, each with its widgets, against navlet-server on
// loopback: one signs in by typing into its login panel, the other from its
// stored settings, and a line typed into one's chat line shows in the other's
// public chat.
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>
#include <unistd.h>

#include "client/qt/bar/bar_view.h"
#include "client/qt/kit/qt_kit.h"
#include "protocol/code_page.h"
#include "server/server.h"
#include "tests/support/host_fakes.h"
#include "tests/support/scratch_dir.h"

namespace navlet::qt {
namespace {

// Chooses the item captioned `caption` in the next popup menu, with the keys
// a user would press, once the menu is open.
void ChooseInNextMenu(const QString& caption) {
    QTimer::singleShot(20, [caption] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            ChooseInNextMenu(caption); // not open yet
            return;
        }
        for (QAction* action : menu->actions())
            if (action->text() == caption)
                menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    });
}

// Fills the next report box as a user would, once it is open: the reason's
// radio button, the words typed, "also ignore" left as it is, then the
// report button. The box's picture goes to `shot` when that is set.
void FillNextReportBox(const QString& reason, const QString& words, const QString& shot) {
    QTimer::singleShot(20, [=] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || box->objectName() != QStringLiteral("ReportForm")) {
            FillNextReportBox(reason, words, shot); // not open yet
            return;
        }
        // On the button's circle: a radio button takes clicks on itself and
        // its words only.
        for (auto* radio : box->findChildren<QRadioButton*>())
            if (radio->text() == reason)
                QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
        auto* text = box->findChild<QLineEdit*>(QStringLiteral("ReportText"));
        for (QChar c : words) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(text, &press);
        }
        if (!shot.isEmpty())
            box->grab().save(shot);
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("OKButton")), Qt::LeftButton);
    });
}

// The admin endpoint's answer to one command, up to its closing line.
QString AdminAnswer(uint16_t port, const QByteArray& command) {
    QTcpSocket admin;
    admin.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!admin.waitForConnected(3000))
        return QStringLiteral("no connection");
    admin.write(command + "\n");
    QByteArray answer;
    while (admin.waitForReadyRead(3000)) {
        answer += admin.readAll();
        if (answer.contains("\nOK") || answer.startsWith("OK") || answer.contains("ERR"))
            break;
    }
    return QString::fromUtf8(answer);
}

bool Spin(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// One browser window's bar: the Qt kit on its own settings folder.
struct TQtWindow {
    QTemporaryDir settings;
    TQtKit kit{settings.path()};
    TNavlet bar{kit.Kit()};
    TBarView view{bar, kit.menus, kit.browsers};
    testing::TRecordingHostControl site{"http://www.example.com/news/"};

    // Opens the users menu on `nick`'s entry with a click, as a user does.
    void ClickUser(const QString& nick) {
        auto* users = Child<QListWidget>("lvUsers");
        const auto found = users->findItems(nick, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << nick.toStdString();
        QTest::mouseClick(users->viewport(), Qt::LeftButton, {},
                          users->visualItemRect(found[0]).center());
    }
    QStringList Users() {
        QStringList nicks;
        auto* users = Child<QListWidget>("lvUsers");
        for (int i = 0; i < users->count(); ++i)
            nicks << users->item(i)->text();
        return nicks;
    }

    void StoreSignIn(const char* nick, const char* password) {
        auto key = kit.registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create);
        key->WriteString("nck", nick);
        key->WriteString("pwd", TNavlet::ScramblePassword(password, -1));
    }
    void Show() {
        view.resize(810, 216);
        bar.AttachHost(site);
        bar.ShowDW(true);
    }
    template <typename T> T* Child(const char* name) {
        return view.findChild<T*>(QString::fromLatin1(name));
    }
    QString PublicChat() {
        return static_cast<QTextEdit*>(Child<QTabWidget>("PageControl")->widget(0))->toPlainText();
    }
};

class TQtSignInTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* account : {"alice apple1", "bob banana2", "carol cherry3"}) {
            const std::string command = std::string("'") + NAVLET_SERVER_PROGRAM + "' --data '" +
                                        data.string() + "' account add " + account + " > /dev/null";
            ASSERT_EQ(std::system(command.c_str()), 0);
        }
        server::TServerConfig config;
        config.listen = "127.0.0.1:0";
        config.admin = "127.0.0.1:0";
        config.web = "";
        config.dataDir = data.string();
        server = std::make_unique<server::TServer>(config);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
        loop = std::thread([this] { server->Run(); });
        const std::string endpoint = "127.0.0.1:" + std::to_string(server->SessionPort());
        qputenv("NAVLET_SERVER", QByteArray::fromStdString(endpoint));
    }

    void TearDown() override {
        if (server) {
            server->Stop();
            loop.join();
        }
        qunsetenv("NAVLET_SERVER");
    }

    testing::TScratchDir scratch{"navlet-qt-e2e"};
    const std::filesystem::path& data = scratch.path;
    std::unique_ptr<server::TServer> server;
    std::thread loop;
};

TEST_F(TQtSignInTest, TypedSignInAndAChatLineReachTheOtherBar) {
    TQtWindow alice;
    alice.Show();
    // No stored sign-in: the login panel asks for one.
    ASSERT_TRUE(alice.Child<QWidget>("LoginPanel")->isVisibleTo(&alice.view));
    QTest::keyClicks(alice.Child<QLineEdit>("edNck"), "alice");
    QTest::keyClicks(alice.Child<QLineEdit>("edPwd"), "apple1");
    QTest::mouseClick(alice.Child<QPushButton>("sbLogin"), Qt::LeftButton);
    ASSERT_TRUE(Spin([&] { return alice.bar.loggedIn; }));
    auto* aliceList = alice.Child<QListWidget>("lvUsers");
    ASSERT_TRUE(Spin([&] { return aliceList->count() == 1; }));
    EXPECT_EQ(aliceList->item(0)->text(), "alice");

    TQtWindow bob;
    bob.StoreSignIn("bob", "banana2");
    bob.Show();
    ASSERT_TRUE(Spin([&] { return bob.bar.loggedIn && aliceList->count() == 2; }));

    auto* edit1 = alice.Child<QLineEdit>("Edit1");
    QTest::mouseClick(edit1, Qt::LeftButton);
    QTest::keyClicks(edit1, "hello from Qt");
    QTest::mouseClick(alice.Child<QToolButton>("sbSendTxt"), Qt::LeftButton);
    EXPECT_TRUE(alice.PublicChat().contains("hello from Qt")) << alice.PublicChat().toStdString();
    EXPECT_TRUE(Spin([&] { return bob.PublicChat().contains("hello from Qt"); }))
        << bob.PublicChat().toStdString();

    // The 27 characters Windows-1252 puts in 0x80-0x9F, typed as characters
    // (as an input method delivers them), reach the other bar as themselves.
    QString high;
    for (int b = 0x80; b <= 0x9F; ++b)
        if (const char32_t c = CharFromCp1252(uint8_t(b)); c >= 0x100)
            high += QChar(char16_t(c));
    ASSERT_EQ(high.size(), 27);
    // The bar takes one line per two seconds; its timer may run late on a busy machine.
    ASSERT_TRUE(Spin([&] { return !alice.bar.txt_timer.Enabled(); }));
    QTest::mouseClick(edit1, Qt::LeftButton);
    for (QChar c : high) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit1, &press);
    }
    QTest::mouseClick(alice.Child<QToolButton>("sbSendTxt"), Qt::LeftButton);
    EXPECT_TRUE(Spin([&] { return bob.PublicChat().contains(high); }))
        << bob.PublicChat().toStdString();

    // Both Linux bars speak UTF-8 with the server: Polish, Turkish and an
    // emoji arrive as themselves.
    EXPECT_EQ(alice.bar.wireCode, TTextCode::Utf8);
    EXPECT_EQ(bob.bar.wireCode, TTextCode::Utf8);
    const QString world = QString::fromUtf8("łódź 😀 ığş");
    ASSERT_TRUE(Spin([&] { return !alice.bar.txt_timer.Enabled(); }));
    QTest::mouseClick(edit1, Qt::LeftButton);
    for (char32_t c : world.toUcs4()) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUcs4(&c, 1));
        QApplication::sendEvent(edit1, &press);
    }
    QTest::mouseClick(alice.Child<QToolButton>("sbSendTxt"), Qt::LeftButton);
    EXPECT_TRUE(Spin([&] { return bob.PublicChat().contains(world); }))
        << bob.PublicChat().toStdString();

    alice.bar.CloseDW();
    bob.bar.CloseDW();
}

// A new tab pauses a bar instead of signing it out: the other bar no longer
// lists it, and the next web page lists it again.
TEST_F(TQtSignInTest, ANewTabPausesTheBarAndTheNextPageResumesIt) {
    TQtWindow alice, bob;
    alice.StoreSignIn("alice", "apple1");
    bob.StoreSignIn("bob", "banana2");
    alice.Show();
    bob.Show();
    auto* aliceList = alice.Child<QListWidget>("lvUsers");
    auto* bobList = bob.Child<QListWidget>("lvUsers");
    ASSERT_TRUE(Spin([&] { return aliceList->count() == 2 && bobList->count() == 2; }));

    bob.site.location = "chrome://newtab/";
    bob.bar.BrowserDocumentComplete();
    ASSERT_TRUE(Spin([&] { return aliceList->count() == 1; }));
    EXPECT_EQ(bobList->count(), 0);
    EXPECT_TRUE(bob.bar.loggedIn);
    EXPECT_TRUE(bob.bar.ClientSocket->Connected());

    bob.site.location = "http://www.example.com/news/?token=S3CRET";
    bob.bar.BrowserDocumentComplete();
    EXPECT_TRUE(Spin([&] { return aliceList->count() == 2 && bobList->count() == 2; }));
    EXPECT_EQ(bob.bar.siteUrl, "www.example.com/news");

    alice.bar.CloseDW();
    bob.bar.CloseDW();
}

// A friend fills the search box's list at every sign-in: adding one, signing
// in again and typing a search must leave the browser running.
TEST_F(TQtSignInTest, AFriendAddedFromTheUsersListSurvivesSigningInAgainAndSearching) {
    TQtWindow bob;
    bob.StoreSignIn("bob", "banana2");
    bob.Show();
    ASSERT_TRUE(Spin([&] { return bob.bar.loggedIn; }));
    {
        TQtWindow alice;
        alice.StoreSignIn("alice", "apple1");
        alice.Show();
        auto* users = alice.Child<QListWidget>("lvUsers");
        ASSERT_TRUE(Spin([&] { return users->count() == 2; }));
        const auto bobs = users->findItems("bob", Qt::MatchExactly);
        ASSERT_EQ(bobs.size(), 1);
        ChooseInNextMenu("Add to friendlist");
        QTest::mouseClick(users->viewport(), Qt::LeftButton, {},
                          users->visualItemRect(bobs[0]).center());
        ASSERT_TRUE(Spin([&] { return alice.bar.lvFriends.Count() == 1; }));
        EXPECT_EQ(alice.bar.cbSearch.ItemCount(), 1);
        alice.bar.CloseDW();
    }

    TQtWindow alice; // the next browser start: signs in by itself, friends come with it
    alice.StoreSignIn("alice", "apple1");
    alice.Show();
    ASSERT_TRUE(Spin([&] { return alice.bar.loggedIn && alice.bar.cbSearch.ItemCount() == 1; }))
        << alice.bar.loggedIn << " " << alice.bar.cbSearch.ItemCount();
    auto* search = alice.Child<QComboBox>("cbSearch");
    EXPECT_EQ(search->count(), 1);
    EXPECT_EQ(search->itemText(0), "bob");
    alice.bar.SearchBtnClick();
    QTest::keyClicks(search->lineEdit(), "bo");
    EXPECT_EQ(alice.bar.cbSearch.Text(), "bo");
    EXPECT_EQ(search->currentText(), "bo");
    QTest::keyClick(search->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(alice.bar.cbSearch.Text(), "b");
    alice.bar.CloseDW();
    bob.bar.CloseDW();
}

// Alice blocks bob and reports carol through the users menu and the report
// box: bob no longer lists her (nor she him), and the operator's REPORTS
// lists the report with its reason and her words.
TEST_F(TQtSignInTest, AUserBlockedAndAUserReportedThroughTheMenusAndTheReportBox) {
    TQtWindow alice, bob, carol;
    alice.StoreSignIn("alice", "apple1");
    bob.StoreSignIn("bob", "banana2");
    carol.StoreSignIn("carol", "cherry3");
    for (TQtWindow* w : {&alice, &bob, &carol})
        w->Show();
    ASSERT_TRUE(Spin([&] { return alice.Users().size() == 3 && bob.Users().size() == 3; }));

    ChooseInNextMenu(QStringLiteral("Block this user"));
    alice.ClickUser(QStringLiteral("bob"));
    EXPECT_TRUE(Spin([&] {
        return !bob.Users().contains("alice") && !alice.Users().contains("bob");
    })) << bob.Users().join(' ').toStdString();
    EXPECT_TRUE(bob.Users().contains("carol"));

    // carol's line is what the report quotes.
    auto* edit1 = carol.Child<QLineEdit>("Edit1");
    QTest::mouseClick(edit1, Qt::LeftButton);
    QTest::keyClicks(edit1, "buy my pills");
    QTest::mouseClick(carol.Child<QToolButton>("sbSendTxt"), Qt::LeftButton);
    ASSERT_TRUE(Spin([&] { return alice.PublicChat().contains("buy my pills"); }));
    const char* shot = std::getenv("NAVLET_REPORT_BOX_SHOT");
    ChooseInNextMenu(QStringLiteral("Report this user..."));
    FillNextReportBox(QStringLiteral("Harassment"), QStringLiteral("sells pills, again"),
                      shot ? QString::fromLocal8Bit(shot) : QString());
    alice.ClickUser(QStringLiteral("carol"));
    QString reports;
    EXPECT_TRUE(Spin([&] {
        reports = AdminAnswer(server->AdminPort(), "REPORTS ALL");
        return reports.contains(" alice carol harassment open ");
    })) << reports.toStdString();
    const QString id = reports.section(' ', 1, 1);
    const QString report = AdminAnswer(server->AdminPort(), "REPORT " + id.toUtf8());
    EXPECT_TRUE(report.contains("* text sells pills, again\n")) << report.toStdString();
    EXPECT_TRUE(report.contains("buy my pills")) << report.toStdString();
    // Reported and ignored (the box's default), still listed.
    EXPECT_EQ(alice.bar.MarkOf(carol.bar.myUserId), MARK_IGNORED);
    EXPECT_TRUE(alice.Users().contains("carol"));

    for (TQtWindow* w : {&alice, &bob, &carol})
        w->bar.CloseDW();
}

} // namespace
} // namespace navlet::qt
