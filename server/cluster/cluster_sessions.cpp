// Where each account's sessions are (which nodes, how many), messages to one
// node, the cluster's USERS listing and the calls for users on other nodes.
#include "server/cluster/cluster_node.h"

#include <algorithm>

#include "server/cluster/redis_keys.h"

namespace navlet::server {

using namespace navlet::cluster;
using namespace redis_keys;

void TClusterNode::WriteSessions(uint64_t accountId, const TNodeSessions& here) {
    if (here.count == 0) {
        commands.Command({"HDEL", WhereKey(accountId), nodeId});
        return;
    }
    uint32_t count = uint32_t(std::min<size_t>(here.count, MAX_WHERE_COUNT));
    commands.Command(
        {"HSET", WhereKey(accountId), nodeId,
         EncodeNodeMessage("", TWhereRecord{count, here.oldestUs, here.latestUs, here.privacy})});
}

void TClusterNode::AccountSessions(uint64_t accountId, const TNodeSessions& here) {
    if (here.count == 0)
        onlineHere.erase(accountId);
    else
        onlineHere[accountId] = here;
    WriteSessions(accountId, here);
}

void TClusterNode::WhereIs(uint64_t accountId,
                           std::function<void(std::vector<TNodeSessions>)> done) {
    std::weak_ptr<bool> weak = alive;
    bool sent =
        commands.Command({"HGETALL", WhereKey(accountId)}, [this, weak, accountId,
                                                            done](std::optional<TRedisReply> r) {
            if (weak.expired())
                return;
            std::vector<TNodeSessions> out;
            if (r && r->kind == TRedisReply::Array) {
                for (size_t i = 0; i + 1 < r->items.size(); i += 2) {
                    TNodeSessions node;
                    node.node = r->items[i].text;
                    TWhereRecord where;
                    if (node.node == nodeId || !DecodeNodeRecord(r->items[i + 1].text, where))
                        continue; // this node answers for itself
                    node.count = where.count;
                    node.oldestUs = where.oldestUs;
                    node.latestUs = where.latestUs;
                    node.privacy = where.privacy;
                    out.push_back(std::move(node));
                }
            }
            KeepLive(accountId, std::move(out), done);
        });
    if (!sent)
        done({});
}

// Dead nodes hold nobody. A node that no beat has counted yet (it started
// since) is asked for by its key: its users are listed already, so they can
// be found. The entry of a node whose key is gone goes too (a node that
// comes back writes its entries again), so that it is asked for once.
void TClusterNode::KeepLive(uint64_t accountId, std::vector<TNodeSessions> nodes,
                            std::function<void(std::vector<TNodeSessions>)> done) {
    std::vector<std::string> args{"MGET"};
    std::vector<std::string> asked;
    for (const TNodeSessions& node : nodes)
        if (!liveNodes.count(node.node)) {
            asked.push_back(node.node);
            args.push_back(NodeKey(node.node));
        }
    if (asked.empty()) {
        done(std::move(nodes));
        return;
    }
    std::weak_ptr<bool> weak = alive;
    auto answer = [this, weak, accountId, nodes, asked,
                   done](std::optional<TRedisReply> keys) mutable {
        if (weak.expired())
            return;
        if (keys && keys->kind == TRedisReply::Array && keys->items.size() == asked.size())
            for (size_t i = 0; i < asked.size(); ++i) {
                if (keys->items[i].kind != TRedisReply::Nil)
                    liveNodes.insert(asked[i]);
                else
                    commands.Command({"HDEL", WhereKey(accountId), asked[i]});
            }
        std::erase_if(nodes,
                      [&](const TNodeSessions& node) { return !liveNodes.count(node.node); });
        done(std::move(nodes));
    };
    if (!commands.Command(args, answer))
        done({});
}

void TClusterNode::ToNode(const std::string& node, const TNodeMessage& message,
                          std::function<void(bool)> delivered) {
    std::string payload = EncodeNodeMessage(nodeId, message);
    if (!delivered) {
        commands.Command({"PUBLISH", NodeChannel(node), payload});
        return;
    }
    std::weak_ptr<bool> weak = alive;
    bool sent = commands.Command(
        {"PUBLISH", NodeChannel(node), payload}, [weak, delivered](std::optional<TRedisReply> r) {
            if (!weak.expired())
                delivered(r && r->kind == TRedisReply::Integer && r->integer > 0);
        });
    if (!sent)
        delivered(false);
}

void TClusterNode::SessionSite(uint64_t serial, const TAccount* account, const std::string& host) {
    std::string field = std::to_string(serial);
    if (!account) {
        sessionSites.erase(serial);
        commands.Command({"HDEL", NodeUsersKey(nodeId), field});
        return;
    }
    std::string line = EncodeNodeMessage("", TSessionRecord{account->nick, account->id, host});
    sessionSites[serial] = line;
    commands.Command({"HSET", NodeUsersKey(nodeId), field, line});
}

// Every live node's sessions, this one's included, as Redis holds them.
void TClusterNode::ListUsers(std::function<void(std::vector<TSessionRecord>)> done) {
    struct TListing {
        std::vector<TSessionRecord> users;
        size_t waiting = 0;
    };
    std::vector<std::string> nodes(liveNodes.begin(), liveNodes.end());
    if (!commands.Up() || nodes.empty()) {
        done({});
        return;
    }
    auto listing = std::make_shared<TListing>();
    listing->waiting = nodes.size();
    std::weak_ptr<bool> weak = alive;
    for (const std::string& node : nodes) {
        auto read = [weak, listing, done](std::optional<TRedisReply> r) {
            if (weak.expired())
                return;
            TSessionRecord session;
            if (r && r->kind == TRedisReply::Array)
                for (const TRedisReply& item : r->items)
                    if (DecodeNodeRecord(item.text, session))
                        listing->users.push_back(std::move(session));
            if (--listing->waiting == 0)
                done(std::move(listing->users));
        };
        if (!commands.Command({"HVALS", NodeUsersKey(node)}, read))
            read(std::nullopt);
    }
}

// This node's own users were asked already. "Reached" means a node was
// listening on its channel: a node that died since its last beat hears
// nothing, and the caller's node then answers as for a user offline. One
// node of those called may keep the message, so that it is kept once.
void TClusterNode::CallElsewhere(const cluster::TCall& call, std::function<void(TCallReach)> done) {
    WhereIs(call.target, [this, call, done](std::vector<TNodeSessions> nodes) {
        const bool anywhere = !nodes.empty();
        std::erase_if(nodes, [](const TNodeSessions& node) {
            return (node.privacy & PRIVACY_INVISIBLE) != 0;
        });
        if (nodes.empty()) {
            done(anywhere ? TCallReach::Hidden : TCallReach::Nobody);
            return;
        }
        struct TCalling {
            size_t waiting = 0;
            bool reached = false;
        };
        auto calling = std::make_shared<TCalling>();
        calling->waiting = nodes.size();
        for (size_t i = 0; i < nodes.size(); ++i) {
            TCall message = call;
            message.keep = call.keep && i == 0;
            ToNode(nodes[i].node, message, [calling, done](bool listening) {
                calling->reached = calling->reached || listening;
                if (--calling->waiting == 0)
                    done(calling->reached ? TCallReach::Reached : TCallReach::Nobody);
            });
        }
    });
}

} // namespace navlet::server
