// The banner area's panels and the session side's small controls.
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
    // FIXME: the banner issue loads WebSiteHost() + "/banner.asp?idBanner=%d"
    // into the embedded browser here (NavigateBanner); until then the panel
    // shown stays as it is, as it does while a banner page loads.
}

std::string TNavlet::WebSiteHost() const {
    return navlet::WebSiteHost(kit.environment, kit.module.ServiceHostName());
}

} // namespace navlet
