// What the service tells the other nodes of a cluster, and what it needs to
// know of them. Without a link (one node alone) the service calls nothing
// here and behaves exactly as a single process.
#pragma once

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

class TClusterLink {
  public:
    // The account's first session on this node began, or its last one ended.
    virtual void AccountOnline(uint64_t accountId, bool online) = 0;
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
