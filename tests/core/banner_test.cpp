// The banner area: web banners that show only once their page has loaded, the
// default banner after a failure, the banner timer, the lower strip and the
// default banner's pixel table.
#include <algorithm>

#include "client/core/connection.h"
#include "client/core/peer_text.h"
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

class TBannerTest : public SessionTest {
  protected:
    TRecordingWebBrowser& Browser() { return tk.browsers.Last(); }
    TBannerMode Shown() const {
        const TControl* panels[] = {&bar->DefBannerPanel, &bar->LoginPanel, &bar->WebPanel,
                                    &bar->SearchPanel, &bar->FriendPanel};
        int visible = 0;
        TBannerMode mode = bmDefault;
        for (int i = 0; i < 5; ++i) {
            if (panels[i]->Visible()) {
                ++visible;
                mode = TBannerMode(bmDefault + i);
            }
        }
        EXPECT_EQ(visible, 1) << "exactly one panel of the banner area shows";
        return mode;
    }
    // A temporary panel, as the search and friends buttons put one up.
    void ShowTemporaryPanel(TBannerMode mode) {
        bar->SetBannerMode(mode);
        bar->BannerTimer.SetEnabled(false);
        bar->BannerTimer.SetEnabled(true);
    }
    int Notices(const std::string& text) const {
        return int(
            std::count_if(bar->msgQueue.begin(), bar->msgQueue.end(),
                          [&](const TMsgLine& l) { return l.kind == mkNotice && l.text == text; }));
    }
    static std::vector<uint8_t> Bytes(const TBannerMsg& m) {
        TPacket p;
        ClearPacket(p);
        const int length = WriteBanner(p, m);
        return Encoded(p, length, MSG_BANNER);
    }
    int AllNotices() const {
        return int(std::count_if(bar->msgQueue.begin(), bar->msgQueue.end(),
                                 [](const TMsgLine& l) { return l.kind == mkNotice; }));
    }
};

TEST_F(TBannerTest, BannerZeroShowsTheDefaultAtOnceAndStopsTheTimer) {
    MakeBar();
    ShowTemporaryPanel(bmSearch);
    bar->ShowBanner(0);
    EXPECT_EQ(Shown(), bmDefault);
    EXPECT_FALSE(bar->BannerTimer.Enabled());
    EXPECT_TRUE(Browser().navigations.empty());
}

TEST_F(TBannerTest, LastBannerBeforeAnyIdIsTheDefault) {
    MakeBar();
    ShowTemporaryPanel(bmFriends);
    bar->ShowBanner(-1);
    EXPECT_EQ(Shown(), bmDefault);
    EXPECT_TRUE(Browser().navigations.empty());
    // The timer's return does the same.
    ShowTemporaryPanel(bmSearch);
    tk.time.Advance(30000);
    EXPECT_EQ(Shown(), bmDefault);
    EXPECT_FALSE(bar->BannerTimer.Enabled());
}

TEST_F(TBannerTest, PreviousPanelStaysUntilTheBannerPageCompletes) {
    MakeBar();
    bar->SetBannerMode(bmLogin);
    bar->ShowBanner(5);
    ASSERT_EQ(Browser().navigations,
              std::vector<std::string>{"http://session.navlet.test/banner.asp?idBanner=5"});
    EXPECT_TRUE(Browser().inputEnabled);
    EXPECT_EQ(Shown(), bmLogin);
    Browser().Complete();
    EXPECT_EQ(Shown(), bmWeb);
    EXPECT_FALSE(Browser().inputEnabled) << "a loaded banner takes no input";
    EXPECT_EQ(bar->bannerId, 5);
}

TEST_F(TBannerTest, FailedBannerKeepsTheDefaultThroughItsErrorPage) {
    MakeBar();
    ShowTemporaryPanel(bmSearch);
    bar->ShowBanner(7);
    Browser().Fail(); // the error, then the error page completes
    EXPECT_EQ(Shown(), bmDefault);
    EXPECT_FALSE(bar->BannerTimer.Enabled());
    // The session server is fine and the default banner takes the place of
    // the failed one: the ticker says nothing.
    EXPECT_EQ(AllNotices(), 0);
    // The next banner starts clean and shows when it loads.
    bar->ShowBanner(8);
    EXPECT_TRUE(Browser().inputEnabled);
    Browser().Complete();
    EXPECT_EQ(Shown(), bmWeb);
}

TEST_F(TBannerTest, BannerReloadsEvery30sWhileItShowsAfterATemporaryPanel) {
    MakeBar();
    bar->ShowBanner(5);
    Browser().Complete();
    ShowTemporaryPanel(bmSearch);
    tk.time.Advance(29999);
    EXPECT_EQ(Browser().navigations.size(), 1u);
    tk.time.Advance(1);
    EXPECT_EQ(Browser().navigations.size(), 2u);
    EXPECT_EQ(Shown(), bmSearch) << "the search panel stays while the banner loads";
    Browser().Complete();
    EXPECT_EQ(Shown(), bmWeb);
    tk.time.Advance(30000);
    Browser().Complete();
    EXPECT_EQ(Browser().navigations.size(), 3u);
    EXPECT_EQ(Browser().navigations.back(), "http://session.navlet.test/banner.asp?idBanner=5");
    // The login's default banner ends the reloading.
    bar->SetBannerMode(bmDefault);
    tk.time.Advance(90000);
    EXPECT_EQ(Browser().navigations.size(), 3u);
}

TEST_F(TBannerTest, ProfilePageLoadsInTheBannerAreaAndTheBannerReturns) {
    MakeBar();
    bar->ShowBanner(5);
    Browser().Complete();
    bar->ViewProfile(77);
    const std::string profile = Browser().navigations.back();
    EXPECT_EQ(profile.rfind("http://session.navlet.test/viewprofile.asp?", 0), 0u) << profile;
    EXPECT_NE(profile.find("idUtente=77"), std::string::npos) << profile;
    EXPECT_TRUE(Browser().inputEnabled) << "a profile page takes input while it loads";
    Browser().Complete();
    EXPECT_EQ(Shown(), bmWeb);
    tk.time.Advance(30000);
    EXPECT_EQ(Browser().navigations.back(), "http://session.navlet.test/banner.asp?idBanner=5");
}

TEST_F(TBannerTest, AProfilePageThatFailsSaysSoAndNotThatTheServerIsDown) {
    MakeBar();
    bar->ViewProfile(77);
    Browser().Fail();
    EXPECT_EQ(Shown(), bmDefault);
    EXPECT_EQ(Notices("Sorry, the profile page could not be loaded"), 1);
    EXPECT_EQ(AllNotices(), 1);
    // A banner loaded after it fails quietly again.
    bar->ShowBanner(5);
    Browser().Fail();
    EXPECT_EQ(AllNotices(), 1);
}

// The browsers of every host get whole addresses: no kit guesses a scheme.
TEST(WebAddresses, AnAddressWithoutAWebSchemeIsAnHttpOne) {
    EXPECT_EQ(WithWebScheme("www.navlet.net/x"), "http://www.navlet.net/x");
    EXPECT_EQ(WithWebScheme("127.0.0.1:8080/x"), "http://127.0.0.1:8080/x");
    EXPECT_EQ(WithWebScheme("https://a/"), "https://a/");
    EXPECT_EQ(WithWebScheme("HTTP://a/"), "HTTP://a/");
}

// A host whose session is encrypted asks for the service's pages over https
// too, its web port kept: the banner, the profile and the pages the options
// menu opens.
TEST_F(TBannerTest, AnEncryptedHostAsksForEveryServicePageOverHttps) {
    tk.module.webScheme = "https://";
    tk.environment.values[WEB_ENV] = "chat.example:8443";
    TNavlet& b = ShownBar();
    host.newWindows.clear();
    b.ShowBanner(5);
    b.ViewProfile(77);
    const std::vector<std::string>& pages = Browser().navigations;
    ASSERT_GE(pages.size(), 2u);
    EXPECT_EQ(pages[pages.size() - 2], "https://chat.example:8443/banner.asp?idBanner=5");
    EXPECT_EQ(pages.back().rfind("https://chat.example:8443/viewprofile.asp?", 0), 0u);
    tk.menus.choices = {201, 205};
    for (int i = 0; i < 2; ++i) {
        b.NavletBtn.SetDown(true);
        b.sbNavletClick(TNavlet::TNavletSender::NavletBtn, 0, 0);
    }
    EXPECT_EQ(host.newWindows, (std::vector<std::string>{"https://chat.example:8443",
                                                         "https://chat.example:8443/help.asp"}));
}

TEST_F(TBannerTest, ServerBannerMessageNavigatesToTheWebSite) {
    tk.environment.values[WEB_ENV] = "127.0.0.1:8080";
    StoreLogin();
    ShownBar();
    Socket().AcceptConnection();
    ConfirmLogin();
    TBannerMsg m;
    m.bannerId = 42;
    Socket().Feed(Bytes(m));
    ASSERT_EQ(Browser().navigations.size(), 1u);
    EXPECT_EQ(Browser().navigations.back(), "http://127.0.0.1:8080/banner.asp?idBanner=42");
    EXPECT_EQ(bar->bannerId, 42);
    m.bannerId = 0;
    Socket().Feed(Bytes(m));
    EXPECT_EQ(Shown(), bmDefault);
    EXPECT_EQ(Browser().navigations.size(), 1u);
}

// Applies the fill operations of a painted image to a pixel grid, the way a
// kit paints them (clipped to the destination).
std::vector<TColor> Raster(const TRecordingCanvas::TPaint& paint) {
    const int32_t w = paint.dst.Width();
    const int32_t h = paint.dst.Height();
    std::vector<TColor> pixels(size_t(w * h), 0xFFFFFFFF);
    for (const TDrawOp& op : paint.image.ops) {
        const auto* fill = std::get_if<TFillRect>(&op);
        if (!fill)
            continue;
        for (int32_t y = std::max(fill->rect.top, 0); y < std::min(fill->rect.bottom, h); ++y)
            for (int32_t x = std::max(fill->rect.left, 0); x < std::min(fill->rect.right, w); ++x)
                pixels[size_t(y * w + x)] = fill->color;
    }
    return pixels;
}

TEST_F(TBannerTest, LowerStripRepeatsTheDefaultBannersLastTwoRows) {
    MakeBar();
    for (int32_t height : {5, 40}) {
        bar->bottom_bnr.SetBounds(0, DEF_BANNER_HEIGHT, DEF_BANNER_WIDTH, height);
        tk.canvas.paints.clear();
        bar->bottom_bnrPaint(tk.canvas);
        ASSERT_EQ(tk.canvas.paints.size(), 1u);
        const TRect whole{0, 0, DEF_BANNER_WIDTH, height};
        EXPECT_EQ(tk.canvas.paints[0].dst, whole);
        const std::vector<TColor> pixels = Raster(tk.canvas.paints[0]);
        for (int32_t r = 0; r < height; ++r) {
            const int32_t source = DEF_BANNER_HEIGHT - 2 + r % 2;
            for (int32_t c = 0; c < DEF_BANNER_WIDTH; ++c)
                ASSERT_EQ(pixels[size_t(r * DEF_BANNER_WIDTH + c)],
                          defBannerPixels[size_t(c * DEF_BANNER_HEIGHT + source)])
                    << "height " << height << " pixel " << c << "," << r;
        }
    }
}

TEST_F(TBannerTest, SecondBarDoesNotReadTheDefaultBannerAgain) {
    defBannerPixelsFilled = false;
    defBannerPixels.fill(0);
    MakeBar();
    EXPECT_TRUE(defBannerPixelsFilled);
    const TColor first = defBannerPixels[0];
    EXPECT_NE(first, 0u);
    defBannerPixels[0] = 0x123456; // a second read would overwrite it
    { TNavlet second(tk.Kit()); }
    EXPECT_EQ(defBannerPixels[0], 0x123456u);
    defBannerPixels[0] = first;
}

} // namespace
} // namespace navlet::testing
