// The bound on an account's sessions (one per browser window) across every
// node: each node reports its sessions of the account through the cluster
// link and ends the oldest one past the bound, wherever it is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "server/core/clock.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"

namespace navlet::server {

class TWindowBound {
  public:
    // Ends a session that gives way (TService::EndSession).
    using TEndFn = std::function<void(TClient&)>;
    TWindowBound(TDirectory& directory, TClusterLink& link, const TClock& clock, size_t maxSessions,
                 TEndFn end);
    ~TWindowBound();
    TWindowBound(const TWindowBound&) = delete;
    TWindowBound& operator=(const TWindowBound&) = delete;
    void SetLink(TClusterLink& l) { link = &l; }

    // Before a sign-in joins the account's sessions here: past the bound the
    // oldest of them gives way (and hears why).
    void MakeRoom(TAccountEntry& entry);
    // The client has just joined the sessions of its account.
    void SignedIn(TClient& client);
    // A session of the account has gone.
    void SessionGone(TAccountEntry& entry) { Report(entry); }
    // The account's privacy bits changed: the other nodes' searches read them.
    void PrivacyChanged(TAccountEntry& entry) { Report(entry); }
    // Every request: another node compares these when it invites the account.
    void NoteActivity(TClient& client);
    // Another node found the account past the bound, its oldest session here.
    void RemoteTrim(const cluster::TTrim& m);

  private:
    void Report(TAccountEntry& entry);
    void Bound(uint64_t accountId);

    TDirectory& directory;
    TClusterLink* link;
    const TClock& clock;
    size_t maxSessions;
    TEndFn end;
    std::shared_ptr<bool> alive; // lets late answers find the bound gone
};

} // namespace navlet::server
