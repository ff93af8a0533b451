// TEMPORARY: the chats side's handlers, as far as the session side needs them
// until that branch lands. Delete this file and the "Pending" block of
// navlet.h at the merge.
#include "client/core/navlet.h"

namespace navlet {

namespace {
constexpr ChatId CONSOLE_CHAT = 0x400;
}

void TNavlet::PresenceRecord(const TPresenceMsg& m) {
    if (m.chatKey == 0) {
        lvUsers.Add(TListItem{m.nick, 0, m.user});
        SignalNews();
        return;
    }
    lvUsers.Add(TListItem{m.nick, 0, m.user}); // the own entry is listed too
    ++loginCount;
    if (!loggedIn)
        PostMsg(mkStatus, 0, "You're connected");
    loggedIn = true;
    myUserId = m.user;
    myChatKey = m.chatKey;
    myNick = m.nick;
    SetBtnGlyph(LEDBtn, glLedSignedIn);
    SetBannerMode(bmDefault);
    upd_timerTimer();
}

void TNavlet::UserLeftSite(const TUserLeftMsg& m) {
    for (int i = 0; i < lvUsers.Count(); ++i)
        if (lvUsers.Item(i).data == m.user)
            lvUsers.Delete(i--);
}
void TNavlet::ChatLineReceived(const TChatLineMsg&) {}
void TNavlet::MemberJoined(const TMemberMsg&) {}
void TNavlet::MemberLeft(const TMemberMsg&) {}
void TNavlet::DatedLineReceived(const TDatedLineMsg&) {
    SetBtnGlyph(LEDBtn, glLedNews);
}
void TNavlet::SearchAnswerReceived(const TSearchAnswerMsg&) {}
void TNavlet::LookingForYouReceived(const TLookingForYouMsg&) {}

void TNavlet::AppendLine(bool, UserId, ChatId chat, const std::string& text, double,
                         const std::string&) {
    if (chat == CONSOLE_CHAT)
        ConsoleText(text);
}

void TNavlet::ResetPresence() {
    lvUsers.Clear();
}

void TNavlet::ClearPeopleLists() {
    lvUsers.Clear();
}

void TNavlet::ConsoleText(const std::string& text) {
    pendingConsoleLines.push_back(text);
}

void TNavlet::sbSendTxtClick() {}

} // namespace navlet
