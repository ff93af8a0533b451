// The requests of signed-in sessions, handed to the subsystems or answered
// here (friends and updates), and the operator's targets.
#include "server/core/service.h"

namespace navlet::server {

void TService::Handle(TClient& client, const TPacket& p) {
    if (!client.SignedIn())
        return;
    client.lastActive = ++activity;
    windows.NoteActivity(client);
    switch (p.Type()) {
    case REQ_SITE_REPORT:
        SiteReport(client, ReadSiteReport(p));
        break;
    case REQ_CHAT_TEXT:
        ChatText(client, ReadChatText(p));
        break;
    case REQ_INVITE:
        chats.Invite(client, ReadChatAddressRequest(p));
        break;
    case REQ_LEAVE_CHAT:
        chats.LeaveChat(client, ReadChatAddressRequest(p).Chat(), /*tellOthers=*/true);
        break;
    case REQ_LANGUAGE_FILTER:
        client.languageMask = ReadLanguageFilter(p);
        break;
    case REQ_FIND_USER:
        calls.FindUser(client, ReadFindUser(p), /*withMessage=*/false);
        break;
    case REQ_FIND_USER_WITH_MESSAGE:
        calls.FindUser(client, ReadFindUser(p), /*withMessage=*/true);
        break;
    case REQ_FRIEND_CHANGE:
        FriendChange(client, ReadFriendChange(p));
        break;
    case REQ_UPDATE:
        UpdateRequest(client, ReadUpdateRequest(p));
        break;
    default:
        break; // the login again, or nothing the bar sends
    }
}

std::vector<TClient*> TService::Resolve(const TTarget& target, bool& unknownUser) {
    std::vector<TClient*> out;
    unknownUser = false;
    switch (target.kind) {
    case TTarget::All:
        out = accountDesk.Sessions();
        break;
    case TTarget::User:
        if (TAccountEntry* entry = OnlineByNick(target.name))
            out = entry->sessions;
        else
            unknownUser = true;
        break;
    case TTarget::Site: {
        auto it = sites.find(FoldCase(target.name));
        if (it != sites.end())
            out = it->second->users;
        break;
    }
    }
    return out;
}

void TService::FriendChange(TClient& client, const TFriendChangeRequest& request) {
    if (request.operation != FRIEND_ADD && request.operation != FRIEND_REMOVE)
        return;
    std::vector<uint64_t> ids = client.account->friendIds;
    std::erase(ids, request.friendId);
    if (request.operation == FRIEND_ADD && request.friendId != client.Id())
        ids.push_back(request.friendId);
    SetFriendIds(*client.account, std::move(ids));
    TStore& db = store;
    storeRunner->RunOrdered(
        [&db, owner = client.Id(), request] {
            if (request.operation == FRIEND_ADD)
                db.AddFriend(owner, request.friendId);
            else
                db.RemoveFriend(owner, request.friendId);
        },
        nullptr);
}

void TService::SetFriendIds(TAccountEntry& entry, std::vector<uint64_t> ids) {
    for (uint64_t id : entry.friendIds) {
        auto listers = listedAsFriendBy.find(id);
        if (listers == listedAsFriendBy.end())
            continue;
        listers->second.erase(&entry);
        if (listers->second.empty())
            listedAsFriendBy.erase(listers);
    }
    entry.friendIds = std::move(ids);
    for (uint64_t id : entry.friendIds)
        listedAsFriendBy[id].insert(&entry);
}

void TService::FriendCameOrWent(const TAccount& account, bool online) {
    if (!nodeLink->Status().redisUp) {
        TellFriendsOf(account, online);
        return;
    }
    // A session on another node means the account was, and stays, online.
    std::weak_ptr<bool> service = alive;
    nodeLink->WhereIs(account.id,
                      [this, service, account, online](std::vector<TNodeSessions> nodes) {
                          if (service.expired() || !nodes.empty())
                              return;
                          TAccountEntry* here = CachedById(account.id);
                          if (here && here->Online() != online)
                              return; // it came back, or went again, while the cluster answered
                          TellFriendsOf(account, online);
                          nodeLink->FriendState(account, online);
                      });
}

void TService::RemoteFriendState(const TAccount& account, bool online) {
    TellFriendsOf(account, online);
}

void TService::TellFriendsOf(const TAccount& account, bool online) {
    auto listers = listedAsFriendBy.find(account.id);
    if (listers == listedAsFriendBy.end())
        return;
    // The friend's record again, with its new state: bars that list the
    // friend change the entry in place.
    const TWireRef wire =
        PresenceWire(account, online ? LIST_FRIEND_ONLINE : LIST_FRIEND_OFFLINE, 0);
    for (const TAccountEntry* lister : listers->second)
        for (TClient* session : lister->sessions) {
            // A welcome still to send its friends sends this after them.
            if (session->Welcoming())
                session->welcome->friends.push_back(wire);
            else
                session->sink.Deliver(wire);
        }
}

// The first answer to an older client is the chunk at offset 0 (the bar only
// opens its file on it); the bar then asks from its file's end with the
// offered version, and past the end gets the end mark.
void TService::UpdateRequest(TClient& client, const TUpdateRequest& request) {
    TPacket p;
    ClearPacket(p);
    int32_t newest = updates.Version();
    TUpdateChunkMsg chunk = updates.NothingNewer();
    if (newest >= 0 && request.version < newest) {
        client.offeredUpdate = newest;
        client.offeredImage = updates.Image();
        chunk = updates.ChunkAt(0);
    } else if (newest >= 0 && request.version == newest && client.offeredUpdate == newest &&
               request.offset >= 0) {
        // From the file the download began with, even if replaced since.
        chunk = TUpdateSet::ChunkOf(client.offeredImage, newest, request.offset);
    }
    Send(client, p, WriteUpdateChunk(p, chunk), MSG_UPDATE_CHUNK);
}

} // namespace navlet::server
