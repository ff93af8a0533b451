#include "tools/chatbot/bot_session.h"

#include <algorithm>

#include "protocol/messages.h"
#include "protocol/requests.h"

namespace navlet::chatbot {

namespace {

// Every language and the others: the bot hears every public line of its site.
constexpr uint32_t ALL_LANGUAGES = 0x80001FFF;
constexpr char BOT_VERSION[] = "1.4.0.0";
constexpr uint8_t LAST_CHAT_NUMBER = 255;
constexpr size_t MAX_KEPT = 100; // invitations, answers and notices, each

std::string Wire(TPacket& packet, int length, uint8_t type) {
    EncodePacket(packet, length, type, NextKeyOffset());
    return std::string(reinterpret_cast<const char*>(packet.bytes), size_t(length));
}

template <typename T> void KeepBounded(std::vector<T>& list, T value) {
    if (list.size() < MAX_KEPT)
        list.push_back(std::move(value));
}

} // namespace

TBotSession::TBotSession(std::string nick, std::string password, std::string site)
    : nick(std::move(nick)), password(std::move(password)), site(std::move(site)) {}

std::string TBotSession::LoginBytes(uint32_t msSinceMidnight) const {
    TPacket packet;
    ClearPacket(packet);
    const int length = BuildLogin(packet, nick, password, BOT_VERSION, site, ALL_LANGUAGES,
                                  LoginStamp(msSinceMidnight));
    return Wire(packet, length, REQ_LOGIN);
}

std::string TBotSession::PublicLineBytes(std::string_view text) const {
    return PrivateLineBytes(/*chat=*/0, text);
}

std::string TBotSession::NewPrivateChatBytes(UserId user, ChatId& chat) {
    if (chatsMade == LAST_CHAT_NUMBER)
        return {};
    chat = chatKey << 8 | ++chatsMade;
    TPacket packet;
    ClearPacket(packet);
    return Wire(packet, BuildInvite(packet, MakeChatAddress(user, chat)), REQ_INVITE);
}

std::string TBotSession::PrivateLineBytes(ChatId chat, std::string_view text) const {
    TPacket packet;
    ClearPacket(packet);
    return Wire(packet, BuildChatText(packet, MakeChatAddress(myId, chat), text), REQ_CHAT_TEXT);
}

std::string TBotSession::CallBytes(std::string_view callee, std::string_view message) const {
    TPacket packet;
    ClearPacket(packet);
    return Wire(packet, BuildFindUserWithMessage(packet, callee, message),
                REQ_FIND_USER_WITH_MESSAGE);
}

void TBotSession::Take(const TPacket& packet) {
    switch (packet.Type()) {
    case MSG_END_SESSION:
        ended = true;
        return;
    case MSG_PRESENCE:
        TakePresence(packet);
        return;
    case MSG_USER_LEFT:
        onSite.erase(ReadUserLeft(packet).user);
        return;
    case MSG_CHAT_LINE:
        TakeChatLine(packet);
        return;
    case MSG_DATED_LINE: {
        TDatedLineMsg dated = ReadDatedLine(packet);
        Keep({/*sender=*/0, /*chat=*/0, std::move(dated.nick), std::move(dated.text)});
        return;
    }
    case MSG_MEMBER_JOINED:
        TakeMember(packet);
        return;
    case MSG_SEARCH_ANSWER: {
        TSearchAnswerMsg answer = ReadSearchAnswer(packet);
        if (searchAnswers.size() == MAX_KEPT)
            searchAnswers.erase(searchAnswers.begin());
        searchAnswers.push_back({++answersReceived, std::move(answer.nick), answer.result});
        return;
    }
    default:
        return; // banners, calls, updates: nothing a script waits for
    }
}

void TBotSession::TakePresence(const TPacket& packet) {
    TPresenceMsg presence = ReadPresence(packet);
    if (presence.user == 0)
        return;
    // Only this user's own record carries a chat key.
    if (presence.chatKey != 0 && chatKey == 0) {
        myId = presence.user;
        chatKey = presence.chatKey;
    }
    if (known.size() < MAX_KNOWN_USERS || known.count(presence.nick))
        known[presence.nick] = presence.user;
    if (presence.listFlag == 0 && onSite.size() < MAX_KNOWN_USERS)
        onSite[presence.user] = presence.nick;
}

void TBotSession::TakeChatLine(const TPacket& packet) {
    TChatLineMsg line = ReadChatLine(packet);
    if (line.command != CHAT_PLAIN)
        return;
    const UserId sender = line.address.User();
    if (sender == 0) {
        KeepBounded(notices, std::move(line.text));
        return;
    }
    Keep({sender, line.address.Chat(), NickOf(sender), std::move(line.text)});
}

void TBotSession::TakeMember(const TPacket& packet) {
    const ChatAddress address = ReadMember(packet).address;
    const ChatId chat = address.Chat();
    if (!IsPrivateChat(chat) || chat >> 8 == chatKey)
        return; // a chat of this user's own making
    const bool seen = std::any_of(invitations.begin(), invitations.end(),
                                  [chat](const TInvitation& i) { return i.chat == chat; });
    // The invitee hears of the inviter first, then of the other members.
    if (!seen)
        KeepBounded(invitations, TInvitation{address.User(), chat});
}

void TBotSession::Keep(TReceivedLine line) {
    if (lines.size() == MAX_LINES)
        lines.erase(lines.begin());
    lines.push_back(std::move(line));
}

std::string TBotSession::NickOf(UserId user) const {
    for (const auto& [name, id] : known)
        if (id == user)
            return name;
    return {};
}

UserId TBotSession::UserOnSite(std::string_view who) const {
    for (const auto& [id, name] : onSite)
        if (name == who)
            return id;
    return 0;
}

UserId TBotSession::KnownUser(std::string_view who) const {
    auto it = known.find(who);
    return it == known.end() ? 0 : it->second;
}

} // namespace navlet::chatbot
