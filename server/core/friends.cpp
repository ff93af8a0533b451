#include "server/core/friends.h"

#include <algorithm>

#include "protocol/messages.h"
#include "server/core/sites.h"

namespace navlet::server {

TFriendDesk::TFriendDesk(TDirectory& directory, TStore& store, TStoreRunner& runner,
                         TClusterLink& link)
    : directory(directory), store(store), runner(&runner), link(&link),
      alive(std::make_shared<bool>(true)) {}

TFriendDesk::~TFriendDesk() {
    *alive = false;
}

void TFriendDesk::SignedIn(TClient& client, const std::vector<TAccount>& friends, bool cameOnline) {
    std::vector<uint64_t> friendIds;
    for (const TAccount& friendAccount : friends) {
        directory.Remember(friendAccount);
        friendIds.push_back(friendAccount.id);
    }
    SetFriendIds(*client.account, std::move(friendIds));
    if (cameOnline && client.account->ShownToFriends())
        FriendCameOrWent(client.account->account, /*online=*/true);
    AskFriendsElsewhere(client, friends);
}

void TFriendDesk::SessionGone(const TClient& client) {
    friendsAsked.erase(client.serial);
    if (!client.account->Online()) {
        if (client.account->ShownToFriends())
            FriendCameOrWent(client.account->account, /*online=*/false);
        SetFriendIds(*client.account, {});
    }
}

void TFriendDesk::FriendChange(TClient& client, const TFriendChangeRequest& request) {
    if (request.operation != FRIEND_ADD && request.operation != FRIEND_REMOVE)
        return;
    std::vector<uint64_t> ids = client.account->friendIds;
    std::erase(ids, request.friendId);
    // Blocked either way: no friends.
    if (request.operation == FRIEND_ADD &&
        (request.friendId == client.Id() || !client.account->Sees(request.friendId)))
        return;
    if (request.operation == FRIEND_ADD)
        ids.push_back(request.friendId);
    SetFriendIds(*client.account, std::move(ids));
    TStore& db = store;
    runner->RunOrdered(
        [&db, owner = client.Id(), request] {
            if (request.operation == FRIEND_ADD)
                db.AddFriend(owner, request.friendId);
            else
                db.RemoveFriend(owner, request.friendId);
        },
        nullptr);
}

void TFriendDesk::SetFriendIds(TAccountEntry& entry, std::vector<uint64_t> ids) {
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

// A session on another node means the account was, and stays, online. A
// node alone, or one that cannot reach Redis, hears of none at once.
void TFriendDesk::FriendCameOrWent(const TAccount& account, bool online) {
    std::weak_ptr<bool> desk = alive;
    link->WhereIs(account.id, [this, desk, account, online](std::vector<TNodeSessions> nodes) {
        if (desk.expired() || !nodes.empty())
            return;
        TAccountEntry* here = directory.CachedById(account.id);
        if (here && (here->Online() && here->ShownToFriends()) != online)
            return; // it came back, or went again, while the cluster answered
        TellFriendsOf(account, online);
        link->FriendState(account, online);
    });
}

namespace {
TWireRef FriendHereWire(const TAccount& account) {
    TPacket p;
    ClearPacket(p);
    return EncodeWire(p, WriteFriendHere(p, TFriendHereMsg{account.id, account.nick}),
                      MSG_FRIEND_HERE);
}
} // namespace

namespace {
// The friend is present on the site through a node where it tells friends.
const TRemoteUser* TellingThroughNode(const TSite& site, uint64_t id) {
    for (const TRemoteUser& user : site.remote)
        if (user.account.id == id && TellsFriends(user.privacy))
            return &user;
    return nullptr;
}
} // namespace

void TFriendDesk::FriendsMeet(TClient& client, bool accountArrives) {
    const TSite* site = client.site;
    if (!site)
        return;
    const TAccountEntry& self = *client.account;
    for (uint64_t id : self.friendIds) {
        if (!self.Sees(id))
            continue;
        const TAccountEntry* buddy = directory.CachedById(id);
        if (buddy && buddy->TellsFriends() && TSiteDesk::PresentOn(*buddy, site, nullptr)) {
            client.sink.Deliver(FriendHereWire(buddy->account));
            continue;
        }
        if (const TRemoteUser* remote = TellingThroughNode(*site, id))
            client.sink.Deliver(FriendHereWire(remote->account));
    }
    if (accountArrives && self.TellsFriends())
        TellListersOn(*site, self.account, &self);
}

void TFriendDesk::FriendCameThroughNode(const TSite& site, const TAccount& account) {
    TellListersOn(site, account, nullptr);
}

void TFriendDesk::TellListersOn(const TSite& site, const TAccount& account,
                                const TAccountEntry* except) {
    auto listers = listedAsFriendBy.find(account.id);
    if (listers == listedAsFriendBy.end())
        return;
    TWireRef wire;
    for (const TAccountEntry* lister : listers->second) {
        if (lister == except || !lister->Sees(account.id))
            continue;
        for (TClient* session : lister->sessions)
            if (session->site == &site) {
                if (!wire)
                    wire = FriendHereWire(account);
                session->sink.Deliver(wire);
            }
    }
}

void TFriendDesk::ShownChanged(const TAccountEntry& entry) {
    if (!entry.Online())
        return;
    TellFriendsOf(entry.account, entry.ShownToFriends());
    link->FriendState(entry.account, entry.ShownToFriends());
}

void TFriendDesk::RemoteFriendState(const TAccount& account, bool online) {
    TellFriendsOf(account, online);
}

void TFriendDesk::TellFriendsOf(const TAccount& account, bool online) {
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

std::vector<TWireRef> TFriendDesk::WelcomeRecords(uint64_t serial,
                                                  const std::vector<TAccount>& friends) {
    auto asked = friendsAsked.find(serial);
    if (asked == friendsAsked.end())
        return FriendRecords(friends, nullptr);
    if (asked->second.due > 0) {
        asked->second.accounts = friends; // FriendElsewhereAnswered sends them
        asked->second.welcomeWaits = true;
        return {};
    }
    std::vector<TWireRef> records = FriendRecords(friends, &asked->second.online);
    friendsAsked.erase(asked);
    return records;
}

std::vector<TWireRef> TFriendDesk::FriendRecords(const std::vector<TAccount>& friends,
                                                 const std::unordered_set<uint64_t>* elsewhere) {
    std::vector<TWireRef> out;
    for (const TAccount& friendAccount : friends) {
        TAccountEntry* entry = directory.CachedById(friendAccount.id);
        const bool online = (entry && entry->Online() && entry->ShownToFriends()) ||
                            (elsewhere && elsewhere->count(friendAccount.id));
        out.push_back(
            PresenceWire(friendAccount, online ? LIST_FRIEND_ONLINE : LIST_FRIEND_OFFLINE, 0));
    }
    return out;
}

void TFriendDesk::AskFriendsElsewhere(const TClient& client, const std::vector<TAccount>& friends) {
    std::vector<uint64_t> ask;
    for (const TAccount& friendAccount : friends) {
        TAccountEntry* entry = directory.CachedById(friendAccount.id);
        if (!entry || !entry->Online())
            ask.push_back(friendAccount.id);
    }
    if (ask.empty())
        return;
    friendsAsked[client.serial].due = ask.size();
    std::weak_ptr<bool> desk = alive;
    for (uint64_t friendId : ask)
        link->WhereIs(friendId, [this, desk, serial = client.serial,
                                 friendId](std::vector<TNodeSessions> nodes) {
            if (desk.expired())
                return;
            const bool shown = std::any_of(nodes.begin(), nodes.end(), [](const TNodeSessions& n) {
                return ShownToFriends(n.privacy);
            });
            FriendElsewhereAnswered(serial, friendId, shown);
        });
}

void TFriendDesk::FriendElsewhereAnswered(uint64_t serial, uint64_t friendId, bool online) {
    auto asked = friendsAsked.find(serial);
    if (asked == friendsAsked.end())
        return;
    TClient* client = directory.LiveClient(serial);
    if (!client) {
        friendsAsked.erase(asked);
        return;
    }
    TFriendsAsked& state = asked->second;
    if (online)
        state.online.insert(friendId);
    if (--state.due > 0 || !state.welcomeWaits)
        return; // the welcome, when it begins, takes the answers
    std::vector<TWireRef> records = FriendRecords(state.accounts, &state.online);
    friendsAsked.erase(asked);
    // Into the welcome after its own friends, or after it when it is over.
    if (client->Welcoming()) {
        auto& pending = client->welcome->friends;
        pending.insert(pending.end(), records.begin(), records.end());
        return;
    }
    for (const TWireRef& wire : records)
        client->sink.Deliver(wire);
}

} // namespace navlet::server
