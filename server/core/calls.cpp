// Searches and "looking for you" calls, kept calls, friends and updates.
#include "server/core/service.h"

namespace navlet::server {

namespace {

// The answer to the caller when the sought user was found online and called.
constexpr int32_t SEARCH_CALLED = 1;
constexpr ChatId STATUS_NOTICE_CHAT = 0x100; // shown on the bar's status line
constexpr std::string_view SEARCH_UNAVAILABLE =
    "The service is briefly unavailable: try again in a minute.";

// Without the database the sought user's account is unknown, which says
// nothing of whether it is online: the asker hears so, not "not online".
void TellUnavailable(TClient& asker) {
    TPacket p;
    ClearPacket(p);
    TChatLineMsg line;
    line.address = MakeChatAddress(0, STATUS_NOTICE_CHAT);
    line.command = CHAT_PLAIN;
    line.text = std::string(SEARCH_UNAVAILABLE);
    asker.sink.Deliver(EncodeWire(p, WriteChatLine(p, line), MSG_CHAT_LINE));
}

} // namespace

void TService::FindUser(TClient& client, const TFindUserRequest& request, bool withMessage) {
    if (!client.chatBudget.Take(clock.NowMs(), config.chatPerSecond, config.chatBurst) ||
        !IsValidNick(request.nick)) {
        AnswerSearch(client, request, withMessage, nullptr);
        return;
    }
    if (TAccountEntry* cached = CachedByNick(request.nick)) {
        RouteSearch(client, request, withMessage, cached);
        return;
    }
    // Not known here yet: the store says whether the account exists.
    auto found = std::make_shared<std::optional<TAccount>>();
    auto unavailable = std::make_shared<bool>(false);
    std::weak_ptr<bool> service = alive;
    TStore& db = store;
    uint64_t serial = client.serial;
    storeRunner->Run(
        [&db, found, unavailable, nick = request.nick] {
            *found = db.FindAccountByNick(nick);
            *unavailable = !*found && TStore::LastCallFailed();
        },
        [this, service, serial, found, unavailable, request, withMessage] {
            if (service.expired())
                return;
            TClient* asker = LiveClient(serial);
            if (!asker)
                return;
            if (*unavailable) {
                TellUnavailable(*asker);
                return;
            }
            TAccountEntry* target = nullptr;
            if (*found) {
                Remember(**found);
                target = CachedById((*found)->id);
            }
            RouteSearch(*asker, request, withMessage, target);
        });
}

void TService::RouteSearch(TClient& client, const TFindUserRequest& request, bool withMessage,
                           TAccountEntry* target) {
    if (!cluster || !target || target == client.account) {
        AnswerSearch(client, request, withMessage, target);
        return;
    }
    TRemoteCall call{target->account.id, withMessage, client.account->account.nick, request.message,
                     client.siteUrl};
    if (target->Online()) {
        // Its windows on other nodes hear the call as well; the caller hears
        // "called" once, from here.
        AnswerSearch(client, request, withMessage, target);
        cluster->CallElsewhere(call, [](bool) {});
        return;
    }
    std::weak_ptr<bool> service = alive;
    uint64_t serial = client.serial, targetId = target->account.id;
    cluster->CallElsewhere(call,
                           [this, service, serial, targetId, request, withMessage](bool reached) {
                               if (service.expired())
                                   return;
                               TClient* asker = LiveClient(serial);
                               TAccountEntry* sought = CachedById(targetId);
                               if (!asker || !sought)
                                   return;
                               if (!reached) {
                                   AnswerSearch(*asker, request, withMessage, sought);
                                   return;
                               }
                               TPacket p;
                               ClearPacket(p);
                               TSearchAnswerMsg answer{SEARCH_CALLED, sought->account.nick, {}};
                               Send(*asker, p, WriteSearchAnswer(p, answer), MSG_SEARCH_ANSWER);
                           });
}

void TService::RemoteCall(const TRemoteCall& call) {
    TAccountEntry* target = CachedById(call.target);
    if (!target || !target->Online())
        return;
    TPacket p;
    ClearPacket(p);
    TWireRef wire;
    if (call.withMessage) {
        TLookingForYouMsg m{true, call.callerNick, call.message, call.callerSite};
        wire = EncodeWire(p, WriteLookingForYou(p, m), MSG_LOOKING_FOR_YOU);
    } else {
        TSearchAnswerMsg m{SEARCH_LOOKING_FOR_YOU, call.callerNick, call.callerSite};
        wire = EncodeWire(p, WriteSearchAnswer(p, m), MSG_SEARCH_ANSWER);
    }
    for (TClient* session : target->sessions)
        session->sink.Deliver(wire);
}

// Called: an online target hears who looks for it. Offline: a message is
// kept for its next sign-in. Unknown: "not online" with the nick as asked.
void TService::AnswerSearch(TClient& client, const TFindUserRequest& request, bool withMessage,
                            TAccountEntry* target) {
    TPacket p;
    ClearPacket(p);
    TSearchAnswerMsg answer;
    answer.nick = request.nick;
    answer.result = SEARCH_NOT_ONLINE;
    const TAccount& caller = client.account->account;
    if (target && target->Online()) {
        answer.nick = target->account.nick;
        answer.result = SEARCH_CALLED;
        // Every window of the sought user hears the call; searching oneself
        // calls nobody.
        if (target != client.account) {
            TPacket call;
            ClearPacket(call);
            TWireRef wire;
            if (withMessage) {
                TLookingForYouMsg m{true, caller.nick, request.message, client.siteUrl};
                wire = EncodeWire(call, WriteLookingForYou(call, m), MSG_LOOKING_FOR_YOU);
            } else {
                TSearchAnswerMsg m{SEARCH_LOOKING_FOR_YOU, caller.nick, client.siteUrl};
                wire = EncodeWire(call, WriteSearchAnswer(call, m), MSG_SEARCH_ANSWER);
            }
            for (TClient* called : target->sessions)
                called->sink.Deliver(wire);
        }
    } else if (target && withMessage && !request.message.empty() &&
               target->account.id != caller.id) {
        answer.nick = target->account.nick;
        // The answer waits for the call to be kept, so that calls keep the
        // order their callers heard the answers in.
        TStore& db = store;
        std::weak_ptr<bool> service = alive;
        storeRunner->RunOrdered(
            [&db, call = TKeptCall{target->account.id, caller.id, caller.nick, request.message,
                                   client.siteUrl}] { db.KeepCall(call); },
            [this, service, serial = client.serial, answer] {
                TClient* asker = service.expired() ? nullptr : LiveClient(serial);
                if (!asker)
                    return;
                TPacket later;
                ClearPacket(later);
                Send(*asker, later, WriteSearchAnswer(later, answer), MSG_SEARCH_ANSWER);
            });
        return;
    }
    Send(client, p, WriteSearchAnswer(p, answer), MSG_SEARCH_ANSWER);
}

// A kept call says "is" while its caller is online (with the caller's page
// now) and "was" when the caller has gone. Calls taken for a session that
// ended meanwhile are kept again.
void TService::DeliverKeptCalls(TClient& client) {
    auto calls = std::make_shared<std::vector<TKeptCall>>();
    std::weak_ptr<bool> service = alive;
    TStore& db = store;
    uint64_t serial = client.serial, id = client.Id();
    storeRunner->Run([&db, calls, id] { *calls = db.TakeCalls(id); },
                     [this, service, serial, calls, &db] {
                         if (service.expired() || calls->empty())
                             return;
                         TClient* target = LiveClient(serial);
                         if (!target) {
                             storeRunner->Run(
                                 [&db, calls] {
                                     for (const TKeptCall& call : *calls)
                                         db.KeepCall(call);
                                 },
                                 nullptr);
                             return;
                         }
                         if (!cluster) {
                             SendKeptCalls(*target, *calls, {});
                             return;
                         }
                         AskWhoIsOnline(serial, calls);
                     });
}

// On a cluster a caller signed in on another node "is" online too; its page
// there is not known here, so the call shows the page it was made from.
void TService::AskWhoIsOnline(uint64_t serial, std::shared_ptr<std::vector<TKeptCall>> calls) {
    struct TAsking {
        std::set<uint64_t> online;
        size_t waiting = 0;
    };
    auto asking = std::make_shared<TAsking>();
    asking->waiting = calls->size();
    std::weak_ptr<bool> service = alive;
    for (const TKeptCall& call : *calls) {
        uint64_t caller = call.caller;
        cluster->WhereIs(caller, [this, service, serial, calls, asking,
                                  caller](std::vector<TNodeSessions> nodes) {
            if (service.expired())
                return;
            if (!nodes.empty())
                asking->online.insert(caller);
            if (--asking->waiting > 0)
                return;
            if (TClient* target = LiveClient(serial))
                SendKeptCalls(*target, *calls, asking->online);
        });
    }
}

void TService::SendKeptCalls(TClient& target, const std::vector<TKeptCall>& calls,
                             const std::set<uint64_t>& onlineElsewhere) {
    TPacket p;
    for (const TKeptCall& call : calls) {
        TAccountEntry* caller = CachedById(call.caller);
        TClient* online = caller ? caller->MostRecent() : nullptr;
        TLookingForYouMsg m{online != nullptr || onlineElsewhere.count(call.caller) > 0,
                            call.callerNick, call.message, online ? online->siteUrl : call.link};
        ClearPacket(p);
        TWireRef wire = EncodeWire(p, WriteLookingForYou(p, m), MSG_LOOKING_FOR_YOU);
        // Kept calls close the welcome.
        if (target.Welcoming())
            target.welcome->keptCalls.push_back(std::move(wire));
        else
            target.sink.Deliver(wire);
    }
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
    if (!cluster || !cluster->Status().redisUp) {
        TellFriendsOf(account, online);
        return;
    }
    // A session on another node means the account was, and stays, online.
    std::weak_ptr<bool> service = alive;
    cluster->WhereIs(account.id,
                     [this, service, account, online](std::vector<TNodeSessions> nodes) {
                         if (service.expired() || !nodes.empty())
                             return;
                         TAccountEntry* here = CachedById(account.id);
                         if (here && here->Online() != online)
                             return; // it came back, or went again, while the cluster answered
                         TellFriendsOf(account, online);
                         cluster->FriendState(account, online);
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
