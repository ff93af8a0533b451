// The site tracker: which page the host browser shows, the report of each new
// address, and the pause on pages that cannot be reported.
#include "client/core/navlet.h"
#include "client/core/privacy.h"
#include "protocol/page_address.h"
#include "protocol/requests.h"
#include "protocol/text_cut.h"

namespace navlet {

namespace {

constexpr size_t SITE_URL_MAX = 255;

constexpr const char* PAUSED_ON_PAGE = "Navlet is paused on this page.";
constexpr const char* PAUSED_ON_SITE = "Navlet is paused on this site.";

// The address without "http://" or "https://" (written exactly so); false
// for any other scheme, a local file or an empty address.
bool StripWebScheme(std::string& url) {
    for (const char* scheme : {"http://", "https://"}) {
        const std::string_view s(scheme);
        if (url.compare(0, s.size(), s) == 0) {
            url.erase(0, s.size());
            return true;
        }
    }
    return false;
}

} // namespace

void TNavlet::URLTimerTimer() {
    if (!pageLoaded)
        return;
    CheckSiteUrl();
    pageLoaded = false;
}

void TNavlet::CheckSiteUrl() {
    // Only reached once the browser has given the control its site.
    if (!hostControl)
        return;
    std::string url = hostControl->LocationURL();
    if (!StripWebScheme(url)) {
        shownPage.clear();
        // A new tab, a browser page or a local file: browsers show them all
        // the time, so they pause the presence instead of ending the session.
        if (!url.empty())
            PauseSite(PAUSED_ON_PAGE);
        return;
    }
    // Query strings, fragments and user parts carry secrets: they are gone
    // before anything compares or reports the address.
    url = CutPageAddress(url);
    shownPage = url;
    SyncPrivacySettings(-1); // another window may have changed them
    if (NeverReported(url)) {
        PauseSite(PAUSED_ON_SITE);
        return;
    }
    if (shareScope == TShareScope::SiteOnly)
        url.resize(std::min(url.size(), url.find('/')));
    url.resize(TextPrefix(url, SITE_URL_MAX, kit.textMetrics.TextCode()));
    if (!url.empty() && url.back() == '/')
        url.pop_back();
    if (url == siteUrl)
        return;
    siteUrl = url;
    ResumeSite();
    if (!Form.Visible())
        return; // remembered, not reported
    if (loggedIn)
        SetBtnGlyph(LEDBtn, glLedSignedIn);
    if (ClientSocket->Connected()) {
        TPacket packet;
        ClearPacket(packet);
        SendSiteReport(packet, *ClientSocket, siteUrl);
    } else if (!disconnectedOnce) {
        SwitchSession(true);
    }
    // Only the host decides whether the people and chats of the old site go;
    // a pause keeps siteHost, so coming back to its site keeps them.
    const std::string host = url.substr(0, url.find('/'));
    if (host != siteHost) {
        ResetPresence();
        siteHost = host;
    }
}

bool TNavlet::NeverReported(const std::string& address) const {
    for (const std::string& pattern : neverReported)
        if (PatternNamesPage(pattern, address))
            return true;
    if (!neverReportDefaults)
        return false;
    // The service itself is no stranger, and a service on this machine is a
    // local run or a test: its pages and the machine's others are reported
    // like any site.
    const std::string host = PageHostName(address);
    const std::string session = PageHostName(ClientSocket->Host());
    const std::string web = PageHostName(WebSiteHost());
    if (host == session || host == web)
        return false;
    const bool localService = IsLoopbackHost(session) || IsLoopbackHost(web);
    if (IsLocalNetworkHost(host) && !(localService && IsLoopbackHost(host)))
        return true;
    for (const std::string& pattern : BuiltInNeverReported())
        if (PatternNamesPage(pattern, address))
            return true;
    return false;
}

void TNavlet::PauseSite(const char* reason) {
    if (sitePaused) {
        // From a new tab onto a never-reported site: only the words change.
        if (pauseLine != reason) {
            pauseLine = reason;
            PostMsg(mkStatus, 0, "%s", reason);
        }
        return;
    }
    sitePaused = true;
    // The next web page counts as new, also the one left for this page.
    siteUrl.clear();
    if (ClientSocket->Connected()) {
        // On no site: an empty report. The server keeps the session, its
        // private chats and friends.
        TPacket packet;
        ClearPacket(packet);
        SendSiteReport(packet, *ClientSocket, "");
    }
    // The site's people and public lines come again with the next welcome.
    lvUsers.Clear();
    ForgetFriendsHere();
    if (TTabSheet* publicTab = FindTabByChat(0))
        publicTab->view->Clear();
    statusBeforePause.clear();
    for (const TMsgLine& line : msgQueue)
        if (line.kind == mkStatus)
            statusBeforePause = line.text;
    pauseLine = reason;
    PostMsg(mkStatus, 0, "%s", reason);
}

void TNavlet::ResumeSite() {
    if (!sitePaused)
        return;
    sitePaused = false;
    // Only while the pause's line still stands: what came since is newer.
    for (const TMsgLine& line : msgQueue) {
        if (line.kind != mkStatus)
            continue;
        if (line.text == pauseLine && !statusBeforePause.empty())
            PostMsg(mkStatus, 0, "%s", statusBeforePause.c_str());
        break;
    }
    statusBeforePause.clear();
}

} // namespace navlet
