// What the service tells the other nodes of a cluster, and what it needs to
// know of them. A node alone has TLocalLink (local_link.h), which tells
// nobody and finds nothing elsewhere: it behaves exactly as a single process.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "server/cluster/messages/node_messages.h"
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

// The name of an account's presence through a node, unique in the cluster
// (the field of the site's presence hash).
inline std::string RemoteKey(const std::string& node, uint64_t accountId) {
    return node + ":" + std::to_string(accountId);
}

// An account present on a site through another node of the cluster.
struct TRemoteUser {
    std::string key; // RemoteKey(node, account.id)
    std::string node;
    TAccount account;
    uint64_t arrival = 0;              // the site's arrival count when it came (set by the service)
    uint8_t privacy = PRIVACY_DEFAULT; // as its node said (an older node: the default)
};

// What the cluster holds of a site: its users through the other nodes and
// its latest public lines, oldest first.
struct TSiteSnapshot {
    std::vector<TRemoteUser> users;
    std::vector<cluster::TKeptLine> lines;
};

// An account's sessions on one node: how many, when the oldest signed in and
// when the latest was last active (wall-clock microseconds).
struct TNodeSessions {
    std::string node;
    size_t count = 0;
    int64_t oldestUs = 0;
    int64_t latestUs = 0;
    uint8_t privacy = PRIVACY_DEFAULT; // the account's PRIVACY_* bits as that node holds them
};

// What a call handed to the other nodes came to: no node listened, one did,
// or the target is signed in only where it is invisible (nobody is rung, and
// the caller hears "not online" as for an invisible user here).
enum class TCallReach { Nobody, Reached, Hidden };

class TClusterLink {
  public:
    // The account's sessions on this node changed (count 0: none is left).
    virtual void AccountSessions(uint64_t accountId, const TNodeSessions& here) = 0;
    // The account's sessions on the other live nodes; `done` gets nothing
    // while Redis is away.
    virtual void WhereIs(uint64_t accountId,
                         std::function<void(std::vector<TNodeSessions>)> done) = 0;
    // A message for the service of another node (TService::RemoteEvent
    // there), sent as from this node. `delivered`, when given, hears whether
    // that node was listening (false also while Redis is away).
    virtual void ToNode(const std::string& node, const cluster::TNodeMessage& message,
                        std::function<void(bool)> delivered = nullptr) = 0;
    // Where a session of this node is now, for the cluster's USERS listing
    // (host empty: on no site; account null: the session ended).
    virtual void SessionSite(uint64_t serial, const TAccount* account, const std::string& host) = 0;
    // Lists every node's sessions; `done` gets nothing while Redis is away.
    virtual void ListUsers(std::function<void(std::vector<cluster::TSessionRecord>)> done) = 0;
    // Hands the call to every other node where the target is signed in
    // (`keep` set when a message may be kept for the target's next sign-in:
    // the link passes it to one of the nodes it calls); `done` says whether
    // one of them was listening (false also while Redis is away), once each
    // has answered. Nodes where the target is invisible are not called.
    virtual void CallElsewhere(const cluster::TCall& call,
                               std::function<void(TCallReach)> done) = 0;
    // How many sessions the other nodes reached: -1 when none of them knew
    // a user target (or none answered in time).
    using TReachedFn = std::function<void(int reached)>;
    // An operator's line for the other nodes' users of the target (kind as
    // TTarget::Kind: all, user NICK, site HOST); `reached`, when given, hears
    // their count.
    virtual void OperatorLine(int targetKind, const std::string& name, uint64_t chat,
                              uint8_t command, const std::string& text, TReachedFn reached) = 0;
    // The operator's KICK for the other nodes' users of the target.
    virtual void KickElsewhere(int targetKind, const std::string& name, TReachedFn reached) = 0;
    // The operator changed the restrictions (TRestrictionDesk): every other
    // node reloads them, ends its sessions they stop and those of `account`
    // (0: none) with `reason`; `reached` hears how many they ended. A node
    // alone tells nobody.
    virtual void RestrictionsChanged(uint64_t /*account*/, const std::string& /*reason*/,
                                     TReachedFn reached) {
        if (reached)
            reached(-1);
    }
    // The account came online in the cluster or went offline: every other
    // node tells its sessions that list it as a friend (RemoteFriendState).
    virtual void FriendState(const TAccount& account, bool online) = 0;
    // `owner` marked `target` (0 none, 1 ignores, 2 blocks): every other node
    // applies it to the two accounts as it holds them (RemoteMarkChange). A
    // node alone tells nobody.
    virtual void MarkChanged(const TAccount& /*owner*/, const TAccount& /*target*/,
                             uint8_t /*mark*/) {}
    // `account` set its PRIVACY_* bits on this node: every other node with
    // sessions of it applies them (RemotePrivacyChange). A node alone tells
    // nobody.
    virtual void PrivacyChanged(const TAccount& /*account*/, uint8_t /*privacy*/) {}
    // An account became present on a site (host folded) through this node's
    // sessions, with its privacy bits, or its last session here left the
    // site. Entered again while present says the bits changed.
    virtual void Entered(const std::string& host, const TAccount& account, uint8_t privacy) = 0;
    virtual void Left(const std::string& host, uint64_t userId) = 0;
    // A public line said on this node.
    virtual void PublicLine(const std::string& host, uint64_t senderId, int language,
                            const std::string& nick, const std::string& text) = 0;
    // The site as the cluster holds it (nothing while Redis is away).
    virtual void SiteSnapshot(const std::string& host, std::function<void(TSiteSnapshot)> done) = 0;
    // The busiest sites of the whole cluster, as last counted; nothing when
    // the link counts no other node (a node alone, or Redis away).
    virtual std::optional<std::vector<TSiteCount>> BusiestSites(size_t limit) const = 0;
    virtual TClusterStatus Status() const = 0;
    // An operator's count of this node's sessions (-1: nobody knew the user
    // target) as it reads before the other nodes answer: a user unknown here
    // may be signed in there.
    virtual int CountBeforeOthers(int here) const { return here < 0 ? 0 : here; }

  protected:
    ~TClusterLink() = default;
};

} // namespace navlet::server
