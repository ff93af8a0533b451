// The friends' records in a sign-in's welcome. On a cluster the friends not
// online here may be online on another node: their records wait for the
// other nodes' answers, and join the welcome (or follow it) when they come.
#include "server/core/service.h"

namespace navlet::server {

std::vector<TWireRef> TService::WelcomeFriends(const TClient& client,
                                               const std::vector<TAccount>& friends) {
    auto asked = friendsAsked.find(client.serial);
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

std::vector<TWireRef> TService::FriendRecords(const std::vector<TAccount>& friends,
                                              const std::unordered_set<uint64_t>* elsewhere) {
    std::vector<TWireRef> out;
    for (const TAccount& friendAccount : friends) {
        TAccountEntry* entry = CachedById(friendAccount.id);
        const bool online =
            (entry && entry->Online()) || (elsewhere && elsewhere->count(friendAccount.id));
        out.push_back(
            PresenceWire(friendAccount, online ? LIST_FRIEND_ONLINE : LIST_FRIEND_OFFLINE, 0));
    }
    return out;
}

void TService::AskFriendsElsewhere(const TClient& client, const std::vector<TAccount>& friends) {
    if (!nodeLink->Status().redisUp)
        return;
    std::vector<uint64_t> ask;
    for (const TAccount& friendAccount : friends) {
        TAccountEntry* entry = CachedById(friendAccount.id);
        if (!entry || !entry->Online())
            ask.push_back(friendAccount.id);
    }
    if (ask.empty())
        return;
    friendsAsked[client.serial].due = ask.size();
    std::weak_ptr<bool> service = alive;
    for (uint64_t friendId : ask)
        nodeLink->WhereIs(friendId, [this, service, serial = client.serial,
                                     friendId](std::vector<TNodeSessions> nodes) {
            if (!service.expired())
                FriendElsewhereAnswered(serial, friendId, !nodes.empty());
        });
}

void TService::FriendElsewhereAnswered(uint64_t serial, uint64_t friendId, bool online) {
    auto asked = friendsAsked.find(serial);
    if (asked == friendsAsked.end())
        return;
    TClient* client = LiveClient(serial);
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
    if (client->Welcoming()) {
        auto& pending = client->welcome->friends;
        pending.insert(pending.end(), records.begin(), records.end());
        return;
    }
    for (const TWireRef& wire : records)
        client->sink.Deliver(wire);
}

} // namespace navlet::server
