// This server as one node of a cluster on Redis. What lives where:
//   navlet:node:ID        this node's heartbeat, expiring after `ttl`
//   navlet:nodes          the set of node ids seen (dead ones are swept out)
//   navlet:node-sites:ID  hash host -> number of this node's users there
//   navlet:presence:HOST  hash NODE:ACCOUNT -> the account's record
//   navlet:lines:HOST     list of the site's latest public lines, newest first
//   navlet:site:HOST      channel of the site's newcomers, leavers, lines
//   navlet:where:ACCOUNT  hash NODE -> the account's sessions there (count,
//                         oldest sign-in, latest activity)
//   navlet:node-users:ID  hash session -> nick, account and site, for USERS
//   navlet:to:ID          channel of the calls, chat and window messages for
//                         this node's users
//   navlet:operator       channel of the operator's notices and commands
// Every `heartbeat` the node renews its key, counts the cluster's sites,
// compares each of its sites with the presence hash (what a lost message
// missed is mended there), and sweeps out nodes whose key expired: their
// users leave every site within ttl + heartbeat of their node's death.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include "server/cluster/redis_link.h"
#include "server/core/service.h"

namespace navlet::server {

struct TClusterConfig {
    std::string redis; // redis://[[USER]:PASSWORD@]HOST:PORT[/DB]
    // Redis' password when the address holds none (from the configuration's
    // password file); NAVLET_REDIS_PASSWORD is read when this is empty too.
    std::string password;
    std::chrono::milliseconds heartbeat{2000};
    std::chrono::milliseconds ttl{10000};
    // A Redis command unanswered this long means Redis is unreachable, as
    // if it had stopped. Redis answers in well under a millisecond and its
    // ordinary stalls (a snapshot's fork, a slow disk under the append-only
    // file) last tens to hundreds; ten times that is still short enough that
    // a cross-node search or line waits no longer, and a node serves alone
    // long before the others' keys would expire.
    std::chrono::milliseconds replyDeadline{2000};
};

class TClusterNode final : public TClusterLink {
  public:
    // What the node measures (how long a leaver is remembered, how long an
    // operator command waits for the others' counts, the dates of kept
    // lines) it reads on `clock`, which outlives it; timers only wake it.
    TClusterNode(asio::io_context& io, TService& service, TClusterConfig config,
                 TRedisAddress address, const TClock& clock);
    ~TClusterNode();

    void Start();
    // The Redis address as logs show it, without its password.
    const std::string& RedisName() const { return config.redis; }

    void Entered(const std::string& host, const TAccount& account, uint8_t privacy) override;
    void Left(const std::string& host, uint64_t userId) override;
    void PublicLine(const std::string& host, uint64_t senderId, int language,
                    const std::string& nick, const std::string& text) override;
    void SiteSnapshot(const std::string& host, std::function<void(TSiteSnapshot)> done) override;
    std::optional<std::vector<TSiteCount>> BusiestSites(size_t limit) const override;
    TClusterStatus Status() const override;
    void AccountSessions(uint64_t accountId, const TNodeSessions& here) override;
    void WhereIs(uint64_t accountId, std::function<void(std::vector<TNodeSessions>)> done) override;
    void ToNode(const std::string& node, const cluster::TNodeMessage& message,
                std::function<void(bool)> delivered) override;
    void KickElsewhere(int targetKind, const std::string& name, TReachedFn reached) override;
    void RestrictionsChanged(uint64_t account, const std::string& reason,
                             TReachedFn reached) override;
    void FriendState(const TAccount& account, bool online) override;
    void MarkChanged(const TAccount& owner, const TAccount& target, uint8_t mark) override;
    void PrivacyChanged(const TAccount& account, uint8_t privacy) override;
    void SessionSite(uint64_t serial, const TAccount* account, const std::string& host) override;
    void ListUsers(std::function<void(std::vector<cluster::TSessionRecord>)> done) override;
    void CallElsewhere(const cluster::TCall& call, std::function<void(TCallReach)> done) override;
    void OperatorLine(int targetKind, const std::string& name, uint64_t chat, uint8_t command,
                      const std::string& text, TReachedFn reached) override;

  private:
    // An account present on a site through this node.
    struct TLocalPresence {
        std::string host;
        TAccount account;
        uint8_t privacy = PRIVACY_DEFAULT;
    };
    // cluster_node.cpp: Redis coming and going, the events, the heartbeat
    // and the sweep of dead nodes.
    void CommandsUp();
    void CommandsDown(const std::string& why);
    void OnEvent(const std::string& channel, const std::string& payload);
    void OnNodeEvent(const cluster::TNodeEnvelope& event);
    void Beat();
    void ScheduleBeat();
    void Sweep(const std::string& deadNode);
    void LogMembers(const std::vector<std::string>& live);
    std::string PresenceField(uint64_t accountId) const;

    // cluster_sites.cpp: the sites' presence mirror and the cluster's counts.
    void Announce(const TLocalPresence& presence);
    void WriteSiteCount(const std::string& host);
    void CountSites(const std::vector<std::string>& liveNodes);
    void PublishSiteCounts(const std::map<std::string, size_t>& users);
    void Mend(const std::string& host);
    // Whether a presence entry of another node is to be believed now.
    bool Believable(const std::string& key) const;

    // cluster_sessions.cpp: where the accounts' sessions are.
    void WriteSessions(uint64_t accountId, const TNodeSessions& here);
    void KeepLive(uint64_t accountId, std::vector<TNodeSessions> nodes,
                  std::function<void(std::vector<TNodeSessions>)> done);

    // cluster_operator.cpp: the operator's commands and their counts.
    void OnOperatorEvent(const cluster::TNodeEnvelope& event);
    void ToOperatorChannel(cluster::TNodeMessage message, TReachedFn reached);
    void OnCount(const cluster::TOperatorCount& answer);
    void FinishCount(uint64_t id);
    void FinishOverdueCounts();
    struct TPendingCount;
    bool AllCounted(const TPendingCount& pending) const;

    TService& service;
    TClusterConfig config;
    const TClock& clock;
    TRedisLink commands;
    TRedisLink events;
    asio::steady_timer beat;
    std::string nodeId;
    std::map<std::pair<std::string, uint64_t>, TLocalPresence> present; // by host, account
    std::map<std::string, size_t> localCounts;    // host -> accounts present through this node
    std::map<uint64_t, TNodeSessions> onlineHere; // accounts with a session on this node
    std::map<uint64_t, std::string> sessionSites; // session serial -> packed USERS line
    std::set<std::string> liveNodes;
    std::set<std::string> loggedNodes; // the other nodes as the log last told them
    // Redis was away: what changed here meanwhile never reached it, and a
    // Redis that was only frozen still holds this node's key, so the next
    // renewal writes everything again whether the key lapsed or not.
    bool writeAll = false;
    std::vector<TSiteCount> clusterSites; // all sites, busiest first
    // Keys that left lately: a presence snapshot taken before they left must
    // not bring them back.
    std::map<std::string, int64_t> recentlyLeft; // key -> clock.NowMs() when it left
    // Operator commands waiting for the other nodes' counts, by request.
    struct TPendingCount {
        long expected = -1; // answers to wait for; -1 until PUBLISH has counted them
        long answered = 0;
        int64_t deadlineMs = 0; // on the clock: then the count goes out as it stands
        bool known = false;     // some node knew the target
        int sum = 0;
        TReachedFn reached;
        std::shared_ptr<asio::steady_timer> timer;
    };
    std::map<uint64_t, TPendingCount> counts;
    uint64_t nextCount = 1;
    std::shared_ptr<bool> alive;
};

} // namespace navlet::server
