// The banner area's browser on Qt against a banner page served on loopback:
// a page that loads brings up the web panel with the browser's input off; a
// page the server answers with 404 leaves the default banner.
#include <cstdlib>
#include <thread>

#include <httplib.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "client/qt/bar/bar_view.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {
namespace {

constexpr int LOAD_TIMEOUT_MS = 30000;

class TBannerBrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server.Get("/banner.asp", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_param_value("idBanner") != "1") {
                res.status = 404;
                res.set_content("<html><body>no such banner</body></html>", "text/html");
                return;
            }
            res.set_content("<html><body style='background:#c00'>banner 1</body></html>",
                            "text/html");
        });
        port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        serving = std::thread([this] { server.listen_after_bind(); });
        const std::string web = "127.0.0.1:" + std::to_string(port);
        setenv("NAVLET_WEB", web.c_str(), 1);
        bar = std::make_unique<TNavlet>(kit.Kit());
        view = std::make_unique<TBarView>(*bar, kit.menus, kit.browsers);
        view->resize(810, 216);
        view->show();
        bar->Form.SetVisible(true);
        bar->SetBannerMode(bmLogin);
    }
    void TearDown() override {
        view.reset();
        bar.reset();
        server.stop();
        serving.join();
        unsetenv("NAVLET_WEB");
    }
    QWidget* Panel(const char* name) {
        return view->findChild<QWidget*>(QString::fromLatin1(name));
    }

    QTemporaryDir dir;
    TQtKit kit{dir.path()};
    httplib::Server server;
    std::thread serving;
    int port = 0;
    std::unique_ptr<TNavlet> bar;
    std::unique_ptr<TBarView> view;
};

TEST_F(TBannerBrowserTest, LoadedBannerShowsInTheWebPanelWithInputOff) {
    bar->ShowBanner(1);
    EXPECT_TRUE(Panel("LoginPanel")->isVisible()) << "the login panel stays while the page loads";
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->WebPanel.Visible(); }, LOAD_TIMEOUT_MS));
    EXPECT_TRUE(Panel("WebPanel")->isVisible());
    EXPECT_FALSE(Panel("LoginPanel")->isVisible());
    auto* browser = dynamic_cast<TQtWebBrowser*>(bar->CppWebBrowser.get());
    ASSERT_NE(browser, nullptr);
    ASSERT_NE(browser->View(), nullptr);
    EXPECT_EQ(browser->View()->parentWidget(), Panel("WebPanel"));
    EXPECT_EQ(browser->View()->geometry(), QRect(-2, -4, 316, 118));
    EXPECT_FALSE(browser->View()->isEnabled());
}

TEST_F(TBannerBrowserTest, BannerTheServerDoesNotHaveLeavesTheDefaultBanner) {
    bar->ShowBanner(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->bannerNavFailed; }, LOAD_TIMEOUT_MS));
    // The error page completes too; the default banner must stay.
    QTest::qWait(200);
    EXPECT_TRUE(bar->DefBannerPanel.Visible());
    EXPECT_FALSE(bar->WebPanel.Visible());
    EXPECT_FALSE(Panel("WebPanel")->isVisible());
}

} // namespace
} // namespace navlet::qt
