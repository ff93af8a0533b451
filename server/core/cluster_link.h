// What the service tells the other nodes of a cluster, and what it needs to
// know of them. Without a link (one node alone) the service calls nothing
// here and behaves exactly as a single process.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "server/store/store.h"

namespace navlet::server {

struct TSiteCount {
    std::string host;
    size_t users = 0;
};

struct TClusterStatus {
    bool redisUp = false;
    size_t nodes = 0; // live nodes, this one included, as last counted
    std::string nodeId;
};

// A search or "looking for you" call for a user signed in on another node.
struct TRemoteCall {
    uint64_t target = 0;
    bool withMessage = false;
    std::string callerNick;
    std::string message;
    std::string callerSite;
};

// An account's sessions on one node: how many, when the oldest signed in and
// when the latest was last active (wall-clock milliseconds).
struct TNodeSessions {
    std::string node;
    size_t count = 0;
    int64_t oldestMs = 0;
    int64_t latestMs = 0;
};

class TClusterLink {
  public:
    // The account's sessions on this node changed (count 0: none is left).
    virtual void AccountSessions(uint64_t accountId, const TNodeSessions& here) = 0;
    // The account's sessions on the other live nodes; `done` gets nothing
    // while Redis is away.
    virtual void WhereIs(uint64_t accountId,
                         std::function<void(std::vector<TNodeSessions>)> done) = 0;
    // A message for the service of another node (TService::RemoteEvent
    // there); the first field names its kind, the sender's node goes second.
    virtual void ToNode(const std::string& node, std::vector<std::string> fields) = 0;
    // The operator's KICK for the other nodes' users of the target.
    virtual void KickElsewhere(int targetKind, const std::string& name) = 0;
    // Where a session of this node is now, for the cluster's USERS listing
    // (host empty: on no site; account null: the session ended).
    virtual void SessionSite(uint64_t serial, const TAccount* account, const std::string& host) = 0;
    // Lists every node's sessions as "NICK ID HOST" triples; `done` gets
    // nothing while Redis is away.
    virtual void ListUsers(std::function<void(std::vector<std::array<std::string, 3>>)> done) = 0;
    // Hands the call to every other node where the target is signed in;
    // `done` says whether there was one (false also while Redis is away).
    virtual void CallElsewhere(const TRemoteCall& call, std::function<void(bool)> done) = 0;
    // An operator's line for the other nodes' users of the target (kind as
    // TTarget::Kind: all, user NICK, site HOST).
    virtual void OperatorLine(int targetKind, const std::string& name, uint64_t chat,
                              uint8_t command, const std::string& text) = 0;
    // An account became present on a site (host folded) through this node's
    // sessions, or its last session here left the site.
    virtual void Entered(const std::string& host, const TAccount& account) = 0;
    virtual void Left(const std::string& host, uint64_t userId) = 0;
    // A public line said on this node.
    virtual void PublicLine(const std::string& host, uint64_t senderId, int language,
                            const std::string& nick, const std::string& text) = 0;
    // The busiest sites of the whole cluster, as last counted.
    virtual std::vector<TSiteCount> BusiestSites(size_t limit) const = 0;
    virtual TClusterStatus Status() const = 0;

  protected:
    ~TClusterLink() = default;
};

} // namespace navlet::server
