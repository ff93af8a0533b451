#include "server/core/chat_desk.h"

#include <algorithm>

#include <sodium.h>

#include "protocol/messages.h"
#include "server/core/wire.h"

namespace navlet::server {

bool HasMember(const TPrivateChat& chat, uint64_t userId) {
    return std::any_of(chat.members.begin(), chat.members.end(),
                       [&](const TClient* m) { return m->Id() == userId; }) ||
           std::any_of(chat.remote.begin(), chat.remote.end(),
                       [&](const TRemoteMember& m) { return m.user == userId; });
}

namespace {

bool Contains(const std::vector<TClient*>& members, const TClient* client) {
    return std::find(members.begin(), members.end(), client) != members.end();
}

void Send(TClient& client, TPacket& packet, int length, uint8_t type) {
    client.sink.Deliver(EncodeWire(packet, length, type));
}

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) <= ' '; });
}

uint64_t FreshChatKey() {
    uint64_t key = 0;
    while (key == 0) { // 0 would mark the record as somebody else's
        randombytes_buf(&key, sizeof key);
        key &= (uint64_t(1) << 56) - 1;
    }
    return key;
}

} // namespace

TChatDesk::TChatDesk(TDirectory& directory, TChatSites& sites, TClusterLink& link,
                     const TClock& clock, TLimits limits)
    : directory(directory), sites(sites), link(&link), clock(clock), limits(limits),
      alive(std::make_shared<bool>(true)) {
    if (sodium_init() < 0) {
        // randombytes falls back to its own source.
    }
}

TChatDesk::~TChatDesk() {
    *alive = false;
}

void TChatDesk::SignedIn(TClient& client) {
    client.chatKey = FreshChatKey();
}

void TChatDesk::Say(TClient& client, TChatTextRequest request) {
    if (IsBlank(request.text))
        return;
    if (!client.account->chatBudget.Take(clock.NowMs(), limits.linesPerSecond, limits.lineBurst))
        return; // over the rate: dropped
    // Blanked once here: the other nodes and the site's recent lines get
    // what this node's bars get. In place: the request's text is the line's
    // only copy on this node until the site keeps it.
    TextFromSession(client.textCode, request.text);
    BlankControlsIn(request.text);
    const std::string& text = request.text;
    ChatId chat = request.address.Chat();
    if (chat == 0) {
        sites.PublicLine(client, text);
        return;
    }
    PrivateLine(client, chat, text);
}

void TChatDesk::PrivateLine(TClient& client, ChatId chat, const std::string& text) {
    auto it = chats.find(chat);
    if (it == chats.end() || !Contains(it->second.members, &client))
        return; // not a member: nothing to say there
    TCodedLine line(MakeChatAddress(client.Id(), chat), text);
    for (TClient* member : it->second.members)
        if (member != &client && member->account->Hears(client.Id()))
            member->sink.Deliver(line.For(member->textCode));
    it->second.said.Keep(client.Id(), clock.NowUtcDays(), 0, text);
    if (!it->second.remote.empty())
        ToChatNodes(it->second, cluster::TChatLine{chat, client.Id(), text});
}

TClient* TChatDesk::InvitedSession(const TAccountEntry& invitee, const TSite* site) {
    TClient* onSite = nullptr;
    for (TClient* session : invitee.sessions)
        if (session->site == site && (!onSite || session->lastActive > onSite->lastActive))
            onSite = session;
    return onSite ? onSite : invitee.MostRecent();
}

void TChatDesk::Invite(TClient& client, const ChatAddress& address) {
    ChatId chatId = address.Chat();
    // The bar numbers its chats from 1: number 0 under a key is no chat of it.
    if (!IsPrivateChat(chatId) || (chatId & 0xFF) == 0 || !client.site)
        return;
    uint64_t inviteeId = address.User();
    // The invitee may be signed in on another node only, or nowhere: the
    // route finds out, and the inviter hears when nobody took it.
    if (inviteeId == client.Id() || !MayInvite(client, chatId, inviteeId))
        return;
    // Invitations open tabs on the invitee's screen: they have a budget of their own.
    if (!client.Aside().inviteBudget.Take(clock.NowMs(), limits.invitesPerSecond,
                                          limits.inviteBurst))
        return;
    // Blocked either way, or ignored by an invitee here: the inviter hears
    // what it would of an invitee gone (one elsewhere refuses on its node).
    const TAccountEntry* invitee = directory.CachedById(inviteeId);
    if (!client.account->Sees(inviteeId) ||
        (invitee && invitee->Online() && !invitee->Hears(client.Id()))) {
        NotJoined(client, chatId, inviteeId);
        return;
    }
    RouteInvite(client, chatId, inviteeId);
}

bool TChatDesk::MayInvite(TClient& client, ChatId chatId, uint64_t inviteeId) const {
    auto it = chats.find(chatId);
    if (it == chats.end())
        return (chatId >> 8) == client.chatKey; // only the key's holder may open it
    return Contains(it->second.members, &client) && !HasMember(it->second, inviteeId);
}

TPrivateChat& TChatDesk::OpenChat(TClient& client, ChatId chatId) {
    auto it = chats.find(chatId);
    if (it != chats.end())
        return it->second;
    client.Aside().chats.push_back(chatId);
    TPrivateChat& chat = chats.emplace(chatId, TPrivateChat{chatId, {&client}, {}}).first->second;
    chat.Joined(client.Id());
    return chat;
}

// The invitee learns the inviter first, then the other members; every member
// learns the invitee.
void TChatDesk::InviteHere(TClient& client, ChatId chatId, TClient& invitee) {
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
    chat.Joined(invitee.Id());
    invitee.Aside().chats.push_back(chatId);
    if (!chat.remote.empty())
        ToChatNodes(chat, cluster::TChatJoined{chatId, invitee.Id()});
}

void TChatDesk::LeaveChat(TClient& client, ChatId chatId, bool tellOthers) {
    auto it = chats.find(chatId);
    if (it == chats.end() || !Contains(it->second.members, &client))
        return;
    TPrivateChat& chat = it->second;
    if (tellOthers && !chat.remote.empty())
        ToChatNodes(chat, cluster::TChatLeft{chatId, client.Id(), "", false});
    std::erase(chat.members, &client);
    if (client.aside)
        std::erase(client.aside->chats, chatId);
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

void TChatDesk::LeaveChatsWith(TClient& client, uint64_t other) {
    std::vector<ChatId> joined = client.Chats();
    for (ChatId chatId : joined) {
        auto it = chats.find(chatId);
        if (it != chats.end() && HasMember(it->second, other))
            LeaveChat(client, chatId, /*tellOthers=*/true);
    }
}

void TChatDesk::LeaveAllChats(TClient& client, const TSite* site, bool accountLeavesSite) {
    std::vector<ChatId> joined = client.Chats();
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
                        cluster::TChatLeft{chatId, client.Id(), std::string(sites.HostOf(site)),
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

void TChatDesk::SaidTo(const TClient& client, uint64_t sender,
                       std::vector<TQuotedLine>& out) const {
    if (!client.account->Hears(sender))
        return; // its lines were dropped for the client
    for (ChatId id : client.Chats()) {
        auto it = chats.find(id);
        if (it == chats.end())
            continue;
        it->second.said.ForEachOf(sender, it->second.JoinedAt(client.Id()),
                                  [&](const TSaidLine& line) {
                                      out.push_back(TQuotedLine{line.stamp, "private", line.text});
                                  });
    }
}

} // namespace navlet::server
