// Searches and "looking for you" calls: answered here when the sought user
// is signed in on this node, handed through the cluster link to the nodes
// where it is otherwise, and kept in the store for its next sign-in when it
// is offline.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "protocol/requests.h"
#include "server/core/clock.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/store_runner.h"

namespace navlet::server {

class TCallDesk {
  public:
    struct TLimits {
        double perSecond = 2.0; // a session's chat budget, searches included
        double burst = 10.0;
    };
    TCallDesk(TDirectory& directory, TStore& store, TStoreRunner& runner, TClusterLink& link,
              const TClock& clock, TLimits limits);
    ~TCallDesk();
    TCallDesk(const TCallDesk&) = delete;
    TCallDesk& operator=(const TCallDesk&) = delete;
    void SetStoreRunner(TStoreRunner& r) { runner = &r; }
    void SetLink(TClusterLink& l) { link = &l; }

    void FindUser(TClient& client, const TFindUserRequest& request, bool withMessage);
    // A call from another node for a user signed in here, or who was when
    // that node looked.
    void RemoteCall(const cluster::TCall& call);
    // The calls kept for the client's account, once it signed in.
    void DeliverKeptCalls(TClient& client);

  private:
    // A target signed in on no session here may be on another node.
    void RouteSearch(TClient& client, const TFindUserRequest& request, bool withMessage,
                     TAccountEntry* target);
    void AnswerSearch(TClient& client, const TFindUserRequest& request, bool withMessage,
                      TAccountEntry* target);
    void Ring(const TAccountEntry& target, const cluster::TCall& call);
    void KeepUnlessOnline(const cluster::TCall& call);
    void AskWhoIsOnline(uint64_t serial, std::shared_ptr<std::vector<TKeptCall>> calls);
    void SendKeptCalls(TClient& target, const std::vector<TKeptCall>& calls,
                       const std::set<uint64_t>& onlineElsewhere);

    TDirectory& directory;
    TStore& store;
    TStoreRunner* runner;
    TClusterLink* link;
    const TClock& clock;
    TLimits limits;
    std::shared_ptr<bool> alive; // lets late store answers find the desk gone
};

} // namespace navlet::server
