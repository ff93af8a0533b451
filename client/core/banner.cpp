// The banner area's panels and the session side's small controls.
#include <algorithm>
#include <cstdio>

#include "client/core/connection.h"
#include "client/core/navlet.h"

namespace navlet {

void TSpeedButton::SetGlyph(int32_t index) {
    const int32_t value = index >= 0 && index < IMAGE_LIST2_COUNT ? index : -1;
    if (value == glyph)
        return;
    glyph = value;
    Changed();
}

void TSpeedButton::SetHint(std::string text) {
    if (text == hint)
        return;
    hint = std::move(text);
    Changed();
}

void TButton::SetCaption(std::string text) {
    if (text == caption)
        return;
    caption = std::move(text);
    Changed();
}

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
    // No scheme: the browser takes the address as an http one.
    char path[48];
    std::snprintf(path, sizeof path, "/banner.asp?idBanner=%d", int(id));
    NavigateBanner(WebSiteHost() + path);
}

void TNavlet::BindBannerComponents() {
    BannerTimer.OnTimer = [this] { BannerTimerTimer(); };
    CppWebBrowser = kit.browsers.CreateWebBrowser();
    if (!CppWebBrowser)
        return;
    CppWebBrowser->OnDocumentComplete = [this] { CppWebBrowserDocumentComplete(); };
    CppWebBrowser->OnNavigateError = [this] { CppWebBrowserNavigateError(); };
}

void TNavlet::NavigateBanner(const std::string& address) {
    if (!CppWebBrowser)
        return;
    CppWebBrowser->SetInputEnabled(true);
    bannerNavFailed = false;
    CppWebBrowser->Navigate(address);
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
    PostMsg(mkNotice, 0,
            "Sorry, the server is temporarily inactive. Please try again in a few seconds...");
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

} // namespace navlet
