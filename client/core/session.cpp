// The connection: switching the session, signing in, reconnecting, the socket
// notifications and the connection indicator.
#include <algorithm>

#include "client/core/connection.h"
#include "client/core/navlet.h"
#include "protocol/account_rules.h"
#include "protocol/requests.h"

namespace navlet {

void TNavlet::BindSessionComponents() {
    Form.SetVisible(false); // the browser shows the band
    LEDBtn.SetHint("connection status");
    // A new bar is off until it connects, and off shows red, as after a
    // disconnect; without it the indicator would stay blank until then.
    SetBtnGlyph(LEDBtn, glLedError);
    ResizeBtn.SetHint("minimize");
    edNck.SetMaxLength(MAX_NICK_LENGTH);
    edPwd.SetMaxLength(MAX_PASSWORD_LENGTH);
    sbLogin.SetCaption("sign in");
    // The layout shows the default-banner and the friends panels.
    LoginPanel.SetVisible(false);
    WebPanel.SetVisible(false);
    SearchPanel.SetVisible(false);

    ClientSocket->OnConnecting = [this](TClientSocket& s) { ClientSocketConnecting(s); };
    ClientSocket->OnConnect = [this](TClientSocket& s) { ClientSocketConnect(s); };
    ClientSocket->OnRead = [this](TClientSocket& s) { ClientSocketRead(s); };
    ClientSocket->OnDisconnect = [this](TClientSocket& s) { ClientSocketDisconnect(s); };
    ClientSocket->OnError = [this](TClientSocket& s, TErrorEvent e, int& code) {
        ClientSocketError(s, e, code);
    };
    URLTimer.OnTimer = [this] { URLTimerTimer(); };
    upd_timer.OnTimer = [this] { upd_timerTimer(); };
    led_timer.OnTimer = [this] { led_timerTimer(); };
    reconnect_timer.OnTimer = [this] { reconnect_timerTimer(); };
    resize_timer.OnTimer = [this] { resize_timerTimer(); };
    LEDBtn.OnClick = [this] { LEDBtnClick(); };
    ResizeBtn.OnClick = [this] { ResizeBtnClick(TResizeSender::Button); };
    sbLogin.OnClick = [this] { sbLoginClick(); };
}

void TNavlet::OpenSocket() {
    ClientSocket->Open(); // no effect while the socket is active
}

void TNavlet::SwitchSession(bool on) {
    // A socket that is still connecting is not connected: switching off then
    // does nothing.
    if (ClientSocket->Connected() == on)
        return;
    if (!on) {
        siteUrl.clear();
        ResetPresence();
        closingOnPurpose = true;
        ClientSocket->Close(); // the disconnect notification follows within
        return;
    }
    SyncSettings(-1, -1, -1, 0, 0, 0, 0);
    if (siteUrl.empty()) {
        CheckSiteUrl();
        // The site check opens the connection itself where it may.
        if (!siteUrl.empty())
            return;
    }
    if (siteUrl.empty() || myNick.empty() || password.empty() || (loginCount == 0 && !autoLogin)) {
        SetBannerMode(bmLogin);
        return;
    }
    OpenSocket();
}

void TNavlet::sbLoginClick() {
    const std::string nick = TrimTyped(edNck.Text());
    const std::string pwd = TrimTyped(edPwd.Text());
    if (nick.empty()) {
        ActiveControl.SetFocus(ftEdNck);
        return;
    }
    if (pwd.empty()) {
        ActiveControl.SetFocus(ftEdPwd);
        return;
    }
    const bool changed = nick != myNick || pwd != password;
    myNick = nick;
    password = pwd;
    if (changed)
        SyncSettings(1, 1, 0, 0, 0, 0, 0);
    // The current page counts as new, so it is reported or connects.
    siteUrl.clear();
    CheckSiteUrl();
    autoReconnecting = false;
    if (!siteUrl.empty())
        OpenSocket();
}

void TNavlet::LEDBtnClick() {
    if (ClientSocket->Active()) {
        SwitchSession(false);
        return;
    }
    if (autoLogin) {
        CheckSiteUrl();
        autoReconnecting = false;
        SwitchSession(true);
        return;
    }
    if (Minimised())
        ResizeBtnClick(TResizeSender::Login);
    sbLoginClick();
}

void TNavlet::reconnect_timerTimer() {
    // The timer stays on until one of its own attempts connects; while the
    // socket is connected each tick reports the site again.
    siteUrl.clear();
    CheckSiteUrl();
    autoReconnecting = true;
    if (!siteUrl.empty())
        OpenSocket();
}

void TNavlet::ClientSocketConnecting(TClientSocket&) {
    PostMsg(mkStatus, 0, "%s", autoReconnecting ? "Autoreconnecting..." : "Connecting...");
    SetBtnGlyph(LEDBtn, glLedConnecting);
}

void TNavlet::ClientSocketConnect(TClientSocket& socket) {
    ++connectionSerial;
    receiveAssembler.Reset();
    endReason.clear();
    if (autoReconnecting) {
        reconnect_timer.SetEnabled(false);
        autoReconnecting = false;
    }
    TPacket packet;
    ClearPacket(packet);
    wireCode = TTextCode::Cp1252; // until the server confirms what the login asks
    SendLogin(packet, socket, myNick, password, versionText, siteUrl, languageMask,
              LoginStampAt(kit.clock.LocalNow()), kit.textMetrics.TextCode());
    PostMsg(mkStatus, 0, "Verifying nickname and password...");
}

void TNavlet::ClientSocketDisconnect(TClientSocket&) {
    ++connectionSerial;
    loggedIn = false;
    disconnectedOnce = true;
    if (closingOnPurpose) {
        closingOnPurpose = false;
        PostDisconnected(/*reconnecting=*/false);
    } else {
        reconnect_timer.SetEnabled(true);
        PostDisconnected(/*reconnecting=*/true);
    }
    ClearPeopleLists();
    SetBtnGlyph(LEDBtn, glLedError);
    SetBannerMode(bmLogin);
}

void TNavlet::PostDisconnected(bool reconnecting) {
    // The reset of the site drops the server's notice from the ticker at once,
    // so the standing line carries its reason: "Disconnected: wrong nick or
    // password." stays readable until the next attempt replaces it.
    const std::string reason = DisconnectReason(endReason);
    endReason.clear();
    if (reason.empty()) {
        PostMsg(mkStatus, 0, "%s",
                reconnecting ? "Disconnected. I'll try to reconnect later..." : "Disconnected");
        return;
    }
    PostMsg(mkStatus, 0, "Disconnected: %s%s", reason.c_str(),
            reconnecting ? " I'll try to reconnect later..." : "");
}

void TNavlet::ClientSocketError(TClientSocket& socket, TErrorEvent event, int& errorCode) {
    errorCode = 0; // handled here: the socket raises nothing of its own
    // Read before the close: the disconnect handling does not change it, but
    // the text belongs to the attempt that failed.
    const bool failedReconnect = autoReconnecting && event == TErrorEvent::eeConnect;
    // A connection that could not be secured says why, on every attempt:
    // trying again does not mend a certificate.
    const std::string fault =
        event == TErrorEvent::eeSecurity ? DisconnectReason(socket.SecurityFault()) : std::string();
    socket.Close();
    if (event == TErrorEvent::eeSecurity)
        PostMsg(mkStatus, 0, "Could not secure the connection: %s",
                fault.empty() ? "the TLS handshake failed." : fault.c_str());
    else
        PostMsg(mkStatus, 0, "%s",
                failedReconnect ? "Attempt failed. I'll try again later..." : CommErrorText(event));
    lvUsers.Clear();
    SetBtnGlyph(LEDBtn, glLedError);
    SetBannerMode(bmLogin);
}

void TNavlet::SignalNews() {
    if (Form.Height() > BAR_MIN_HEIGHT) {
        SetBtnGlyph(LEDBtn, glLedNews);
        return;
    }
    led_timer.SetEnabled(true);
}

void TNavlet::led_timerTimer() {
    // One phase for every bar of the module, so that all indicators blink together.
    ledBlinkPhase = ledBlinkPhase == 0 ? 1 : 0;
    SetBtnGlyph(LEDBtn, ledBlinkPhase == 1 ? glLedNews : glLedSignedIn);
}

void TNavlet::SetBtnGlyph(TSpeedButton& button, int index) {
    button.SetGlyph(index);
}

} // namespace navlet
