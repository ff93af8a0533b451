// A signed-in session's requests to the front itself: friends and updates.
#include "server/core/service.h"

namespace navlet::server {

void TService::FriendChange(TClient& client, const TFriendChangeRequest& request) {
    if (request.operation != FRIEND_ADD && request.operation != FRIEND_REMOVE)
        return;
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
