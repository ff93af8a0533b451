// The band operations: attaching to the host browser, the band's sizes,
// showing, closing, focus and keys, pages opened in the host browser, and the
// minimise and restore through the band site.
#include "client/core/host.h"

#include <algorithm>
#include <cstdio>

#include "client/core/connection.h"
#include "client/core/navlet.h"
#include "client/core/peer_text.h"

namespace navlet {

namespace {

bool IsEditBox(TFocusTarget t) {
    return t == ftEdit1 || t == ftCbSearch || t == ftEdSearchMsg || t == ftEdNck || t == ftEdPwd;
}

// Ctrl with these stays in the bar's edit box: undo, cut, copy, paste.
bool IsEditingLetter(uint32_t virtualKey) {
    return virtualKey == 'Z' || virtualKey == 'X' || virtualKey == 'C' || virtualKey == 'V';
}

} // namespace

TKeyAction RouteKey(TFocusTarget focused, const TKeyMessage& key) {
    if (!IsEditBox(focused))
        return TKeyAction::ToBrowserFocusLost;
    const uint32_t vk = key.virtualKey;
    if (key.altDown || (vk >= VK_FIRST_FUNCTION && vk <= VK_LAST_FUNCTION))
        return TKeyAction::ToBrowser;
    const bool arrow = vk >= VK_FIRST_ARROW && vk <= VK_LAST_ARROW;
    if (key.ctrlDown && !arrow && !IsEditingLetter(vk))
        return TKeyAction::ToBrowser;
    if (vk == VK_ENTER && key.message == WM_KEYDOWN_MSG) {
        if (focused == ftEdit1)
            return TKeyAction::SendChat;
        if (focused == ftEdNck || focused == ftEdPwd)
            return TKeyAction::SignIn;
        return TKeyAction::Search;
    }
    return TKeyAction::Dispatch;
}

THResult KeyActionResult(TKeyAction action) {
    if (action == TKeyAction::ToBrowser || action == TKeyAction::ToBrowserFocusLost)
        return HR_FALSE;
    return HR_OK;
}

THResult GetBandInfo(TBandInfo* info) {
    if (!info)
        return HR_INVALIDARG;
    if (info->mask & DBIM_MINSIZE)
        info->minSize = {BAND_MIN_WIDTH, BAR_MIN_HEIGHT};
    if (info->mask & DBIM_MAXSIZE)
        info->maxSize = {-1, -1};
    if (info->mask & DBIM_INTEGRAL)
        info->integral = {1, 1};
    if (info->mask & DBIM_ACTUAL)
        info->actual = {BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT};
    if (info->mask & DBIM_TITLE)
        info->title.clear();
    if (info->mask & DBIM_MODEFLAGS)
        info->modeFlags = DBIMF_VARIABLEHEIGHT;
    // No background colour of its own.
    info->mask &= ~DBIM_BKCOLOR;
    return HR_OK;
}

void TNavlet::AttachHost(THostControl& host) {
    hostControl = &host;
}

void TNavlet::DetachHost() {
    // The browser may go away after this: nothing reaches it any more.
    hostControl = nullptr;
}

void TNavlet::BrowserDocumentComplete() {
    pageLoaded = true; // one check on the next URLTimer tick, however many came
}

THResult TNavlet::ShowDW(bool show) {
    if (show == Form.Visible())
        return HR_OK;
    Form.SetVisible(show);
    SwitchSession(show);
    if (!show)
        return HR_OK;
    // A bar minimised when it was last closed comes back minimised.
    resize_timer.SetEnabled(true);
    SyncSettings(0, 0, 0, -1, 0, 0, 0);
    if (versionText != shownVersion) {
        // Stored first: the new window may bring a bar of its own at once,
        // which must not open the page again.
        shownVersion = versionText;
        SyncSettings(0, 0, 0, 1, 0, 0, 0);
        if (!kit.module.HostOpensSignUpPage())
            OpenServicePage(WebSiteAddress() + "/newuser.asp");
    }
    return HR_OK;
}

THResult TNavlet::CloseDW() {
    if (hostControl)
        hostControl->SuppressFaultDialogs();
    ClientSocket->Close();
    if (hostControl)
        hostControl->CloseInPlaceWindow();
    return HR_OK;
}

THResult TNavlet::UIActivateIO(bool activate) {
    if (activate) {
        if (ActiveControl.Target() != ftNone && Form.Visible())
            ActiveControl.SetFocus(ActiveControl.Target());
        return HR_OK;
    }
    if (hostControl)
        hostControl->FocusChanged(false);
    // The host gave the focus to the page or its address field: no edit box
    // of the bar keeps the keys, and the bar takes nothing back (moving the
    // focus to lvUsers here would pull it out of what the user clicked).
    ActiveControl.SetFocus(ftNone);
    return HR_OK;
}

THResult TNavlet::HasFocusIO() const {
    return ActiveControl.Target() != ftNone ? HR_OK : HR_FALSE;
}

TKeyAction TNavlet::TranslateAcceleratorIO(const TKeyMessage& key) {
    const TKeyAction action = RouteKey(ActiveControl.Target(), key);
    switch (action) {
    case TKeyAction::ToBrowserFocusLost:
        if (hostControl)
            hostControl->FocusChanged(false);
        break;
    case TKeyAction::SendChat:
        sbSendTxtClick();
        break;
    case TKeyAction::SignIn:
        sbLoginClick();
        break;
    case TKeyAction::Search:
        sbSearchClick();
        break;
    case TKeyAction::ToBrowser:
    case TKeyAction::Dispatch:
        break;
    }
    return action;
}

void TNavlet::OpenBrowserWindow(const std::string& address) {
    const int result = kit.host.OpenBrowserWindow(address);
    if (result <= SHELL_OK_ABOVE)
        PostMsg(mkNotice, 0, "error #%d opening a new browser window", result);
}

void TNavlet::OpenServicePage(const std::string& address) {
    if (hostControl)
        hostControl->OpenNewWindow(WithWebScheme(address));
}

void TNavlet::FlashBrowserWindow() {
    if (hostControl)
        hostControl->FlashBrowserWindow();
}

void TNavlet::EditTyped(TEdit& edit, const std::string& text, int refused) {
    if (refused > 0) {
        ShowHint("Only Western European characters can be typed in the bar");
        return;
    }
    edit.SetText(text);
    if (edit.MaxLength() <= 0 || int(text.size()) < edit.MaxLength())
        return;
    // The limit is in bytes: in UTF-8 a letter may take two, an emoji four.
    const bool utf8 = kit.textMetrics.TextCode() == TTextCode::Utf8;
    char hint[80];
    std::snprintf(hint, sizeof hint,
                  utf8 ? "%s is full (at most %d bytes)" : "%s holds at most %d characters",
                  &edit == &Edit1 ? "A chat line" : "This box", edit.MaxLength());
    ShowHint(hint);
}

void TNavlet::EditEnter(TFocusTarget control) {
    ActiveControl.SetFocus(control);
    if (control == ftEdit1)
        Edit1Enter();
    if (hostControl)
        hostControl->FocusChanged(true);
}

void TNavlet::ResizeBtnClick(TResizeSender sender) {
    if (!hostControl)
        return;
    if (hostShape == THostShape::SidePanel) {
        // The panel keeps its height: the banner area collapses to the
        // ticker's strip, whose restore button stays in view, so a stored
        // minimised state never hides the way back.
        SyncSettings(0, 0, 0, 0, 0, 0, -1);
        bool collapse = barSize > 0;
        if (sender != TResizeSender::ResizeTimer) {
            collapse = !PanelStyle.BannerCollapsed();
            barSize = collapse ? std::max(Form.Height(), BAR_MIN_HEIGHT + 1) : 0;
            SyncSettings(0, 0, 0, 0, 0, 0, 1);
        }
        PanelStyle.SetBannerCollapsed(collapse);
        LayOutAgain();
        return;
    }
    if (sender == TResizeSender::ResizeTimer) {
        SyncSettings(0, 0, 0, 0, 0, 0, -1);
        if (barSize > 0)
            hostControl->ResizeBandSite(BAR_MIN_HEIGHT);
        return;
    }
    const int32_t h = Form.Height();
    if (h > BAR_MIN_HEIGHT) {
        barSize = h;
        SyncSettings(0, 0, 0, 0, 0, 0, 1);
        hostControl->ResizeBandSite(BAR_MIN_HEIGHT);
        return;
    }
    SyncSettings(0, 0, 0, 0, 0, 0, -1);
    // With no stored height the band comes back at its ideal height, not at 0.
    hostControl->ResizeBandSite(barSize > 0 ? barSize : BAND_IDEAL_HEIGHT);
    barSize = 0;
    SyncSettings(0, 0, 0, 0, 0, 0, 1);
}

void TNavlet::resize_timerTimer() {
    resize_timer.SetEnabled(false);
    ResizeBtnClick(TResizeSender::ResizeTimer);
}

void TNavlet::BannerPanelResize() {
    const int32_t h = Form.Height();
    if (h > BAR_MIN_HEIGHT && led_timer.Enabled()) {
        led_timer.SetEnabled(false);
        SetBtnGlyph(LEDBtn, glLedNews);
    }
    ChatMsgPanel.SetVisible(ChatLineShown(h));
    SetBtnGlyph(ResizeBtn, Minimised() ? glRestore : glMinimise);
    if (hostShape == THostShape::SidePanel)
        ResizeBtn.SetHint(Minimised() ? "restore" : "minimize");
}

} // namespace navlet
