// Searches and "looking for you" calls, kept calls, friends and updates.
#include "server/core/service.h"

namespace navlet::server {

namespace {

// The answer to the caller when the sought user was found online and called.
constexpr int32_t SEARCH_CALLED = 1;

} // namespace

void TService::FindUser(TClient& client, const TFindUserRequest& request, bool withMessage) {
    TPacket p;
    ClearPacket(p);
    TSearchAnswerMsg answer;
    answer.nick = request.nick;
    answer.result = SEARCH_NOT_ONLINE;
    if (!client.chatBudget.Take(clock.NowMs(), config.chatPerSecond, config.chatBurst)) {
        Send(client, p, WriteSearchAnswer(p, answer), MSG_SEARCH_ANSWER);
        return;
    }
    TAccountEntry* target = IsValidNick(request.nick) ? LoadAccount(request.nick) : nullptr;
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
        store.KeepCall(
            TKeptCall{target->account.id, caller.id, caller.nick, request.message, client.siteUrl});
    }
    Send(client, p, WriteSearchAnswer(p, answer), MSG_SEARCH_ANSWER);
}

// A kept call says "is" while its caller is online (with the caller's page
// now) and "was" when the caller has gone.
void TService::DeliverKeptCalls(TClient& client) {
    TPacket p;
    for (const TKeptCall& call : store.TakeCalls(client.Id())) {
        auto caller = accounts.find(call.caller);
        TClient* online = caller == accounts.end() ? nullptr : caller->second.MostRecent();
        TLookingForYouMsg m{online != nullptr, call.callerNick, call.message,
                            online ? online->siteUrl : call.link};
        ClearPacket(p);
        Send(client, p, WriteLookingForYou(p, m), MSG_LOOKING_FOR_YOU);
    }
}

void TService::FriendChange(TClient& client, const TFriendChangeRequest& request) {
    if (request.operation == FRIEND_ADD)
        store.AddFriend(client.Id(), request.friendId);
    else if (request.operation == FRIEND_REMOVE)
        store.RemoveFriend(client.Id(), request.friendId);
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
        chunk = updates.ChunkAt(0);
    } else if (newest >= 0 && request.version == newest && client.offeredUpdate == newest &&
               request.offset >= 0) {
        chunk = updates.ChunkAt(request.offset);
    }
    Send(client, p, WriteUpdateChunk(p, chunk), MSG_UPDATE_CHUNK);
}

} // namespace navlet::server
