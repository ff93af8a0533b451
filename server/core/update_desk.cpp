#include "server/core/update_desk.h"

#include "protocol/messages.h"

namespace navlet::server {

// The first answer to an older client is the chunk at offset 0 (the bar only
// opens its file on it); the bar then asks from its file's end with the
// offered version, and past the end gets the end mark.
void TUpdateDesk::Request(TClient& client, const TUpdateRequest& request) const {
    TPacket p;
    ClearPacket(p);
    int32_t newest = set.Version();
    TUpdateChunkMsg chunk = set.NothingNewer();
    if (newest >= 0 && request.version < newest) {
        client.Aside().offeredUpdate = newest;
        client.aside->offeredImage = set.Image();
        chunk = set.ChunkAt(0);
    } else if (newest >= 0 && request.version == newest && client.aside &&
               client.aside->offeredUpdate == newest && request.offset >= 0) {
        // From the file the download began with, even if replaced since.
        chunk = TUpdateSet::ChunkOf(client.aside->offeredImage, newest, request.offset);
    }
    client.sink.Deliver(EncodeWire(p, WriteUpdateChunk(p, chunk), MSG_UPDATE_CHUNK));
}

} // namespace navlet::server
