#include "server/core/client.h"

#include <algorithm>

#include "server/core/directory.h"

namespace navlet::server {

bool TRateBudget::Take(int64_t nowMs, double perSecond, double burst) {
    if (tokens < 0) {
        tokens = burst;
        lastMs = nowMs;
    }
    tokens = std::min(burst, tokens + double(nowMs - lastMs) * perSecond / 1000.0);
    lastMs = nowMs;
    if (tokens < 1.0)
        return false;
    tokens -= 1.0;
    return true;
}

UserId TClient::Id() const {
    return account ? account->account.id : 0;
}

const std::vector<ChatId>& TClient::Chats() const {
    static const std::vector<ChatId> none;
    return aside ? aside->chats : none;
}

const std::string& TClient::PausedHost() const {
    static const std::string none;
    return aside ? aside->pausedHost : none;
}

TClient* TAccountEntry::MostRecent() const {
    TClient* latest = nullptr;
    for (TClient* session : sessions)
        if (!latest || session->lastActive > latest->lastActive)
            latest = session;
    return latest;
}

} // namespace navlet::server
