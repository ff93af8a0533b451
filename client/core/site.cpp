// The site tracker: which page the host browser shows, the report of each new
// address, and the session switched by moves between web and local pages.
#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

constexpr size_t SITE_URL_MAX = 255;

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
        // The tracker leaves siteUrl alone; switching an open session off empties it.
        if (!url.empty()) {
            SwitchSession(false);
            PostMsg(mkStatus, 0, "Disconnected: can't surf onto a local page!");
        }
        return;
    }
    if (url.size() > SITE_URL_MAX)
        url.resize(SITE_URL_MAX);
    if (!url.empty() && url.back() == '/')
        url.pop_back();
    if (url == siteUrl)
        return;
    siteUrl = url;
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
    // Only the host decides whether the people and chats of the old site go.
    const std::string host = url.substr(0, url.find('/'));
    if (host != siteHost) {
        ResetPresence();
        siteHost = host;
    }
}

} // namespace navlet
