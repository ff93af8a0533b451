// Public lines of a site and private chats.
#include "server/core/service.h"

#include <algorithm>

namespace navlet::server {

bool ReadsLanguage(uint32_t mask, int language) {
    int bit = (language >= 1 && language <= MAX_LANGUAGE) ? language - 1 : 31;
    return (mask >> bit) & 1u;
}

namespace {

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) <= ' '; });
}

bool Contains(const std::vector<TClient*>& members, const TClient* client) {
    return std::find(members.begin(), members.end(), client) != members.end();
}

} // namespace

void TService::ChatText(TClient& client, const TChatTextRequest& request) {
    if (IsBlank(request.text))
        return;
    if (!client.chatBudget.Take(clock.NowMs(), config.chatPerSecond, config.chatBurst))
        return; // over the rate: dropped
    ChatId chat = request.address.Chat();
    if (chat == 0) {
        PublicLine(client, request.text);
        return;
    }
    PrivateLine(client, chat, request.text);
}

void TService::PublicLine(TClient& client, const std::string& text) {
    TSite* site = client.site;
    if (!site)
        return;
    const TAccount& sender = client.account->account;
    TPacket p;
    ClearPacket(p);
    TChatLineMsg line;
    line.address = MakeChatAddress(sender.id, 0);
    line.text = text;
    int length = WriteChatLine(p, line);
    TWireRef wire = EncodeWire(p, length, MSG_CHAT_LINE);
    for (TClient* other : site->users) {
        if (other != &client && ReadsLanguage(other->languageMask, sender.language))
            other->sink.Deliver(wire);
    }
    if (cluster)
        cluster->PublicLine(site->host, sender.id, sender.language, sender.nick, text);
    site->recent.push_back(TPublicLine{clock.NowUtcDays(), sender.nick, text, sender.language});
    while (site->recent.size() > config.recentLines)
        site->recent.pop_front();
}

void TService::PrivateLine(TClient& client, ChatId chat, const std::string& text) {
    auto it = chats.find(chat);
    if (it == chats.end() || !Contains(it->second.members, &client))
        return; // not a member: nothing to say there
    TPacket p;
    ClearPacket(p);
    TChatLineMsg line;
    line.address = MakeChatAddress(client.Id(), chat);
    line.text = text;
    int length = WriteChatLine(p, line);
    TWireRef wire = EncodeWire(p, length, MSG_CHAT_LINE);
    for (TClient* member : it->second.members)
        if (member != &client)
            member->sink.Deliver(wire);
}

// The invitee learns the inviter first, then the other members; every member
// learns the invitee.
void TService::Invite(TClient& client, const ChatAddress& address) {
    ChatId chatId = address.Chat();
    if (!IsPrivateChat(chatId))
        return;
    auto inviteeEntry = accounts.find(address.User());
    TClient* invitee = inviteeEntry == accounts.end() ? nullptr : inviteeEntry->second.online;
    if (!invitee || invitee == &client || !client.site || invitee->site != client.site)
        return;
    auto it = chats.find(chatId);
    if (it == chats.end()) {
        // Only the holder of the key in the chat's upper bits may open it.
        if ((chatId >> 8) != client.chatKey)
            return;
        it = chats.emplace(chatId, TPrivateChat{chatId, {&client}}).first;
        client.chats.push_back(chatId);
    }
    TPrivateChat& chat = it->second;
    if (!Contains(chat.members, &client) || Contains(chat.members, invitee))
        return;
    TPacket p;
    ClearPacket(p);
    Send(*invitee, p, WriteMember(p, TMemberMsg{MakeChatAddress(client.Id(), chatId)}),
         MSG_MEMBER_JOINED);
    for (TClient* member : chat.members) {
        if (member == &client)
            continue;
        ClearPacket(p);
        Send(*invitee, p, WriteMember(p, TMemberMsg{MakeChatAddress(member->Id(), chatId)}),
             MSG_MEMBER_JOINED);
    }
    ClearPacket(p);
    int length = WriteMember(p, TMemberMsg{MakeChatAddress(invitee->Id(), chatId)});
    TWireRef joined = EncodeWire(p, length, MSG_MEMBER_JOINED);
    for (TClient* member : chat.members)
        member->sink.Deliver(joined);
    chat.members.push_back(invitee);
    invitee->chats.push_back(chatId);
}

void TService::LeaveChat(TClient& client, ChatId chatId, bool tellOthers) {
    auto it = chats.find(chatId);
    if (it == chats.end() || !Contains(it->second.members, &client))
        return;
    TPrivateChat& chat = it->second;
    std::erase(chat.members, &client);
    std::erase(client.chats, chatId);
    if (chat.members.empty()) {
        chats.erase(it);
        return;
    }
    if (!tellOthers)
        return;
    TPacket p;
    ClearPacket(p);
    int length = WriteMember(p, TMemberMsg{MakeChatAddress(client.Id(), chatId)});
    TWireRef left = EncodeWire(p, length, MSG_MEMBER_LEFT);
    for (TClient* member : chat.members)
        member->sink.Deliver(left);
}

// Every member of a private chat is on one site, so the "user left" that the
// site hears already takes the leaver out of the members' chats.
void TService::LeaveAllChats(TClient& client) {
    std::vector<ChatId> joined = client.chats;
    for (ChatId chat : joined)
        LeaveChat(client, chat, /*tellOthers=*/false);
}

} // namespace navlet::server
