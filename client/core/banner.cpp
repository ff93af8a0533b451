// The banner area's panels.
#include <algorithm>
#include <cstdio>

#include "client/core/connection.h"
#include "client/core/navlet.h"
#include "client/core/peer_text.h"

namespace navlet {

void TNavlet::SetBannerMode(TBannerMode mode) {
    DefBannerPanel.SetVisible(mode == bmDefault);
    LoginPanel.SetVisible(mode == bmLogin);
    WebPanel.SetVisible(mode == bmWeb);
    SearchPanel.SetVisible(mode == bmSearch);
    FriendPanel.SetVisible(mode == bmFriends);
    BannerPanel.SetMode(mode);
    if (mode == bmDefault || mode == bmLogin)
        BannerTimer.SetEnabled(false);
}

void TNavlet::ShowBanner(int32_t id) {
    if (id == -1)
        id = bannerId;
    else
        bannerId = id;
    if (id == 0) {
        SetBannerMode(bmDefault);
        return;
    }
    char path[48];
    std::snprintf(path, sizeof path, "/banner.asp?idBanner=%d", int(id));
    NavigateBanner(WebSiteAddress() + path, TBannerPage::Banner);
}

void TNavlet::BindBannerComponents() {
    BannerTimer.OnTimer = [this] { BannerTimerTimer(); };
    CppWebBrowser = kit.browsers.CreateWebBrowser();
    if (!CppWebBrowser)
        return;
    CppWebBrowser->OnDocumentComplete = [this] { CppWebBrowserDocumentComplete(); };
    CppWebBrowser->OnNavigateError = [this] { CppWebBrowserNavigateError(); };
}

void TNavlet::NavigateBanner(const std::string& address, TBannerPage page) {
    if (!CppWebBrowser)
        return;
    CppWebBrowser->SetInputEnabled(true);
    bannerNavFailed = false;
    bannerPage = page;
    CppWebBrowser->Navigate(WithWebScheme(address));
}

void TNavlet::CppWebBrowserDocumentComplete() {
    // A loaded banner takes no mouse or keyboard input.
    if (CppWebBrowser)
        CppWebBrowser->SetInputEnabled(false);
    // The error page of a failed load completes too; the default banner stays.
    if (!bannerNavFailed)
        SetBannerMode(bmWeb);
}

void TNavlet::CppWebBrowserNavigateError() {
    SetBannerMode(bmDefault);
    bannerNavFailed = true;
    // The session server is not what failed: only the web page did.
    if (bannerPage == TBannerPage::Profile)
        PostMsg(mkNotice, 0, "Sorry, the profile page could not be loaded");
}

void TNavlet::BannerTimerTimer() {
    ShowBanner(-1);
}

namespace {

TColor DefBannerPixel(int32_t x, int32_t y) {
    return defBannerPixels[size_t(x * DEF_BANNER_HEIGHT + y)];
}

// One pixel row of the strip: runs of equal colour of the banner's row `y`.
void AddStripRow(TDisplayList& image, int32_t row, int32_t y) {
    int32_t start = 0;
    for (int32_t x = 1; x <= DEF_BANNER_WIDTH; ++x) {
        if (x < DEF_BANNER_WIDTH && DefBannerPixel(x, y) == DefBannerPixel(start, y))
            continue;
        image.ops.push_back(TFillRect{{start, row, x, row + 1}, DefBannerPixel(start, y)});
        start = x;
    }
}

} // namespace

void TNavlet::bottom_bnrPaint(TCanvas& canvas) {
    const int32_t height = std::max(bottom_bnr.Height(), 0);
    if (bottomBnrImage.width != DEF_BANNER_WIDTH || bottomBnrImage.height != height) {
        bottomBnrImage.Reset(DEF_BANNER_WIDTH, height);
        for (int32_t r = 0; r < height; r += 2) {
            AddStripRow(bottomBnrImage, r, DEF_BANNER_HEIGHT - 2);
            // The last row pair may stick out below the strip, as it does on
            // the panel, where the paint box clips it.
            AddStripRow(bottomBnrImage, r + 1, DEF_BANNER_HEIGHT - 1);
        }
    }
    const TRect whole{0, 0, DEF_BANNER_WIDTH, height};
    canvas.PaintDisplayList(bottomBnrImage, whole, whole);
}

std::string TNavlet::WebSiteHost() const {
    return navlet::WebSiteHost(kit.environment, kit.module.ServiceHostName());
}

std::string TNavlet::WebSiteAddress() const {
    return kit.module.ServiceWebScheme() + WebSiteHost();
}

} // namespace navlet
