// Conversation text: the formatting of every line, the server's notices, the
// incoming chat lines, and the sending of the user's text.
#include <cmath>
#include <cstdio>

#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// A conversation keeps its last 30 lines; a wrapped line still counts as one.
constexpr int MAX_CONVERSATION_LINES = 30;
constexpr TColor SERVER_LINE_COLOR = clMaroon;

// Kinds of server notices: the chat id shifted right by 8 bits.
enum TNoticeKind : uint64_t {
    nkServerStatus = 1,
    nkTicker = 2,
    nkTickerWithButtons = 3,
    nkConsole = 4,
};

constexpr double MS_PER_DAY = 24.0 * 60 * 60 * 1000;
// Date-times the clock can turn into a calendar date: years 1 to 9999.
constexpr double FIRST_DAY = -693593;
constexpr double LAST_DAY = 2958466;

struct TDayTime {
    int64_t day = 0;
    int hour = 0;
    int minute = 0;
};

// Days since 30 December 1899 and the time of day, to the millisecond.
TDayTime SplitDateTime(double dateTime) {
    const int64_t dayMs = int64_t(MS_PER_DAY);
    const int64_t ms = std::llround(dateTime * MS_PER_DAY);
    int64_t day = ms / dayMs;
    int64_t rest = ms % dayMs;
    if (rest < 0) {
        rest += dayMs;
        --day;
    }
    return TDayTime{day, int(rest / 3600000), int(rest / 60000 % 60)};
}

// A stamp from the wire that the clock can convert.
bool IsUsableStamp(double stamp) {
    return std::isfinite(stamp) && stamp > FIRST_DAY && stamp < LAST_DAY;
}

// Blanks and control characters, as the text box trims them.
bool IsBlankOrControl(char c) {
    return uint8_t(c) <= ' ';
}

bool IsBlankText(const std::string& text) {
    for (char c : text)
        if (!IsBlankOrControl(c))
            return false;
    return true;
}

} // namespace

void TNavlet::AppendLine(bool eventLine, UserId sender, ChatId chat, const std::string& text,
                         double stamp, const std::string& nick) {
    if (sender == 0) {
        FlashBrowserWindow();
        if (RouteServerNotice(chat, text))
            return;
    }
    TTabSheet* sheet = FindTabByChat(chat);
    if (!sheet)
        return;
    if (PageControl.IndexOf(sheet) != PageControl.ActivePageIndex()) {
        PageControl.SetHighlighted(*sheet, true);
        // What the chat's people said counts; the bar's own event lines do not.
        if (!eventLine && sender != 0)
            PageControl.SetUnread(*sheet, sheet->unread + 1);
    }
    TChatView& view = *sheet->view;
    const bool followEnd = view.AtEnd();
    while (view.LineCount() >= MAX_CONVERSATION_LINES)
        view.DeleteFirstLine();
    WriteConversationLine(view, eventLine, sender, text, stamp, nick);
    if (!followEnd)
        return; // the reader keeps the place, and the selection
    view.ScrollToEnd();
    const size_t end = view.Text().size();
    view.SetSelection(end, 0);
}

bool TNavlet::RouteServerNotice(ChatId chat, const std::string& text) {
    const uint64_t kind = chat >> 8;
    if (kind == 0)
        return false;
    switch (kind) {
    case nkServerStatus:
        serverStatus = text;
        TickerCountChanged();
        break;
    case nkTicker:
        PostMsg(mkNotice, 0, "%s", text.c_str());
        endReason = text;
        break;
    case nkTickerWithButtons:
        PostMsg(mkServer, int32_t(chat & 0xFF), "%s", text.c_str());
        break;
    case nkConsole:
        ConsoleText(text);
        break;
    default:
        break; // a notice of a kind this bar does not know is dropped
    }
    return true;
}

std::string TNavlet::SenderNick(UserId sender, double stamp, const std::string& nick) const {
    if (stamp != 0)
        return nick;
    if (sender == 0)
        return "admin";
    const int entry = FindUser(sender);
    return entry < 0 ? "???" : lvUsers.Item(entry).caption;
}

void TNavlet::WriteConversationLine(TChatView& view, bool eventLine, UserId sender,
                                    const std::string& text, double stamp,
                                    const std::string& nick) {
    const TColor color = sender == 0 && stamp == 0 ? SERVER_LINE_COLOR : clBlack;
    TChatLine line;
    line.runs.push_back(TTextRun{SenderNick(sender, stamp, nick), color, /*bold=*/!eventLine,
                                 /*italic=*/eventLine});

    // A stamp the clock cannot convert shows the time of arrival instead.
    const bool dated = stamp != 0 && IsUsableStamp(stamp);
    const TDayTime now = SplitDateTime(kit.clock.LocalNow());
    const double local = dated ? kit.clock.UtcToLocal(stamp) : kit.clock.LocalNow();
    const TDayTime when = IsUsableStamp(local) ? SplitDateTime(local) : now;
    std::string time;
    if (dated && when.day < now.day)
        time = " " + kit.clock.ShortDate(local);
    char clock[16];
    std::snprintf(clock, sizeof clock, " [%02d:%02d] ", when.hour, when.minute);
    time += clock;
    line.runs.push_back(TTextRun{time, color, /*bold=*/false, /*italic=*/true});

    line.runs.push_back(TTextRun{text, color, /*bold=*/false, /*italic=*/eventLine});
    view.AppendLine(std::move(line));
}

void TNavlet::ChatLineReceived(const TChatLineMsg& m) {
    AppendLine(/*eventLine=*/false, m.address.User(), m.address.Chat(), m.text, 0, "");
    const UserId sender = m.address.User();
    // Only a private chat's line asks for the user; what it says stays in the chat.
    if (sender != 0 && sender != myUserId && IsPrivateChat(m.address.Chat()) &&
        FindTabByChat(m.address.Chat()))
        Attention.Raise(SenderNick(sender, 0, "") + " wrote to you");
}

void TNavlet::DatedLineReceived(const TDatedLineMsg& m) {
    SetBtnGlyph(LEDBtn, glLedNews);
    AppendLine(/*eventLine=*/false, /*sender=*/0, /*chat=*/0, m.text, m.stamp, m.nick);
}

void TNavlet::sbSendTxtClick() {
    // The grey font is the hint, not text.
    if (Edit1.FontColor() == clGray)
        return;
    if (txt_timer.Enabled()) {
        Edit1.SetFontColor(clInactiveCaptionText);
        return;
    }
    if (!loggedIn || IsBlankText(Edit1.Text()))
        return;
    TTabSheet* sheet = TabByIndex(-1);
    if (!sheet)
        return;
    // The text goes out exactly as typed, surrounding blanks included.
    const std::string text = Edit1.Text();
    const ChatTab& tab = *sheet->tag;
    AppendLine(/*eventLine=*/false, tab.ownUserId, tab.chatId, text, 0, "");
    TPacket packet;
    ClearPacket(packet);
    SendChatText(packet, *ClientSocket, MakeChatAddress(tab.ownUserId, tab.chatId),
                 TextForServer(text, CHAT_TEXT_FIELD - 1));
    Edit1.SetText("");
    lastSendTime = kit.clock.LocalNow();
    txt_timer.SetEnabled(true);
}

void TNavlet::txt_timerTimer() {
    txt_timer.SetEnabled(false);
    Edit1.SetFontColor(clWindowText);
}

void TNavlet::Edit1Enter() {
    if (Edit1.FontColor() != clGray)
        return;
    Edit1.SetText("");
    Edit1.SetFontColor(clBlack);
}

void TNavlet::ConsoleText(const std::string& text) {
    AddConsoleText(text);
}

} // namespace navlet
