// The status ticker: the queue of lines, their rendering into a display list
// and a hit map, the timer's phases, painting and the mouse.
#include "client/core/ticker.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "client/core/navlet.h"
#include "client/core/peer_text.h"
#include "protocol/text_cut.h"

namespace navlet {

namespace {

constexpr const char* MSG_FONT_NAME = "Verdana";
constexpr int MSG_FONT_SIZE = 7;
constexpr uint32_t INTERVAL_STAND_MS = 2000; // a wide line stands before it scrolls
constexpr uint32_t INTERVAL_SCROLL_MS = 50;  // one pixel per tick
constexpr uint32_t INTERVAL_HOLD_MS = 3500;  // the whole line, or its end, held
constexpr int32_t BUTTON_ELLIPSE = 5;
constexpr int32_t BESIDE_GAP = 8; // between the last button and the status text
// Calls of one caller waiting behind words not yet seen; the server keeps at
// most five calls for an account.
constexpr size_t MAX_LATER_CALLS = 5;

struct TButtonLabel {
    int32_t bit;
    const char* label;
};
constexpr TButtonLabel BUTTON_LABELS[] = {
    {MSG_BTN_ACCEPT, "accept invitation"},
    {MSG_BTN_IGNORE, "ignore"},
    {MSG_BTN_OK, "OK"},
    {MSG_BTN_SHOW, "show"},
    {MSG_BTN_LEAVE, "leave"},
};
constexpr int32_t BUTTON_PADDING = 6; // a button's width past its label's

TFont MsgFont() {
    return TFont{MSG_FONT_NAME, MSG_FONT_SIZE, clWindowText};
}

// A line's text is at most MSG_TEXT_MAX bytes of whole characters: a glyph
// cut in half would show as a broken one at the line's end.
std::string Bounded(std::string_view text, TTextCode code) {
    return TextCut(text, MSG_TEXT_MAX, code);
}

std::string FormatBounded(TTextCode code, const char* format, va_list args) {
    // One byte past the bound tells whether the cut splits a character.
    char buffer[MSG_TEXT_MAX + 2];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n <= 0)
        return {};
    return Bounded(std::string_view(buffer, std::min(size_t(n), sizeof buffer - 1)), code);
}

} // namespace

TMsgLine& TNavlet::PostMsg(int32_t kind, int32_t buttons, const char* format, ...) {
    TMsgLine line;
    line.kind = kind;
    line.buttons = buttons;
    if (format && *format) {
        va_list args;
        va_start(args, format);
        line.text = FormatBounded(kit.textMetrics.TextCode(), format, args);
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

void TNavlet::ShowHint(const std::string& hint) {
    std::string text = Bounded(hint, kit.textMetrics.TextCode());
    if (!msgQueue.empty() && msgQueue.front().kind == mkNotice && msgQueue.front().text == text)
        return; // on show already: every further key would restart it
    msgQueue.remove_if([&text](const TMsgLine& l) { return l.kind == mkNotice && l.text == text; });
    msgQueue.push_front(TMsgLine{mkNotice, 0, std::move(text), "", ""});
    RestartFrontLine();
}

void TNavlet::ShowCall(const std::string& caller, const std::string& text, const std::string& link,
                       TCallWords words) {
    auto pending = std::find_if(msgQueue.begin(), msgQueue.end(), [&caller](const TMsgLine& l) {
        return l.kind == mkInvite && l.user == caller;
    });
    if (pending == msgQueue.end()) {
        msgQueue.push_back(TMsgLine{mkInvite, MSG_BTN_ACCEPT | MSG_BTN_IGNORE, "", caller, ""});
        pending = std::prev(msgQueue.end());
    }
    pending->link = link;
    const std::string bounded = Bounded(text, kit.textMetrics.TextCode());
    const bool hasWords = words == TCallWords::Some;
    if (pending->wordsUnseen) {
        auto& later = pending->laterCalls;
        // A plain call after a plain call already waiting adds nothing.
        if (!hasWords && !later.empty() && !later.back().words)
            later.back().text = bounded;
        else if (later.size() < MAX_LATER_CALLS)
            later.push_back({bounded, hasWords});
    } else {
        pending->text = bounded;
        pending->wordsUnseen = hasWords;
    }
    // A call waits for nobody: it goes to the front with its own words.
    msgQueue.splice(msgQueue.begin(), msgQueue, pending);
    RestartFrontLine();
    Attention.Raise(caller + " is looking for you");
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
    if (FixedTickerButtons()) {
        msgTextScroll = 0;
        DrawFixedButtonsLine();
        return;
    }
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

void TNavlet::DrawFixedButtonsLine() {
    const int32_t w = std::max(0, msgDstRect.Width());
    const int32_t h = std::max(0, msgDstRect.Height());
    const int32_t row = std::max(1, layout.TickerRowHeight());
    const bool twoRows = layout.TickerTwoRows();
    msgImage->Reset(w, h);
    msgHitMap->Reset(w, h);
    for (int32_t y = 0; y < h; ++y)
        msgImage->ops.push_back(
            TFillRect{{0, y, w, y + 1}, defBannerPixels[size_t(std::min(y, MSG_LINE_HEIGHT - 1))]});
    msgShownText.clear();
    msgScrollMax = 0;
    if (msgQueue.empty())
        return;
    const TMsgLine& front = msgQueue.front();
    if (front.kind != mkStatus)
        for (TMsgLine& line : msgQueue)
            line.ownTextFirst = false;
    const TFont font = FormFont();
    const int32_t textY = std::max(0, (row - kit.textMetrics.LineHeight(font)) / 2);

    // The buttons first, from the right edge, so that they never move.
    int32_t buttonsWidth = 0;
    for (const TButtonLabel& button : BUTTON_LABELS)
        if (front.buttons & button.bit)
            buttonsWidth += kit.textMetrics.TextWidth(font, button.label) + BUTTON_PADDING + 2;
    const int32_t buttonsTop = twoRows ? row : 0;
    const int32_t buttonsLeft = std::max(0, w - buttonsWidth);
    int32_t x = buttonsLeft;
    for (const TButtonLabel& button : BUTTON_LABELS) {
        if (!(front.buttons & button.bit))
            continue;
        const int32_t labelWidth = kit.textMetrics.TextWidth(font, button.label);
        const TRect shape{x, buttonsTop + 1, x + labelWidth + 5, buttonsTop + row - 1};
        msgImage->ops.push_back(
            TRoundRect{shape, BUTTON_ELLIPSE, BUTTON_ELLIPSE, clBtnFace, clBlack});
        msgImage->ops.push_back(
            TTextOut{x + 2, buttonsTop + textY, button.label, font, /*opaque=*/true, clBtnFace,
                     /*clipped=*/true,
                     TRect{x + 2, buttonsTop + 2, x + labelWidth + 3, buttonsTop + row - 2}});
        msgHitMap->RoundRect(shape, BUTTON_ELLIPSE, BUTTON_ELLIPSE, uint8_t(button.bit),
                             /*outline=*/0);
        x += labelWidth + BUTTON_PADDING + 2;
    }

    // The text scrolls in what is left of the first row.
    const int32_t textRight = twoRows || buttonsWidth == 0 ? w : std::max(0, buttonsLeft - 4);
    const std::string text = MsgLineText(front);
    if (front.kind == mkStatus)
        msgShownText = text;
    msgImage->ops.push_back(TTextOut{1 - msgTextScroll, textY, text, font, /*opaque=*/false, 0,
                                     /*clipped=*/true, TRect{0, 0, textRight, row}});
    msgScrollMax = std::max(0, kit.textMetrics.TextWidth(font, text) + 2 - textRight);
    if (!HoldsButtons(front))
        return;
    // The people count rides beside the buttons when a row of their own
    // leaves it room.
    msgShownText = BesideButtonsText();
    if (twoRows && !msgShownText.empty())
        msgImage->ops.push_back(TTextOut{1, row + textY, msgShownText, font, /*opaque=*/false, 0,
                                         /*clipped=*/true,
                                         TRect{0, row, std::max(0, buttonsLeft - 4), 2 * row}});
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
    TMsgLine& ended = msgQueue.front();
    ended.ownTextFirst = false; // its turn is over
    ended.wordsUnseen = false;
    if (!ended.laterCalls.empty()) {
        ended.text = std::move(ended.laterCalls.front().text);
        ended.wordsUnseen = ended.laterCalls.front().words;
        ended.laterCalls.erase(ended.laterCalls.begin());
    }
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
            const bool fixedButtons = FixedTickerButtons();
            if ((fixedButtons ? msgTextScroll : ScrollOffset()) < msgScrollMax) {
                msg_timer.SetInterval(INTERVAL_SCROLL_MS);
                if (fixedButtons) {
                    ++msgTextScroll;
                    DrawFixedButtonsLine();
                } else {
                    ++msgSrcRect.left;
                    ++msgSrcRect.right;
                }
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
    if (front.kind != mkInvite && front.kind != mkServer && front.kind != mkChatInvite)
        return;
    if (front.kind == mkInvite && (hit & MSG_BTN_ACCEPT)) {
        if (const std::optional<std::string> link = OpenableLink(front.link))
            OpenBrowserWindow(*link);
    }
    // The line goes before its tab is shown or closed: closing drops the
    // tab's invitation from the queue too.
    const TMsgLine clicked = front;
    msgPhase = 0;
    if (!msgQueue.empty())
        msgQueue.pop_front();
    if (clicked.kind == mkChatInvite)
        ChatInviteClicked(clicked, hit);
    msg_timerTimer();
    msg_timer.SetEnabled(true);
}

void TNavlet::ShowChatInvite(const std::string& inviter, ChatId chat) {
    TMsgLine& line = PostMsg(mkChatInvite, MSG_BTN_SHOW | MSG_BTN_LEAVE,
                             "%s invited you to a private chat", inviter.c_str());
    line.chat = chat;
}

void TNavlet::ChatInviteClicked(const TMsgLine& line, uint8_t hit) {
    TTabSheet* sheet = FindTabByChat(line.chat);
    if (!sheet)
        return;
    if (hit & MSG_BTN_SHOW) {
        PageControl.SetActivePageIndex(PageControl.IndexOf(sheet));
        PageControlChange();
        return;
    }
    if (hit & MSG_BTN_LEAVE) {
        CloseChatTab(*sheet, TCloseNotify::TellServer);
        PageControlChange();
    }
}

void TNavlet::msg_pnlResize() {
    msgDstRect = {0, 0, msg_img.Width(), msg_img.Height()};
    msgSrcRect = msgDstRect;
    // The column's line is drawn for the ticker's size: it is drawn again.
    if (FixedTickerButtons() && msgImage && msgHitMap)
        RestartFrontLine();
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
