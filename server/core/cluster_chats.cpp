// Private chats and invitations when the members are
// sessions on different nodes of a cluster. Each node with members keeps the
// chat: its own sessions, and the other members by node. Changes travel as
// messages to the nodes of the other members; they come from other
// processes: the codec checked every field, and each message is held here
// against this node's own view of the chat.
#include <algorithm>
#include <set>

#include "protocol/messages.h"
#include "server/core/chat_desk.h"
#include "server/core/wire.h"

namespace navlet::server {
namespace {

TWireRef MemberWire(uint64_t user, ChatId chat, uint8_t type) {
    TPacket p;
    ClearPacket(p);
    return EncodeWire(p, WriteMember(p, TMemberMsg{MakeChatAddress(user, chat)}), type);
}

bool OnSite(const TAccountEntry& entry, const TSite* site) {
    return std::any_of(entry.sessions.begin(), entry.sessions.end(),
                       [&](const TClient* s) { return s->site == site; });
}

} // namespace

// The invitee's most recently active session on the inviter's site, here or
// through another node; else its most recently active session anywhere.
void TChatDesk::RouteInvite(TClient& client, ChatId chatId, uint64_t inviteeId) {
    TSite& site = *client.site;
    TAccountEntry* invitee = directory.CachedById(inviteeId);
    std::set<std::string> remoteOnSite = sites.NodesOn(site, inviteeId);
    bool hereOnSite = invitee && OnSite(*invitee, &site);
    if (hereOnSite && remoteOnSite.empty()) {
        InviteHere(client, chatId, *InvitedSession(*invitee, &site));
        return;
    }
    std::weak_ptr<bool> desk = alive;
    uint64_t serial = client.serial;
    link->WhereIs(inviteeId, [this, desk, serial, chatId, inviteeId, hereOnSite,
                              remoteOnSite](std::vector<TNodeSessions> nodes) {
        if (desk.expired())
            return;
        TClient* inviter = directory.LiveClient(serial);
        if (!inviter || !inviter->site || !MayInvite(*inviter, chatId, inviteeId))
            return; // things changed while Redis answered
        TAccountEntry* entry = directory.CachedById(inviteeId);
        bool onSite = hereOnSite || !remoteOnSite.empty();
        TClient* local = nullptr;
        if (entry && entry->Online())
            local = onSite ? InvitedSession(*entry, inviter->site) : entry->MostRecent();
        if (local && onSite && local->site != inviter->site)
            local = nullptr; // its sessions here left the site meanwhile
        const TNodeSessions* latest = nullptr;
        for (const TNodeSessions& node : nodes)
            if (node.count > 0 && (!onSite || remoteOnSite.count(node.node)) &&
                (!latest || node.latestUs > latest->latestUs))
                latest = &node;
        if (local && (!latest || local->activeUs >= latest->latestUs)) {
            InviteHere(*inviter, chatId, *local);
            return;
        }
        if (latest)
            InviteThere(*inviter, chatId, inviteeId, latest->node);
        else
            NotJoined(*inviter, chatId, inviteeId);
    });
}

// The invitee's node picks its session and tells every member's node.
void TChatDesk::InviteThere(TClient& client, ChatId chatId, uint64_t inviteeId,
                            const std::string& node) {
    TPrivateChat& chat = OpenChat(client, chatId);
    std::string self = link->Status().nodeId;
    cluster::TInvite invite{chatId,
                            client.Id(),
                            std::string(sites.HostOf(client.site)),
                            {{client.Id(), self}},
                            inviteeId};
    for (TClient* member : chat.members)
        if (member != &client)
            invite.members.push_back({member->Id(), self});
    for (const TRemoteMember& member : chat.remote)
        invite.members.push_back({member.user, member.node});
    std::weak_ptr<bool> desk = alive;
    link->ToNode(node, invite,
                 [this, desk, serial = client.serial, chatId, inviteeId](bool delivered) {
                     if (desk.expired() || delivered)
                         return;
                     if (TClient* inviter = directory.LiveClient(serial))
                         NotJoined(*inviter, chatId, inviteeId);
                 });
}

void TChatDesk::NotJoined(TClient& inviter, ChatId chatId, uint64_t inviteeId) {
    auto it = chats.find(chatId);
    if (it != chats.end() && HasMember(it->second, inviteeId))
        return; // it came in another way meanwhile
    inviter.sink.Deliver(MemberWire(inviteeId, chatId, MSG_MEMBER_LEFT));
}

void TChatDesk::RemoteInviteFailed(const cluster::TInviteFailed& m) {
    auto it = chats.find(m.chat);
    if (it == chats.end())
        return;
    for (TClient* member : it->second.members)
        if (member->Id() == m.inviter) {
            NotJoined(*member, m.chat, m.invitee);
            return;
        }
}

void TChatDesk::ToChatNodes(const TPrivateChat& chat, const cluster::TNodeMessage& message) {
    std::set<std::string> nodes;
    for (const TRemoteMember& member : chat.remote)
        if (nodes.insert(member.node).second)
            link->ToNode(member.node, message);
}

// The inviter comes first among the members, on the sending node.
void TChatDesk::RemoteInvite(const std::string& from, const cluster::TInvite& m) {
    const ChatId chatId = m.chat;
    const uint64_t inviterId = m.inviter, inviteeId = m.invitee;
    if (m.members.empty() || m.members.front().user != inviterId || m.members.front().node != from)
        return;
    TAccountEntry* entry = directory.CachedById(inviteeId);
    // Gone meanwhile, or not hearing the inviter: the invitation has nobody
    // to open a tab for.
    if (!entry || !entry->Online() || !entry->Hears(inviterId)) {
        link->ToNode(from, cluster::TInviteFailed{chatId, inviterId, inviteeId});
        return;
    }
    TClient* invitee = nullptr;
    for (TClient* session : entry->sessions)
        if (session->site && sites.HostOf(session->site) == m.host &&
            (!invitee || session->lastActive > invitee->lastActive))
            invitee = session;
    if (!invitee)
        invitee = entry->MostRecent();
    auto it = chats.find(chatId);
    if (it != chats.end() && HasMember(it->second, inviteeId))
        return;
    if (it == chats.end())
        it = chats.emplace(chatId, TPrivateChat{chatId, {}, {}}).first;
    TPrivateChat& chat = it->second;
    std::string self = link->Status().nodeId;
    for (const cluster::TChatMember& member : m.members)
        if (member.node != self && !HasMember(chat, member.user))
            chat.remote.push_back(TRemoteMember{member.user, member.node});
    invitee->sink.Deliver(MemberWire(inviterId, chatId, MSG_MEMBER_JOINED));
    for (TClient* member : chat.members)
        invitee->sink.Deliver(MemberWire(member->Id(), chatId, MSG_MEMBER_JOINED));
    for (const TRemoteMember& member : chat.remote)
        if (member.user != inviterId)
            invitee->sink.Deliver(MemberWire(member.user, chatId, MSG_MEMBER_JOINED));
    TWireRef joined = MemberWire(inviteeId, chatId, MSG_MEMBER_JOINED);
    for (TClient* member : chat.members)
        member->sink.Deliver(joined);
    chat.members.push_back(invitee);
    chat.Joined(invitee->Id());
    invitee->Aside().chats.push_back(chatId);
    ToChatNodes(chat, cluster::TChatJoined{chatId, inviteeId});
}

void TChatDesk::RemoteJoined(const std::string& from, const cluster::TChatJoined& m) {
    const ChatId chatId = m.chat;
    const uint64_t user = m.user;
    auto it = chats.find(chatId);
    if (it == chats.end() || HasMember(it->second, user))
        return;
    it->second.remote.push_back(TRemoteMember{user, from});
    TWireRef joined = MemberWire(user, chatId, MSG_MEMBER_JOINED);
    for (TClient* member : it->second.members)
        member->sink.Deliver(joined);
}

TPrivateChat* TChatDesk::ChatOfRemote(ChatId chatId, uint64_t user, const std::string& node) {
    auto it = chats.find(chatId);
    if (it == chats.end())
        return nullptr;
    const auto& remote = it->second.remote;
    bool member = std::any_of(remote.begin(), remote.end(), [&](const TRemoteMember& r) {
        return r.user == user && r.node == node;
    });
    return member ? &it->second : nullptr;
}

// Only a member on the sending node speaks.
void TChatDesk::RemoteChatLine(const std::string& from, const cluster::TChatLine& m) {
    TPrivateChat* chat = ChatOfRemote(m.chat, m.sender, from);
    if (!chat)
        return;
    TCodedLine line(MakeChatAddress(m.sender, m.chat), m.text);
    for (TClient* member : chat->members)
        if (member->account->Hears(m.sender))
            member->sink.Deliver(line.For(member->textCode));
    chat->said.Keep(m.sender, clock.NowUtcDays(), 0, m.text);
}

// When the member left its site as well, this node's members on that site
// hear "user left" from the site (it follows on the site's channel) instead.
void TChatDesk::RemoteChatLeft(const std::string& from, const cluster::TChatLeft& m) {
    const uint64_t user = m.user;
    TPrivateChat* chat = ChatOfRemote(m.chat, user, from);
    if (!chat)
        return;
    std::erase_if(chat->remote,
                  [&](const TRemoteMember& r) { return r.user == user && r.node == from; });
    bool leavesSite = m.leavesSite;
    TWireRef left = MemberWire(user, m.chat, MSG_MEMBER_LEFT);
    for (TClient* member : chat->members) {
        TSite* site = member->site;
        if (leavesSite && site && sites.HostOf(site) == m.host &&
            !sites.PresentBesides(*site, user, from))
            continue;
        member->sink.Deliver(left);
    }
}

void TChatDesk::DropRemoteMembers(const std::string& node) {
    for (auto& [chatId, chat] : chats) {
        std::vector<uint64_t> gone;
        std::erase_if(chat.remote, [&](const TRemoteMember& m) {
            if (!node.empty() && m.node != node)
                return false;
            gone.push_back(m.user);
            return true;
        });
        for (uint64_t user : gone) {
            TWireRef left = MemberWire(user, chatId, MSG_MEMBER_LEFT);
            for (TClient* member : chat.members)
                member->sink.Deliver(left);
        }
    }
}

} // namespace navlet::server
