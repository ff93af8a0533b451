// Public lines of a site and private chats.
#include "server/core/service.h"

#include <algorithm>

namespace navlet::server {

bool HasMember(const TPrivateChat& chat, uint64_t userId) {
    return std::any_of(chat.members.begin(), chat.members.end(),
                       [&](const TClient* m) { return m->Id() == userId; }) ||
           std::any_of(chat.remote.begin(), chat.remote.end(),
                       [&](const TRemoteMember& m) { return m.user == userId; });
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
        siteDesk.PublicLine(client, request.text);
        return;
    }
    PrivateLine(client, chat, request.text);
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
    if (!it->second.remote.empty())
        ToChatNodes(it->second, cluster::TChatLine{chat, client.Id(), text});
}

TClient* TService::InvitedSession(const TAccountEntry& invitee, const TSite* site) {
    TClient* onSite = nullptr;
    for (TClient* session : invitee.sessions)
        if (session->site == site && (!onSite || session->lastActive > onSite->lastActive))
            onSite = session;
    return onSite ? onSite : invitee.MostRecent();
}

void TService::Invite(TClient& client, const ChatAddress& address) {
    ChatId chatId = address.Chat();
    // The bar numbers its chats from 1: number 0 under a key is no chat of it.
    if (!IsPrivateChat(chatId) || (chatId & 0xFF) == 0 || !client.site)
        return;
    uint64_t inviteeId = address.User();
    TAccountEntry* invitee = CachedById(inviteeId);
    // On a cluster the invitee may be signed in on another node only.
    if (inviteeId == client.Id() || (!cluster && (!invitee || !invitee->Online())))
        return;
    if (!MayInvite(client, chatId, inviteeId))
        return;
    // Invitations open tabs on the invitee's screen: they have a budget of their own.
    if (!client.inviteBudget.Take(clock.NowMs(), config.invitesPerSecond, config.inviteBurst))
        return;
    if (cluster) {
        RouteInvite(client, chatId, inviteeId);
        return;
    }
    InviteHere(client, chatId, *InvitedSession(*invitee, client.site));
}

bool TService::MayInvite(TClient& client, ChatId chatId, uint64_t inviteeId) const {
    auto it = chats.find(chatId);
    if (it == chats.end())
        return (chatId >> 8) == client.chatKey; // only the key's holder may open it
    return Contains(it->second.members, &client) && !HasMember(it->second, inviteeId);
}

TPrivateChat& TService::OpenChat(TClient& client, ChatId chatId) {
    auto it = chats.find(chatId);
    if (it != chats.end())
        return it->second;
    client.chats.push_back(chatId);
    return chats.emplace(chatId, TPrivateChat{chatId, {&client}, {}}).first->second;
}

// The invitee learns the inviter first, then the other members; every member
// learns the invitee.
void TService::InviteHere(TClient& client, ChatId chatId, TClient& invitee) {
    TPrivateChat& chat = OpenChat(client, chatId);
    if (HasMember(chat, invitee.Id()))
        return;
    TPacket p;
    ClearPacket(p);
    Send(invitee, p, WriteMember(p, TMemberMsg{MakeChatAddress(client.Id(), chatId)}),
         MSG_MEMBER_JOINED);
    std::vector<UserId> others;
    for (TClient* member : chat.members)
        if (member != &client)
            others.push_back(member->Id());
    for (const TRemoteMember& member : chat.remote)
        others.push_back(member.user);
    for (UserId other : others) {
        ClearPacket(p);
        Send(invitee, p, WriteMember(p, TMemberMsg{MakeChatAddress(other, chatId)}),
             MSG_MEMBER_JOINED);
    }
    ClearPacket(p);
    int length = WriteMember(p, TMemberMsg{MakeChatAddress(invitee.Id(), chatId)});
    TWireRef joined = EncodeWire(p, length, MSG_MEMBER_JOINED);
    for (TClient* member : chat.members)
        member->sink.Deliver(joined);
    chat.members.push_back(&invitee);
    invitee.chats.push_back(chatId);
    if (!chat.remote.empty())
        ToChatNodes(chat, cluster::TChatJoined{chatId, invitee.Id()});
}

void TService::LeaveChat(TClient& client, ChatId chatId, bool tellOthers) {
    auto it = chats.find(chatId);
    if (it == chats.end() || !Contains(it->second.members, &client))
        return;
    TPrivateChat& chat = it->second;
    if (tellOthers && !chat.remote.empty())
        ToChatNodes(chat, cluster::TChatLeft{chatId, client.Id(), "", false});
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

void TService::LeaveAllChats(TClient& client, const TSite* site, bool accountLeavesSite) {
    std::vector<ChatId> joined = client.chats;
    if (joined.empty())
        return;
    TPacket p;
    for (ChatId chatId : joined) {
        auto it = chats.find(chatId);
        if (it == chats.end())
            continue;
        std::vector<TClient*> others = it->second.members;
        std::erase(others, &client);
        if (!it->second.remote.empty())
            ToChatNodes(it->second,
                        cluster::TChatLeft{chatId, client.Id(), site ? site->host : std::string(),
                                           accountLeavesSite});
        LeaveChat(client, chatId, /*tellOthers=*/false);
        ClearPacket(p);
        int length = WriteMember(p, TMemberMsg{MakeChatAddress(client.Id(), chatId)});
        TWireRef left = EncodeWire(p, length, MSG_MEMBER_LEFT);
        // The "user left" that the site hears takes the leaver out of its
        // members' chats; the others hear it from the chat.
        for (TClient* member : others)
            if (!accountLeavesSite || member->site != site)
                member->sink.Deliver(left);
    }
}

} // namespace navlet::server
