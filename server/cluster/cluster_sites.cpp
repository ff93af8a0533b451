// The sites' presence through this node, mirrored in Redis for the other
// nodes, and the cluster's count of every site's users.
#include "server/cluster/cluster_node.h"

#include <algorithm>
#include <set>

#include "server/cluster/redis_keys.h"

namespace navlet::server {

using namespace navlet::cluster;
using namespace redis_keys;

void TClusterNode::Announce(const TLocalPresence& presence) {
    const TUserRecord user = UserRecord(presence.account);
    commands.Command({"HSET", PresenceKey(presence.host), PresenceField(presence.account.id),
                      EncodeNodeMessage("", TPresenceRecord{user, presence.privacy})});
    commands.Command({"PUBLISH", SiteChannel(presence.host),
                      EncodeNodeMessage(nodeId, TSiteEntered{user, presence.privacy})});
}

void TClusterNode::WriteSiteCount(const std::string& host) {
    auto it = localCounts.find(host);
    if (it == localCounts.end())
        commands.Command({"HDEL", NodeSitesKey(nodeId), host});
    else
        commands.Command({"HSET", NodeSitesKey(nodeId), host,
                          EncodeNodeMessage("", TSiteUsersRecord{uint32_t(it->second)})});
}

void TClusterNode::Entered(const std::string& host, const TAccount& account, uint8_t privacy) {
    auto [it, arrived] = present.try_emplace({host, account.id});
    TLocalPresence& presence = it->second = TLocalPresence{host, account, privacy};
    presence.account.passwordHash.clear();
    if (!arrived) {
        Announce(presence); // the same presence with new bits: counted once
        return;
    }
    bool firstHere = ++localCounts[host] == 1;
    if (firstHere)
        events.Subscribe(SiteChannel(host));
    Announce(presence);
    WriteSiteCount(host);
    if (firstHere)
        Mend(host);
}

void TClusterNode::Left(const std::string& host, uint64_t userId) {
    present.erase({host, userId});
    commands.Command({"HDEL", PresenceKey(host), PresenceField(userId)});
    commands.Command({"PUBLISH", SiteChannel(host), EncodeNodeMessage(nodeId, TSiteLeft{userId})});
    auto it = localCounts.find(host);
    if (it != localCounts.end() && --it->second == 0) {
        localCounts.erase(it);
        events.Unsubscribe(SiteChannel(host));
    }
    WriteSiteCount(host);
}

void TClusterNode::PublicLine(const std::string& host, uint64_t senderId, int language,
                              const std::string& nick, const std::string& text) {
    std::string lines = LinesKey(host);
    commands.Command(
        {"LPUSH", lines,
         EncodeNodeMessage("", TKeptLine{clock.NowUtcDays(), uint8_t(language), nick, text})});
    commands.Command({"LTRIM", lines, "0", std::to_string(KEPT_LINES - 1)});
    commands.Command({"PEXPIRE", lines, KEPT_LINES_MS});
    commands.Command(
        {"PUBLISH", SiteChannel(host),
         EncodeNodeMessage(nodeId, TSiteLine{senderId, uint8_t(language), nick, text})});
}
// Per site, the sum of the nodes' counts; an account present through two
// nodes counts once, so the sites that several nodes report are counted
// again from their presence hash.
void TClusterNode::CountSites(const std::vector<std::string>& live) {
    struct TTally {
        std::map<std::string, size_t> users;
        std::map<std::string, size_t> nodes; // how many nodes report the site
        size_t waiting = 0;
    };
    auto tally = std::make_shared<TTally>();
    tally->waiting = live.size();
    std::weak_ptr<bool> weak = alive;
    std::set<std::string> liveSet(live.begin(), live.end());
    for (const std::string& node : live) {
        bool sent = commands.Command(
            {"HGETALL", NodeSitesKey(node)},
            [this, weak, tally, liveSet](std::optional<TRedisReply> r) {
                if (weak.expired())
                    return;
                if (r && r->kind == TRedisReply::Array) {
                    for (size_t i = 0; i + 1 < r->items.size(); i += 2) {
                        tally->users[r->items[i].text] += ReadSiteUsers(r->items[i + 1].text);
                        ++tally->nodes[r->items[i].text];
                    }
                }
                if (--tally->waiting > 0)
                    return;
                auto shared = std::make_shared<size_t>(0);
                for (const auto& [host, nodes] : tally->nodes)
                    if (nodes > 1)
                        ++*shared;
                if (*shared == 0) {
                    PublishSiteCounts(tally->users);
                    return;
                }
                for (const auto& [host, nodes] : tally->nodes) {
                    if (nodes < 2)
                        continue;
                    auto distinct = [this, weak, tally, shared, liveSet,
                                     host = host](std::optional<TRedisReply> keys) {
                        if (weak.expired())
                            return;
                        if (keys && keys->kind == TRedisReply::Array) {
                            std::set<std::string> accounts;
                            for (const TRedisReply& key : keys->items) {
                                size_t colon = key.text.find(':');
                                if (colon != std::string::npos &&
                                    liveSet.count(key.text.substr(0, colon)))
                                    accounts.insert(key.text.substr(colon + 1));
                            }
                            tally->users[host] = accounts.size();
                        }
                        if (--*shared == 0)
                            PublishSiteCounts(tally->users);
                    };
                    if (!commands.Command({"HKEYS", PresenceKey(host)}, distinct))
                        return;
                }
            });
        if (!sent)
            return;
    }
}

void TClusterNode::PublishSiteCounts(const std::map<std::string, size_t>& users) {
    clusterSites.clear();
    for (const auto& [host, count] : users)
        if (count > 0)
            clusterSites.push_back(TSiteCount{host, count});
    std::sort(clusterSites.begin(), clusterSites.end(),
              [](const TSiteCount& a, const TSiteCount& b) {
                  return a.users != b.users ? a.users > b.users : a.host < b.host;
              });
}

bool TClusterNode::Believable(const std::string& key) const {
    std::string node = FieldNode(key);
    return node != nodeId && liveNodes.count(node) && !recentlyLeft.count(key);
}

void TClusterNode::SiteSnapshot(const std::string& host, std::function<void(TSiteSnapshot)> done) {
    auto snapshot = std::make_shared<TSiteSnapshot>();
    std::weak_ptr<bool> weak = alive;
    bool sent = commands.Command(
        {"HGETALL", PresenceKey(host)}, [this, weak, snapshot](std::optional<TRedisReply> r) {
            if (weak.expired() || !r || r->kind != TRedisReply::Array)
                return;
            for (size_t i = 0; i + 1 < r->items.size(); i += 2) {
                TRemoteUser user;
                if (Believable(r->items[i].text) &&
                    ReadPresence(r->items[i].text, r->items[i + 1].text, user))
                    snapshot->users.push_back(std::move(user));
            }
        });
    if (!sent) {
        done({});
        return;
    }
    commands.Command({"LRANGE", LinesKey(host), "0", std::to_string(KEPT_LINES - 1)},
                     [weak, snapshot, done](std::optional<TRedisReply> r) {
                         if (weak.expired())
                             return;
                         if (r && r->kind == TRedisReply::Array) {
                             for (auto it = r->items.rbegin(); it != r->items.rend(); ++it) {
                                 TKeptLine line;
                                 if (DecodeNodeRecord(it->text, line))
                                     snapshot->lines.push_back(std::move(line));
                             }
                         }
                         done(std::move(*snapshot));
                     });
}

// Brings this node's view of a site's remote users to the presence hash.
// Keys that arrive by event after the snapshot was asked for stay.
void TClusterNode::Mend(const std::string& host) {
    std::vector<std::string> knownBefore = service.RemoteKeys(host);
    std::weak_ptr<bool> weak = alive;
    commands.Command({"HGETALL", PresenceKey(host)}, [this, weak, host,
                                                      knownBefore](std::optional<TRedisReply> r) {
        if (weak.expired() || !r || r->kind != TRedisReply::Array || liveNodes.empty())
            return;
        std::set<std::string> present;
        for (size_t i = 0; i + 1 < r->items.size(); i += 2) {
            const std::string& key = r->items[i].text;
            if (!Believable(key))
                continue;
            TRemoteUser user;
            if (!ReadPresence(key, r->items[i + 1].text, user))
                continue;
            present.insert(key);
            service.RemoteEntered(host, user.node, user.account, user.privacy);
        }
        for (const std::string& key : knownBefore)
            if (!present.count(key))
                service.RemoteLeft(host, key);
    });
}
std::optional<std::vector<TSiteCount>> TClusterNode::BusiestSites(size_t limit) const {
    if (!commands.Up())
        return std::nullopt; // this node's own count, which the sites keep
    std::vector<TSiteCount> out(clusterSites.begin(),
                                clusterSites.begin() + std::min(limit, clusterSites.size()));
    return out;
}

} // namespace navlet::server
