#include "server/core/windows.h"

#include <algorithm>
#include <cmath>

namespace navlet::server {

namespace {

int64_t WallUs(const TClock& clock) {
    return std::llround((clock.NowUtcDays() - UnixToDays(0)) * 86400000000.0);
}

} // namespace

TWindowBound::TWindowBound(TDirectory& directory, TClusterLink& link, const TClock& clock,
                           size_t maxSessions, TEndFn end)
    : directory(directory), link(&link), clock(clock), maxSessions(maxSessions),
      end(std::move(end)), alive(std::make_shared<bool>(true)) {}

TWindowBound::~TWindowBound() {
    *alive = false;
}

void TWindowBound::Report(TAccountEntry& entry) {
    TNodeSessions here;
    here.count = entry.sessions.size();
    here.privacy = entry.privacy;
    for (const TClient* session : entry.sessions) {
        here.oldestUs =
            here.oldestUs == 0 ? session->signedInUs : std::min(here.oldestUs, session->signedInUs);
        here.latestUs = std::max(here.latestUs, session->activeUs);
    }
    link->AccountSessions(entry.account.id, here);
}

void TWindowBound::NoteActivity(TClient& client) {
    client.activeUs = WallUs(clock);
    Report(*client.account);
}

void TWindowBound::MakeRoom(TAccountEntry& entry) {
    while (!entry.sessions.empty() && entry.sessions.size() >= maxSessions)
        end(*entry.sessions.front());
}

void TWindowBound::SignedIn(TClient& client) {
    client.signedInUs = client.activeUs = WallUs(clock);
    Report(*client.account);
    Bound(client.Id());
}

// Every node bounds the account's sessions by itself; past the bound across
// the cluster the oldest session gives way, wherever it is.
void TWindowBound::Bound(uint64_t accountId) {
    std::weak_ptr<bool> bound = alive;
    link->WhereIs(accountId, [this, bound, accountId](std::vector<TNodeSessions> nodes) {
        if (bound.expired())
            return;
        TAccountEntry* entry = directory.CachedById(accountId);
        size_t total = entry ? entry->sessions.size() : 0;
        const TNodeSessions* oldest = nullptr;
        for (const TNodeSessions& node : nodes) {
            total += node.count;
            if (node.count > 0 && (!oldest || node.oldestUs < oldest->oldestUs))
                oldest = &node;
        }
        if (total <= maxSessions)
            return;
        if (entry && entry->Online() &&
            (!oldest || entry->sessions.front()->signedInUs <= oldest->oldestUs)) {
            end(*entry->sessions.front());
            return;
        }
        if (oldest)
            link->ToNode(oldest->node, cluster::TTrim{accountId, oldest->oldestUs});
    });
}

// The stamp keeps two nodes that both saw one window too many from ending two.
void TWindowBound::RemoteTrim(const cluster::TTrim& m) {
    TAccountEntry* entry = directory.CachedById(m.account);
    if (!entry || !entry->Online() || entry->sessions.front()->signedInUs > m.signedInUs)
        return;
    end(*entry->sessions.front());
}

} // namespace navlet::server
