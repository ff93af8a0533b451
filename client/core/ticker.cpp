// The status ticker: the queue of lines, their rendering into a display list
// and a hit map, the timer's phases, painting and the mouse.
#include "client/core/ticker.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "client/core/navlet.h"
#include "client/core/peer_text.h"

namespace navlet {

namespace {

constexpr const char* MSG_FONT_NAME = "Verdana";
constexpr int MSG_FONT_SIZE = 7;
constexpr uint32_t INTERVAL_STAND_MS = 2000; // a wide line stands before it scrolls
constexpr uint32_t INTERVAL_SCROLL_MS = 50;  // one pixel per tick
constexpr uint32_t INTERVAL_HOLD_MS = 3500;  // the whole line, or its end, held
constexpr int32_t BUTTON_ELLIPSE = 5;
constexpr int32_t BESIDE_GAP = 8; // between the last button and the status text

struct TButtonLabel {
    int32_t bit;
    const char* label;
};
constexpr TButtonLabel BUTTON_LABELS[] = {
    {MSG_BTN_ACCEPT, "accept invitation"},
    {MSG_BTN_IGNORE, "ignore"},
    {MSG_BTN_OK, "OK"},
};

TFont MsgFont() {
    return TFont{MSG_FONT_NAME, MSG_FONT_SIZE, clWindowText};
}

std::string FormatBounded(const char* format, va_list args) {
    char buffer[MSG_TEXT_MAX + 1];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n <= 0)
        return {};
    return std::string(buffer, std::min(size_t(n), MSG_TEXT_MAX));
}

} // namespace

TMsgLine& TNavlet::PostMsg(int32_t kind, int32_t buttons, const char* format, ...) {
    TMsgLine line;
    line.kind = kind;
    line.buttons = buttons;
    if (format && *format) {
        va_list args;
        va_start(args, format);
        line.text = FormatBounded(format, args);
        va_end(args);
    }
    msg_timer.SetEnabled(false);
    if (kind == mkStatus) {
        auto old = std::find_if(msgQueue.begin(), msgQueue.end(),
                                [](const TMsgLine& l) { return l.kind == mkStatus; });
        if (old != msgQueue.end())
            msgQueue.erase(old);
    }
    msgQueue.push_back(std::move(line));
    TMsgLine& posted = msgQueue.back();
    // The status line on show gives way to buttons at once; it shows beside them.
    if (HoldsButtons(posted) && msgQueue.front().kind == mkStatus)
        msgQueue.splice(msgQueue.end(), msgQueue, msgQueue.begin());
    RestartFrontLine();
    return posted;
}

void TNavlet::RestartFrontLine() {
    msg_timer.SetEnabled(false);
    msgPhase = 0;
    msg_timerTimer();
    msg_timer.SetEnabled(true);
}

std::string TNavlet::BesideButtonsText() const {
    for (const TMsgLine& line : msgQueue)
        if (line.kind == mkStatus)
            return MsgLineText(line);
    return {};
}

void TNavlet::TickerCountChanged() {
    if (msgQueue.empty() || !msgImage)
        return;
    const TMsgLine& front = msgQueue.front();
    if (front.kind != mkStatus && !HoldsButtons(front))
        return;
    const std::string shown = front.kind == mkStatus ? MsgLineText(front) : BesideButtonsText();
    if (shown != msgShownText)
        RestartFrontLine();
}

void TNavlet::ShowHint(const std::string& text) {
    if (!msgQueue.empty() && msgQueue.front().kind == mkNotice && msgQueue.front().text == text)
        return; // on show already: every further key would restart it
    msgQueue.remove_if([&text](const TMsgLine& l) { return l.kind == mkNotice && l.text == text; });
    msgQueue.push_front(TMsgLine{mkNotice, 0, text.substr(0, MSG_TEXT_MAX), "", ""});
    RestartFrontLine();
}

void TNavlet::ShowCall(const std::string& caller, const std::string& text,
                       const std::string& link) {
    auto pending = std::find_if(msgQueue.begin(), msgQueue.end(), [&caller](const TMsgLine& l) {
        return l.kind == mkInvite && l.user == caller;
    });
    if (pending == msgQueue.end()) {
        msgQueue.push_back(TMsgLine{mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE, "", caller, ""});
        pending = std::prev(msgQueue.end());
    }
    pending->text = text.substr(0, MSG_TEXT_MAX);
    pending->link = link;
    // A call waits for nobody: it goes to the front with its own words.
    msgQueue.splice(msgQueue.begin(), msgQueue, pending);
    RestartFrontLine();
}

std::string TNavlet::MsgLineText(const TMsgLine& line) const {
    if (line.kind != mkStatus || !loggedIn || line.ownTextFirst)
        return line.text;
    if (!serverStatus.empty())
        return serverStatus;
    if (lvUsers.Count() > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Navlet people online here: %d", lvUsers.Count());
        return text;
    }
    return line.text;
}

void TNavlet::DrawMsgLine() {
    msgImage->Reset(MSG_LINE_WIDTH, MSG_LINE_HEIGHT);
    msgHitMap->Reset(MSG_LINE_WIDTH, MSG_LINE_HEIGHT);
    // The strip continues the default banner's left edge.
    for (int32_t y = 0; y < MSG_LINE_HEIGHT; ++y)
        msgImage->ops.push_back(
            TFillRect{{0, y, MSG_LINE_WIDTH, y + 1}, defBannerPixels[size_t(y)]});

    // An empty queue (only a bare form has one) draws the background alone.
    const TMsgLine* front = msgQueue.empty() ? nullptr : &msgQueue.front();
    // Another line on show ends a status line's own turn.
    if (front && front->kind != mkStatus)
        for (TMsgLine& line : msgQueue)
            line.ownTextFirst = false;
    int32_t x = 1;
    msgShownText.clear();
    if (front) {
        const TFont font = MsgFont();
        std::string text = MsgLineText(*front);
        if (front->kind == mkStatus)
            msgShownText = text;
        x += kit.textMetrics.TextWidth(font, text);
        TTextOut out;
        out.x = 1;
        out.y = 1;
        out.text = std::move(text);
        out.font = font;
        msgImage->ops.push_back(std::move(out));
        for (const TButtonLabel& button : BUTTON_LABELS) {
            if (!(front->buttons & button.bit))
                continue;
            x += 2;
            const int32_t w = kit.textMetrics.TextWidth(font, button.label);
            const TRect shape{x, 1, x + w + 5, 15};
            msgImage->ops.push_back(
                TRoundRect{shape, BUTTON_ELLIPSE, BUTTON_ELLIPSE, clBtnFace, clBlack});
            msgImage->ops.push_back(TTextOut{x + 2, 1, button.label, font, /*opaque=*/true,
                                             clBtnFace, /*clipped=*/true,
                                             TRect{x + 2, 3, x + w + 3, 14}});
            msgHitMap->RoundRect(shape, BUTTON_ELLIPSE, BUTTON_ELLIPSE, uint8_t(button.bit),
                                 /*outline=*/0);
            x += w + 6;
        }
        if (HoldsButtons(*front))
            DrawBesideButtons(x);
    }
    msgSrcRect = msgDstRect;
    // Past the image's right edge there is nothing to scroll to.
    const int32_t end = std::min(x, MSG_LINE_WIDTH);
    msgScrollMax = std::max(0, end - msgDstRect.right);
}

void TNavlet::DrawBesideButtons(int32_t buttonsEnd) {
    // The people count rides beside a line with buttons, which holds the
    // ticker; scrolling stops where the buttons end, so they stay in view.
    msgShownText = BesideButtonsText();
    if (msgShownText.empty())
        return;
    TTextOut out;
    out.x = buttonsEnd + BESIDE_GAP;
    out.y = 1;
    out.text = msgShownText;
    out.font = MsgFont();
    msgImage->ops.push_back(std::move(out));
}

void TNavlet::NextMsgLine() {
    msgQueue.front().ownTextFirst = false; // its turn is over
    if (msgQueue.front().kind != mkNotice)
        msgQueue.push_back(msgQueue.front());
    msgQueue.pop_front();
    // While a line with buttons is queued the status line takes no turn of
    // its own: a click in its turn would reach no button.
    const bool buttonsQueued = std::any_of(msgQueue.begin(), msgQueue.end(), HoldsButtons);
    if (!buttonsQueued || msgQueue.front().kind != mkStatus)
        return;
    msgQueue.push_back(msgQueue.front());
    msgQueue.pop_front();
}

void TNavlet::msg_timerTimer() {
    for (;;) {
        if (msgPhase == 0) {
            DrawMsgLine();
            msgPhase = 1;
            if (msgScrollMax != 0) {
                msg_timer.SetInterval(INTERVAL_STAND_MS);
                msg_img.Invalidate();
                return;
            }
        }
        if (msgPhase == 1) {
            if (ScrollOffset() < msgScrollMax) {
                msg_timer.SetInterval(INTERVAL_SCROLL_MS);
                ++msgSrcRect.left;
                ++msgSrcRect.right;
                msg_img.Invalidate();
                return;
            }
            msgPhase = 2;
            msg_timer.SetInterval(INTERVAL_HOLD_MS);
            // The last scroll step has already repainted.
            if (msgScrollMax == 0)
                msg_img.Invalidate();
            return;
        }
        if (msgPhase != 2 || msgQueue.empty()) {
            msg_img.Invalidate();
            return;
        }
        NextMsgLine();
        msgPhase = 0;
    }
}

void TNavlet::msg_paint(TCanvas& canvas) {
    if (msgImage)
        canvas.PaintDisplayList(*msgImage, msgSrcRect, msgDstRect);
}

void TNavlet::msg_imgMouseMove(TShiftState, int32_t x, int32_t y) {
    const bool overButton = msgHitMap && msgHitMap->At(x + ScrollOffset(), y) != 0;
    msg_img.SetCursor(overButton ? TCursor::crHandPoint : TCursor::crDefault);
}

void TNavlet::msg_imgMouseDown(TMouseButton button, TShiftState, int32_t x, int32_t y) {
    if (button != TMouseButton::mbLeft || !msgHitMap || msgQueue.empty())
        return;
    const uint8_t hit = msgHitMap->At(x + ScrollOffset(), y);
    if (hit == 0)
        return;
    const TMsgLine& front = msgQueue.front();
    if (front.kind != mkInvite && front.kind != mkServer)
        return;
    if (front.kind == mkInvite && (hit & MSG_BTN_ACCEPT)) {
        if (const std::optional<std::string> link = OpenableLink(front.link))
            OpenBrowserWindow(*link);
    }
    msgPhase = 0;
    if (!msgQueue.empty())
        msgQueue.pop_front();
    msg_timerTimer();
    msg_timer.SetEnabled(true);
}

void TNavlet::msg_pnlResize() {
    msgDstRect = {0, 0, msg_img.Width(), msg_img.Height()};
    msgSrcRect = msgDstRect;
}

void THitMap::Reset(int32_t newWidth, int32_t newHeight) {
    width = std::max(0, newWidth);
    height = std::max(0, newHeight);
    pixels.assign(size_t(width) * size_t(height), 0);
}

uint8_t THitMap::At(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    return pixels[size_t(y) * size_t(width) + size_t(x)];
}

void THitMap::RoundRect(const TRect& rect, int32_t ew, int32_t eh, uint8_t fill, uint8_t outline) {
    // The kits paint the same pixel walk, so a hit lands exactly where a button shows.
    auto set = [this](int32_t x, int32_t y, uint8_t value) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels[size_t(y) * size_t(width) + size_t(x)] = value;
    };
    ForEachRoundRectPixel(
        rect, ew, eh,
        [&](int32_t x0, int32_t x1, int32_t y) {
            for (int32_t x = x0; x <= x1; ++x)
                set(x, y, fill);
        },
        [&](int32_t x, int32_t y) { set(x, y, outline); });
}

} // namespace navlet
