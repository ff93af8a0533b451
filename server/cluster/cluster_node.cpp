#include "server/cluster/cluster_node.h"

#include <sodium.h>

#include "server/cluster/redis_keys.h"
#include "server/log/log.h"

namespace navlet::server {
namespace {

using namespace navlet::cluster;
using namespace redis_keys;
static_assert(MAX_NODE_LANGUAGE == MAX_LANGUAGE);
static_assert(DEFAULT_PRIVACY == PRIVACY_DEFAULT &&
              MAX_PRIVACY ==
                  (PRIVACY_INVISIBLE | PRIVACY_VISIBLE_TO_FRIENDS | PRIVACY_TELL_FRIENDS));

std::string FreshNodeId() {
    unsigned char bytes[8];
    randombytes_buf(bytes, sizeof bytes);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace

TClusterNode::TClusterNode(asio::io_context& io, TService& service, TClusterConfig config,
                           TRedisAddress address, const TClock& clock)
    : service(service), config(std::move(config)), clock(clock),
      commands(io, address, "commands", this->config.replyDeadline),
      events(io, address, "events", this->config.replyDeadline), beat(io),
      alive(std::make_shared<bool>(true)) {
    // The node's logs name Redis by this, never with its password.
    this->config.redis = RedisAddressName(address);
    this->config.password.clear();
    if (sodium_init() < 0)
        return; // randombytes falls back to its own source
}

TClusterNode::~TClusterNode() {
    *alive = false;
    beat.cancel();
}

std::string TClusterNode::PresenceField(uint64_t accountId) const {
    return RemoteKey(nodeId, accountId);
}

void TClusterNode::Start() {
    nodeId = FreshNodeId();
    commands.OnUp([this] { CommandsUp(); });
    commands.OnDown([this](const std::string& why) { CommandsDown(why); });
    events.OnUp([this] {
        events.Subscribe(NodeChannel(nodeId));
        events.Subscribe(OPERATOR_CHANNEL);
        for (const auto& [host, count] : localCounts)
            events.Subscribe(SiteChannel(host));
    });
    events.OnMessage([this](const std::string& channel, const std::string& payload) {
        OnEvent(channel, payload);
    });
    log::Info("cluster", "node started", {{"node", nodeId}, {"redis", config.redis}});
    commands.Start();
    events.Start();
    ScheduleBeat();
}

TClusterStatus TClusterNode::Status() const {
    return TClusterStatus{commands.Up(), liveNodes.size(), nodeId};
}

void TClusterNode::CommandsUp() {
    log::Info("cluster", "Redis reachable: sharing presence with the other nodes",
              {{"node", nodeId}, {"redis", config.redis}});
    Beat();
}

// The other nodes' users are unknown from here on: they leave this node's
// sites, and come back through the first comparison after Redis returns.
void TClusterNode::CommandsDown(const std::string& why) {
    log::Error("cluster", "Redis lost: serving this node's users only",
               {{"node", nodeId}, {"redis", config.redis}, {"error", why}});
    // The subscriptions' connection may be as stuck as this one, and it
    // never waits for an answer: it starts afresh and subscribes again.
    events.Drop(why);
    writeAll = true;
    service.DropRemote("");
    liveNodes.clear();
    clusterSites.clear();
}
// Events come from other nodes: the codec checked every field; what is left
// is whether this channel carries that kind.
void TClusterNode::OnEvent(const std::string& channel, const std::string& payload) {
    TNodeEnvelope event;
    if (DecodeNodeMessage(payload, event) != TNodeDecodeError::None || event.from.empty() ||
        event.from == nodeId)
        return;
    // A node that speaks is alive, whether or not a beat has counted it yet
    // (while this node cannot reach Redis it counts nobody).
    if (commands.Up())
        liveNodes.insert(event.from);
    if (channel == NodeChannel(nodeId)) {
        OnNodeEvent(event);
        return;
    }
    if (channel == OPERATOR_CHANNEL) {
        OnOperatorEvent(event);
        return;
    }
    const std::string prefix = SiteChannel("");
    if (channel.rfind(prefix, 0) != 0)
        return;
    std::string host = channel.substr(prefix.size());
    const std::string& from = event.from;
    std::visit(
        TOverloaded{[&](const TSiteEntered& in) {
                        recentlyLeft.erase(RemoteKey(from, in.user.id));
                        service.RemoteEntered(host, from, FromRecord(in.user), in.privacy);
                    },
                    [&](const TSiteLeft& out) {
                        std::string key = RemoteKey(from, out.user);
                        recentlyLeft[key] = clock.NowMs();
                        service.RemoteLeft(host, key);
                    },
                    [&](const TSiteLine& line) {
                        service.RemoteLine(host, line.sender, line.language, line.nick, line.text);
                    },
                    // The node and operator channels' kinds.
                    TIgnoreKinds<TInvite, TInviteFailed, TChatJoined, TChatLine, TChatLeft, TTrim,
                                 TCall, TOperatorCount, TOperatorLine, TOperatorKick, TFriendState,
                                 TMarkChange, TRestrictionsChanged, TPrivacyChange>{},
                    TIgnoreRecords{}},
        event.message);
}

// A count answers this node's operator command; the rest is the service's
// (TService::RemoteEvent, which names the kinds it takes).
void TClusterNode::OnNodeEvent(const TNodeEnvelope& event) {
    if (auto* count = std::get_if<TOperatorCount>(&event.message)) {
        OnCount(*count);
        return;
    }
    service.RemoteEvent(event.from, event.message);
}
void TClusterNode::ScheduleBeat() {
    beat.expires_after(config.heartbeat);
    beat.async_wait([this, weak = std::weak_ptr<bool>(alive)](std::error_code ec) {
        if (ec || weak.expired())
            return;
        Beat();
        ScheduleBeat();
    });
}

// Renews this node's key; when it had expired (Redis restarted, or the
// node was swept after a stall) or Redis was away, this node's sessions are
// written again.
void TClusterNode::Beat() {
    FinishOverdueCounts();
    if (!commands.Up())
        return;
    int64_t now = clock.NowMs();
    std::erase_if(recentlyLeft,
                  [&](const auto& entry) { return now - entry.second > config.ttl.count(); });
    std::weak_ptr<bool> weak = alive;
    commands.Command(
        {"SET", NodeKey(nodeId), "1", "PX", std::to_string(config.ttl.count()), "GET"},
        [this, weak](std::optional<TRedisReply> r) {
            if (weak.expired() || !r || (r->kind != TRedisReply::Nil && !writeAll))
                return;
            writeAll = false;
            commands.Command({"DEL", NodeSitesKey(nodeId)});
            for (const auto& [where, presence] : present)
                Announce(presence);
            for (const auto& [account, sessions] : onlineHere)
                WriteSessions(account, sessions);
            commands.Command({"DEL", NodeUsersKey(nodeId)});
            for (const auto& [serial, line] : sessionSites)
                commands.Command({"HSET", NodeUsersKey(nodeId), std::to_string(serial), line});
            for (const auto& [host, count] : localCounts)
                WriteSiteCount(host);
        });
    commands.Command({"SADD", NODES, nodeId});
    commands.Command({"SMEMBERS", NODES}, [this, weak](std::optional<TRedisReply> members) {
        if (weak.expired() || !members || members->kind != TRedisReply::Array ||
            members->items.empty())
            return;
        std::vector<std::string> args{"MGET"};
        std::vector<std::string> ids;
        for (const TRedisReply& m : members->items) {
            ids.push_back(m.text);
            args.push_back(NodeKey(m.text));
        }
        commands.Command(args, [this, weak, ids](std::optional<TRedisReply> keys) {
            if (weak.expired() || !keys || keys->kind != TRedisReply::Array ||
                keys->items.size() != ids.size())
                return;
            liveNodes.clear();
            std::vector<std::string> live;
            for (size_t i = 0; i < ids.size(); ++i) {
                if (keys->items[i].kind == TRedisReply::Nil) {
                    Sweep(ids[i]);
                    continue;
                }
                liveNodes.insert(ids[i]);
                live.push_back(ids[i]);
            }
            LogMembers(live);
            CountSites(live);
            for (const auto& [host, count] : localCounts)
                Mend(host);
        });
    });
}
// The nodes that a beat found alive, against those it found before: each
// one that came or went is told once (a node that stops beating is told in
// Sweep).
void TClusterNode::LogMembers(const std::vector<std::string>& live) {
    std::set<std::string> now;
    for (const std::string& id : live)
        if (id != nodeId)
            now.insert(id);
    for (const std::string& id : now)
        if (!loggedNodes.contains(id))
            log::Info("cluster", "node joined", {{"node", id}, {"nodes", now.size() + 1}});
    for (const std::string& id : loggedNodes)
        if (!now.contains(id))
            log::Info("cluster", "node left", {{"node", id}, {"why", "left the node list"}});
    loggedNodes = std::move(now);
}

// A node whose key expired: its users leave here at once, and its entries
// leave Redis (any node may do this; doing it twice does no harm).
void TClusterNode::Sweep(const std::string& deadNode) {
    if (deadNode == nodeId)
        return; // this node's own key lapsed: the next renewal announces it again
    log::Info("cluster", "node left", {{"node", deadNode}, {"why", "stopped beating"}});
    loggedNodes.erase(deadNode);
    service.DropRemote(deadNode);
    std::weak_ptr<bool> weak = alive;
    commands.Command({"HKEYS", NodeSitesKey(deadNode)}, [this, weak, deadNode](
                                                            std::optional<TRedisReply> hosts) {
        if (weak.expired() || !hosts || hosts->kind != TRedisReply::Array)
            return;
        for (const TRedisReply& host : hosts->items) {
            std::string presence = PresenceKey(host.text);
            commands.Command({"HKEYS", presence},
                             [this, weak, deadNode, presence](std::optional<TRedisReply> keys) {
                                 if (weak.expired() || !keys || keys->kind != TRedisReply::Array)
                                     return;
                                 std::vector<std::string> args{"HDEL", presence};
                                 for (const TRedisReply& key : keys->items)
                                     if (key.text.rfind(deadNode + ":", 0) == 0)
                                         args.push_back(key.text);
                                 if (args.size() > 2)
                                     commands.Command(args);
                             });
        }
        commands.Command({"DEL", NodeSitesKey(deadNode)});
        commands.Command({"DEL", NodeUsersKey(deadNode)});
        commands.Command({"SREM", NODES, deadNode});
    });
}

} // namespace navlet::server
