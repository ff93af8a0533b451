// The options menu behind NavletBtn and the bar's logo: the service's pages,
// "Autologin", the search panel, the language filter, what is reported of a
// page and the About box.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "client/core/about_box.h"
#include "client/core/actions.h"
#include "client/core/navlet.h"
#include "client/core/privacy.h"
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
    omShareSite = 207,
    omSharePage = 208,
    omNeverReport = 209,
    omInvisible = 210,
    omVisibleToFriends = 211,
    omTellFriends = 212,
    omTextSmall = 213,
    omTextNormal = 214,
    omTextLarge = 215,
    omNotify = 216,
};

constexpr int16_t LAST_LANGUAGE_ID = 13;
constexpr int16_t OTHERS_LANGUAGE_ID = 32;

bool IsLanguageId(int16_t id) {
    return (id >= 1 && id <= LAST_LANGUAGE_ID) || id == OTHERS_LANGUAGE_ID;
}

} // namespace

bool TNavlet::OwnNeverReportEntry() const {
    const std::string host = PageHostName(shownPage);
    return std::find(neverReported.begin(), neverReported.end(), host) != neverReported.end();
}

void TNavlet::ToggleNeverReportSite() {
    if (shownPage.empty())
        return;
    const std::string host = PageHostName(shownPage);
    if (OwnNeverReportEntry())
        std::erase(neverReported, host);
    else if (!NeverReported(shownPage))
        neverReported.push_back(host);
    else
        return;
    SyncPrivacySettings(1);
    CheckSiteUrl(); // paused at once, or reported again
}

void TNavlet::AddTextSizeMenu() {
    if (textSizeMenuAdded || !optionsMenu)
        return;
    textSizeMenuAdded = true;
    TBarMenu sizes("Text size");
    sizes.AppendItem({"Small", omTextSmall})
        .AppendItem({"Normal", omTextNormal})
        .AppendItem({"Large", omTextLarge});
    optionsMenu->AppendItem({"", 0}).AppendSubmenu(sizes).AppendItem(
        {"Desktop notifications", omNotify});
}

void TNavlet::SetDesktopNotifications(bool on) {
    Attention.SetNotify(on);
    SyncPanelSettings(1);
}

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
    SyncPrivacySettings(-1);
    optionsMenu->CheckItem(omShareSite, shareScope == TShareScope::SiteOnly ? 1 : 0);
    optionsMenu->CheckItem(omSharePage, shareScope == TShareScope::Page ? 1 : 0);
    // Checked on a page that is never reported; only the user's own entry for
    // the site can be taken back here, a default or a wildcard cannot.
    const bool never = !shownPage.empty() && NeverReported(shownPage);
    optionsMenu->CheckItem(omNeverReport, never ? 1 : 0);
    optionsMenu->CheckItem(omInvisible, invisible ? 1 : 0);
    optionsMenu->CheckItem(omVisibleToFriends, invisible && visibleToFriends ? 1 : 0);
    optionsMenu->EnableItem(omVisibleToFriends, invisible ? 1 : 0);
    // Off while invisible: nobody is told where an invisible user is.
    optionsMenu->CheckItem(omTellFriends, !invisible && tellFriends ? 1 : 0);
    optionsMenu->EnableItem(omTellFriends, invisible ? 0 : 1);
    optionsMenu->EnableItem(omNeverReport,
                            !shownPage.empty() && (!never || OwnNeverReportEntry()) ? 1 : 0);
    if (textSizeMenuAdded)
        for (uint16_t id : {omTextSmall, omTextNormal, omTextLarge})
            optionsMenu->CheckItem(id, id - omTextSmall == int(PanelStyle.TextSize()) ? 1 : 0);
    if (textSizeMenuAdded)
        optionsMenu->CheckItem(omNotify, Attention.Notify() ? 1 : 0);
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
        OpenServicePage(WebSiteAddress());
        return;
    case omAutologin:
        autoLogin = !autoLogin;
        loginCount = 0;
        SyncSettings(0, 0, 1, 0, 0, 0, 0);
        return;
    case omModifyProfile:
        OpenServicePage(UpdateProfileAddress(WebSiteAddress(), userLcid, myUserId));
        return;
    case omSearchUser:
        ShowSearchPanel();
        return;
    case omGuide:
        OpenServicePage(WebSiteAddress() + "/help.asp");
        return;
    case omAbout:
        ShowAboutBox(kit.dialogs);
        return;
    case omShareSite:
    case omSharePage:
        shareScope = id == omShareSite ? TShareScope::SiteOnly : TShareScope::Page;
        SyncPrivacySettings(1);
        CheckSiteUrl(); // the page is reported again as the choice says
        return;
    case omNeverReport:
        ToggleNeverReportSite();
        return;
    case omTextSmall:
    case omTextNormal:
    case omTextLarge:
        SetTextSize(TTextSize(id - omTextSmall));
        return;
    case omNotify:
        SetDesktopNotifications(!Attention.Notify());
        return;
    case omInvisible:
    case omVisibleToFriends:
    case omTellFriends:
        (id == omInvisible          ? invisible
         : id == omVisibleToFriends ? visibleToFriends
                                    : tellFriends) ^= true;
        SyncPrivacySettings(1);
        SendPrivacy();
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
