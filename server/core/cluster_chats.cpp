// Private chats, invitations and the window bound when the members are
// sessions on different nodes of a cluster. Each node with members keeps the
// chat: its own sessions, and the other members by node. Changes travel as
// messages to the nodes of the other members; they come from other
// processes, so every field is checked before use.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "server/core/service.h"

namespace navlet::server {
namespace {

constexpr size_t MAX_REMOTE_TEXT = 1024;
constexpr size_t MAX_LISTED_MEMBERS = 64;

// Decimal digits only, within 64 bits (a chat id may take all 20 digits).
bool ParseNumber(const std::string& text, uint64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseUser(const std::string& text, uint64_t& out) {
    return ParseNumber(text, out) && out != 0;
}

bool ParseChat(const std::string& text, ChatId& out) {
    uint64_t value = 0;
    if (!ParseNumber(text, value) || !IsPrivateChat(value) || (value & 0xFF) == 0)
        return false;
    out = value;
    return true;
}

bool IsNodeId(const std::string& text) {
    return !text.empty() && text.size() <= 32 &&
           text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "ID" for a member on the sending node, "ID@NODE" for one elsewhere.
bool ParseMembers(const std::string& text, const std::string& sender,
                  std::vector<TRemoteMember>& out) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(at, end - at);
        size_t mark = item.find('@');
        TRemoteMember member;
        member.node = mark == std::string::npos ? sender : item.substr(mark + 1);
        if (!ParseUser(item.substr(0, mark), member.user) || !IsNodeId(member.node) ||
            out.size() >= MAX_LISTED_MEMBERS)
            return false;
        out.push_back(member);
        at = end + 1;
    }
    return !out.empty();
}

TWireRef MemberWire(uint64_t user, ChatId chat, uint8_t type) {
    TPacket p;
    ClearPacket(p);
    return EncodeWire(p, WriteMember(p, TMemberMsg{MakeChatAddress(user, chat)}), type);
}

} // namespace

int64_t TService::WallUs() const {
    return std::llround((clock.NowUtcDays() - UnixToDays(0)) * 86400000000.0);
}

// The invitee's most recently active session on the inviter's site, here or
// through another node; else its most recently active session anywhere.
void TService::RouteInvite(TClient& client, ChatId chatId, uint64_t inviteeId) {
    TSite& site = *client.site;
    TAccountEntry* invitee = CachedById(inviteeId);
    std::set<std::string> remoteOnSite;
    for (const TRemoteUser& user : site.remote)
        if (user.account.id == inviteeId)
            remoteOnSite.insert(user.key.substr(0, user.key.find(':')));
    bool hereOnSite = invitee && PresentOn(*invitee, &site, nullptr);
    if (hereOnSite && remoteOnSite.empty()) {
        InviteHere(client, chatId, *InvitedSession(*invitee, &site));
        return;
    }
    std::weak_ptr<bool> service = alive;
    uint64_t serial = client.serial;
    cluster->WhereIs(inviteeId, [this, service, serial, chatId, inviteeId, hereOnSite,
                                 remoteOnSite](std::vector<TNodeSessions> nodes) {
        if (service.expired())
            return;
        TClient* inviter = LiveClient(serial);
        if (!inviter || !inviter->site || !MayInvite(*inviter, chatId, inviteeId))
            return; // things changed while Redis answered
        TAccountEntry* entry = CachedById(inviteeId);
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
    });
}

// The invitee's node picks its session and tells every member's node.
void TService::InviteThere(TClient& client, ChatId chatId, uint64_t inviteeId,
                           const std::string& node) {
    TPrivateChat& chat = OpenChat(client, chatId);
    std::string members = std::to_string(client.Id());
    for (TClient* member : chat.members)
        if (member != &client)
            members += " " + std::to_string(member->Id());
    for (const TRemoteMember& member : chat.remote)
        members += " " + std::to_string(member.user) + "@" + member.node;
    cluster->ToNode(node, {"invite", std::to_string(chatId), std::to_string(client.Id()),
                           client.site ? client.site->host : std::string(), members,
                           std::to_string(inviteeId)});
}

void TService::ToChatNodes(const TPrivateChat& chat, std::vector<std::string> fields) {
    std::set<std::string> nodes;
    for (const TRemoteMember& member : chat.remote)
        if (nodes.insert(member.node).second)
            cluster->ToNode(member.node, fields);
}

void TService::RemoteEvent(const std::vector<std::string>& f) {
    if (f.size() < 2 || !IsNodeId(f[1]))
        return;
    if (f[0] == "invite" && f.size() == 7)
        RemoteInvite(f);
    else if (f[0] == "joined" && f.size() == 4)
        RemoteJoined(f);
    else if (f[0] == "cline" && f.size() == 5)
        RemoteChatLine(f);
    else if (f[0] == "cleft" && f.size() == 6)
        RemoteChatLeft(f);
    else if (f[0] == "trim" && f.size() == 4)
        RemoteTrim(f);
}

// fields: invite NODE CHAT INVITER HOST MEMBERS INVITEE
void TService::RemoteInvite(const std::vector<std::string>& f) {
    ChatId chatId = 0;
    uint64_t inviterId = 0, inviteeId = 0;
    std::vector<TRemoteMember> listed;
    if (!ParseChat(f[2], chatId) || !ParseUser(f[3], inviterId) || !ParseUser(f[6], inviteeId) ||
        f[4].size() > MAX_REMOTE_TEXT || !ParseMembers(f[5], f[1], listed) ||
        listed.front().user != inviterId || listed.front().node != f[1])
        return;
    TAccountEntry* entry = CachedById(inviteeId);
    if (!entry || !entry->Online())
        return; // gone meanwhile: the invitation has nobody to open a tab for
    TClient* invitee = nullptr;
    for (TClient* session : entry->sessions)
        if (session->site && session->site->host == f[4] &&
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
    std::string self = cluster->Status().nodeId;
    for (const TRemoteMember& member : listed)
        if (member.node != self && !HasMember(chat, member.user))
            chat.remote.push_back(member);
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
    invitee->chats.push_back(chatId);
    ToChatNodes(chat, {"joined", std::to_string(chatId), std::to_string(inviteeId)});
}

// fields: joined NODE CHAT USER
void TService::RemoteJoined(const std::vector<std::string>& f) {
    ChatId chatId = 0;
    uint64_t user = 0;
    if (!ParseChat(f[2], chatId) || !ParseUser(f[3], user))
        return;
    auto it = chats.find(chatId);
    if (it == chats.end() || HasMember(it->second, user))
        return;
    it->second.remote.push_back(TRemoteMember{user, f[1]});
    TWireRef joined = MemberWire(user, chatId, MSG_MEMBER_JOINED);
    for (TClient* member : it->second.members)
        member->sink.Deliver(joined);
}

// fields: cline NODE CHAT SENDER TEXT. Only a member on that node speaks.
void TService::RemoteChatLine(const std::vector<std::string>& f) {
    ChatId chatId = 0;
    uint64_t sender = 0;
    if (!ParseChat(f[2], chatId) || !ParseUser(f[3], sender) || f[4].size() > MAX_REMOTE_TEXT)
        return;
    auto it = chats.find(chatId);
    if (it == chats.end())
        return;
    const auto& remote = it->second.remote;
    if (std::none_of(remote.begin(), remote.end(),
                     [&](const TRemoteMember& m) { return m.user == sender && m.node == f[1]; }))
        return;
    TPacket p;
    ClearPacket(p);
    TChatLineMsg line;
    line.address = MakeChatAddress(sender, chatId);
    line.text = f[4];
    TWireRef wire = EncodeWire(p, WriteChatLine(p, line), MSG_CHAT_LINE);
    for (TClient* member : it->second.members)
        member->sink.Deliver(wire);
}

// fields: cleft NODE CHAT USER HOST LEAVES-SITE. When the member left its
// site as well, this node's members on that site hear "user left" from the
// site (it follows on the site's channel) instead.
void TService::RemoteChatLeft(const std::vector<std::string>& f) {
    ChatId chatId = 0;
    uint64_t user = 0;
    if (!ParseChat(f[2], chatId) || !ParseUser(f[3], user) || f[4].size() > MAX_REMOTE_TEXT)
        return;
    auto it = chats.find(chatId);
    if (it == chats.end())
        return;
    auto& remote = it->second.remote;
    auto known = std::find_if(remote.begin(), remote.end(), [&](const TRemoteMember& m) {
        return m.user == user && m.node == f[1];
    });
    if (known == remote.end())
        return;
    remote.erase(known);
    bool leavesSite = f[5] == "1";
    TWireRef left = MemberWire(user, chatId, MSG_MEMBER_LEFT);
    for (TClient* member : it->second.members) {
        TSite* site = member->site;
        if (leavesSite && site && site->host == f[4]) {
            bool seenElsewhere =
                std::any_of(site->people.begin(), site->people.end(),
                            [&](const TPerson& p) { return p.entry->account.id == user; }) ||
                std::any_of(site->remote.begin(), site->remote.end(), [&](const TRemoteUser& r) {
                    return r.account.id == user && r.key.rfind(f[1] + ":", 0) != 0;
                });
            if (!seenElsewhere)
                continue;
        }
        member->sink.Deliver(left);
    }
}

void TService::DropRemoteMembers(const std::string& node) {
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

void TService::ReportSessions(TAccountEntry& entry) {
    TNodeSessions here;
    here.count = entry.sessions.size();
    for (const TClient* session : entry.sessions) {
        here.oldestUs =
            here.oldestUs == 0 ? session->signedInUs : std::min(here.oldestUs, session->signedInUs);
        here.latestUs = std::max(here.latestUs, session->activeUs);
    }
    cluster->AccountSessions(entry.account.id, here);
}

// Every request: another node compares these when it invites the account.
void TService::NoteActivity(TClient& client) {
    client.activeUs = WallUs();
    ReportSessions(*client.account);
}

// Every node bounds the account's sessions by itself; past the bound across
// the cluster the oldest session gives way, wherever it is.
void TService::BoundWindows(uint64_t accountId) {
    std::weak_ptr<bool> service = alive;
    cluster->WhereIs(accountId, [this, service, accountId](std::vector<TNodeSessions> nodes) {
        if (service.expired())
            return;
        TAccountEntry* entry = CachedById(accountId);
        size_t total = entry ? entry->sessions.size() : 0;
        const TNodeSessions* oldest = nullptr;
        for (const TNodeSessions& node : nodes) {
            total += node.count;
            if (node.count > 0 && (!oldest || node.oldestUs < oldest->oldestUs))
                oldest = &node;
        }
        if (total <= config.maxSessionsPerAccount)
            return;
        if (entry && entry->Online() &&
            (!oldest || entry->sessions.front()->signedInUs <= oldest->oldestUs)) {
            EndSession(*entry->sessions.front(), REASON_TOO_MANY_WINDOWS);
            return;
        }
        if (oldest)
            cluster->ToNode(oldest->node,
                            {"trim", std::to_string(accountId), std::to_string(oldest->oldestUs)});
    });
}

// fields: trim NODE ACCOUNT SIGNED-IN-MS. The stamp keeps two nodes that
// both saw one window too many from ending two.
void TService::RemoteTrim(const std::vector<std::string>& f) {
    uint64_t accountId = 0, stamp = 0;
    if (!ParseUser(f[2], accountId) || !ParseNumber(f[3], stamp))
        return;
    TAccountEntry* entry = CachedById(accountId);
    if (!entry || !entry->Online() || entry->sessions.front()->signedInUs > int64_t(stamp))
        return;
    EndSession(*entry->sessions.front(), REASON_TOO_MANY_WINDOWS);
}

} // namespace navlet::server
