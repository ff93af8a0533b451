// The options menu behind NavletBtn and the bar's logo: the service's pages,
// "Autologin", the search panel, the language filter and the About box.
#include <cinttypes>
#include <cstdio>

#include "client/core/about_box.h"
#include "client/core/actions.h"
#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

enum TOptionsMenuId : uint16_t {
    omHomePage = 201,
    omAutologin = 202,
    omModifyProfile = 203,
    omSearchUser = 204,
    omGuide = 205,
    omAbout = 206,
};

constexpr int16_t LAST_LANGUAGE_ID = 13;
constexpr int16_t OTHERS_LANGUAGE_ID = 32;

bool IsLanguageId(int16_t id) {
    return (id >= 1 && id <= LAST_LANGUAGE_ID) || id == OTHERS_LANGUAGE_ID;
}

} // namespace

std::string UpdateProfileAddress(const std::string& host, uint32_t lcid, uint64_t user) {
    char tail[96];
    std::snprintf(tail, sizeof tail, "/updateprofile.asp?idLocale=%d&idUtente=%" PRIu64, int(lcid),
                  user);
    return host + tail;
}

void TNavlet::sbNavletMouseUp(TNavletSender sender, TMouseButton button, TShiftState, int32_t x,
                              int32_t y) {
    if (button == TMouseButton::mbRight)
        sbNavletClick(sender, x, y);
}

void TNavlet::sbNavletClick(TNavletSender sender, int32_t mouseX, int32_t mouseY) {
    const bool fromLogo = sender == TNavletSender::Logo;
    const int32_t x = fromLogo ? mouseX : 0;
    const int32_t y = fromLogo ? mouseY : NavletBtn.Height();
    SyncSettings(0, 0, -1, 0, 0, 0, 0);
    optionsMenu->CheckItem(omAutologin, autoLogin ? 1 : 0);
    optionsMenu->EnableItem(omModifyProfile, loggedIn ? 1 : 0);
    optionsMenu->EnableItem(omSearchUser, loggedIn ? 1 : 0);
    const TComponent* control =
        fromLogo ? static_cast<const TComponent*>(&navlet_left_img) : &NavletBtn;
    ActOnOptionsChoice(Track(*optionsMenu, x, y, control));
    // The button belongs to a group and stays down after a click.
    if (!fromLogo)
        NavletBtn.SetDown(false);
}

void TNavlet::ActOnOptionsChoice(int16_t id) {
    switch (id) {
    case omHomePage:
        OpenServicePage(WebSiteHost());
        return;
    case omAutologin:
        autoLogin = !autoLogin;
        loginCount = 0;
        SyncSettings(0, 0, 1, 0, 0, 0, 0);
        return;
    case omModifyProfile:
        OpenServicePage(UpdateProfileAddress(WebSiteHost(), userLcid, myUserId));
        return;
    case omSearchUser:
        ShowSearchPanel();
        return;
    case omGuide:
        OpenServicePage(WebSiteHost() + "/help.asp");
        return;
    case omAbout:
        ShowAboutBox(kit.dialogs);
        return;
    default:
        break;
    }
    if (!IsLanguageId(id))
        return;
    optionsMenu->CheckItem(uint16_t(id), -1);
    languageMask ^= uint32_t(1) << (id - 1);
    SyncSettings(0, 0, 0, 0, 1, 0, 0);
    if (!loggedIn)
        return;
    TPacket packet;
    ClearPacket(packet);
    SendLanguageFilter(packet, *ClientSocket, languageMask);
}

} // namespace navlet
