#include "server/cluster/cluster_node.h"

#include <algorithm>
#include <cstdio>
#include <sodium.h>

#include "server/cluster/fields.h"

namespace navlet::server {
namespace {

const std::string PREFIX = "navlet:";
const std::string NODES = PREFIX + "nodes";
constexpr size_t MAX_CLUSTER_TEXT = 1024;

std::string NodeKey(const std::string& id) {
    return PREFIX + "node:" + id;
}
std::string NodeSitesKey(const std::string& id) {
    return PREFIX + "node-sites:" + id;
}
std::string PresenceKey(const std::string& host) {
    return PREFIX + "presence:" + host;
}
std::string LinesKey(const std::string& host) {
    return PREFIX + "lines:" + host;
}
// Lines a site keeps in Redis for newcomers, and how long an idle site's stay.
constexpr int KEPT_LINES = 50;
const std::string KEPT_LINES_MS = "600000";

std::string SiteChannel(const std::string& host) {
    return PREFIX + "site:" + host;
}

std::string WhereKey(uint64_t accountId) {
    return PREFIX + "where:" + std::to_string(accountId);
}
std::string NodeUsersKey(const std::string& id) {
    return PREFIX + "node-users:" + id;
}
const std::string OPERATOR_CHANNEL = PREFIX + "operator";

std::string NodeChannel(const std::string& id) {
    return PREFIX + "to:" + id;
}

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

bool ParseId(const std::string& text, uint64_t& out) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(text);
    return out != 0;
}

std::string Record(const TAccount& account) {
    return PackFields({std::to_string(account.id), std::string(1, account.gender), account.nick});
}

// An account record as another node wrote it, checked as the store would.
bool ReadRecord(const std::vector<std::string>& f, size_t at, TAccount& out) {
    if (f.size() < at + 3 || !ParseId(f[at], out.id) || f[at + 1].size() != 1 ||
        !IsValidGender(f[at + 1][0]) || !IsValidNick(f[at + 2]))
        return false;
    out.gender = f[at + 1][0];
    out.nick = f[at + 2];
    return true;
}

// A kept public line as a node wrote it: stamp, language, nick, text.
bool ReadLine(const std::string& packed, TPublicLine& out) {
    std::vector<std::string> f;
    if (!UnpackFields(packed, f) || f.size() != 4 || f[0].empty() || f[0].size() > 24 ||
        f[0].find_first_not_of("0123456789.") != std::string::npos || f[1].empty() ||
        f[1].size() > 2 || f[1].find_first_not_of("0123456789") != std::string::npos ||
        !IsValidNick(f[2]) || f[3].size() > MAX_CLUSTER_TEXT)
        return false;
    out.stamp = std::strtod(f[0].c_str(), nullptr);
    int language = std::stoi(f[1]);
    out.language = IsValidLanguage(language) ? language : 0;
    out.nick = f[2];
    out.text = f[3];
    return true;
}

void Log(const std::string& line) {
    std::fprintf(stderr, "navlet-server: cluster: %s\n", line.c_str());
}

} // namespace

TClusterNode::TClusterNode(asio::io_context& io, TService& service, TClusterConfig config,
                           TRedisAddress address)
    : service(service), config(std::move(config)), commands(io, address, "commands"),
      events(io, address, "events"), beat(io), alive(std::make_shared<bool>(true)) {
    if (sodium_init() < 0)
        return; // randombytes falls back to its own source
}

TClusterNode::~TClusterNode() {
    *alive = false;
    beat.cancel();
}

std::string TClusterNode::PresenceField(uint64_t accountId) const {
    return nodeId + ":" + std::to_string(accountId);
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
    Log("node " + nodeId + ", Redis " + config.redis);
    commands.Start();
    events.Start();
    ScheduleBeat();
}

TClusterStatus TClusterNode::Status() const {
    return TClusterStatus{commands.Up(), liveNodes.size(), nodeId};
}

void TClusterNode::CommandsUp() {
    Log("Redis reachable: sharing presence with the other nodes");
    Beat();
}

// The other nodes' users are unknown from here on: they leave this node's
// sites, and come back through the first comparison after Redis returns.
void TClusterNode::CommandsDown(const std::string& why) {
    Log("Redis unreachable (" + why + "): serving this node's users only");
    service.DropRemote("");
    liveNodes.clear();
    clusterSites.clear();
}

void TClusterNode::Announce(const TLocalPresence& presence) {
    std::string key = PresenceField(presence.account.id);
    commands.Command({"HSET", PresenceKey(presence.host), key, Record(presence.account)});
    commands.Command(
        {"PUBLISH", SiteChannel(presence.host),
         PackFields({"in", nodeId, key, std::to_string(presence.account.id),
                     std::string(1, presence.account.gender), presence.account.nick})});
}

void TClusterNode::WriteSiteCount(const std::string& host) {
    auto it = localCounts.find(host);
    if (it == localCounts.end())
        commands.Command({"HDEL", NodeSitesKey(nodeId), host});
    else
        commands.Command({"HSET", NodeSitesKey(nodeId), host, std::to_string(it->second)});
}

void TClusterNode::Entered(const std::string& host, const TAccount& account) {
    TLocalPresence& presence = present[{host, account.id}] = TLocalPresence{host, account};
    presence.account.passwordHash.clear();
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
    std::string key = PresenceField(userId);
    commands.Command({"HDEL", PresenceKey(host), key});
    commands.Command(
        {"PUBLISH", SiteChannel(host), PackFields({"out", nodeId, key, std::to_string(userId)})});
    auto it = localCounts.find(host);
    if (it != localCounts.end() && --it->second == 0) {
        localCounts.erase(it);
        events.Unsubscribe(SiteChannel(host));
    }
    WriteSiteCount(host);
}

void TClusterNode::PublicLine(const std::string& host, uint64_t senderId, int language,
                              const std::string& nick, const std::string& text) {
    double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.8f", UnixToDays(now));
    std::string lines = LinesKey(host);
    commands.Command({"LPUSH", lines, PackFields({stamp, std::to_string(language), nick, text})});
    commands.Command({"LTRIM", lines, "0", std::to_string(KEPT_LINES - 1)});
    commands.Command({"PEXPIRE", lines, KEPT_LINES_MS});
    commands.Command({"PUBLISH", SiteChannel(host),
                      PackFields({"line", nodeId, std::to_string(senderId),
                                  std::to_string(language), nick, text})});
}

// Events come from other nodes, so every field is checked before use.
void TClusterNode::OnEvent(const std::string& channel, const std::string& payload) {
    std::vector<std::string> f;
    if (!UnpackFields(payload, f) || f.size() < 3 || f[1] == nodeId)
        return;
    if (channel == NodeChannel(nodeId)) {
        if (f[0] == "call")
            OnCall(f);
        else if (f[0] == "count")
            OnCount(f);
        else
            service.RemoteEvent(f);
        return;
    }
    if (channel == OPERATOR_CHANNEL) {
        OnOperatorLine(f);
        return;
    }
    const std::string prefix = SiteChannel("");
    if (channel.rfind(prefix, 0) != 0)
        return;
    std::string host = channel.substr(prefix.size());
    if (f[0] == "in" && f.size() == 6) {
        TAccount account;
        if (ReadRecord(f, 3, account) && f[2].rfind(f[1] + ":", 0) == 0) {
            recentlyLeft.erase(f[2]);
            service.RemoteEntered(host, f[2], account);
        }
    } else if (f[0] == "out" && f.size() == 4) {
        recentlyLeft[f[2]] = std::chrono::steady_clock::now();
        service.RemoteLeft(host, f[2]);
    } else if (f[0] == "line" && f.size() == 6) {
        uint64_t sender = 0;
        if (!ParseId(f[2], sender) || f[3].size() > 2 ||
            f[3].find_first_not_of("0123456789") != std::string::npos || f[3].empty() ||
            !IsValidNick(f[4]) || f[5].size() > MAX_CLUSTER_TEXT)
            return;
        int language = std::stoi(f[3]);
        service.RemoteLine(host, sender, IsValidLanguage(language) ? language : 0, f[4], f[5]);
    }
}

void TClusterNode::WriteSessions(uint64_t accountId, const TNodeSessions& here) {
    if (here.count == 0) {
        commands.Command({"HDEL", WhereKey(accountId), nodeId});
        return;
    }
    commands.Command({"HSET", WhereKey(accountId), nodeId,
                      std::to_string(here.count) + " " + std::to_string(here.oldestUs) + " " +
                          std::to_string(here.latestUs)});
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
    bool sent = commands.Command(
        {"HGETALL", WhereKey(accountId)}, [this, weak, done](std::optional<TRedisReply> r) {
            if (weak.expired())
                return;
            std::vector<TNodeSessions> out;
            if (r && r->kind == TRedisReply::Array) {
                for (size_t i = 0; i + 1 < r->items.size(); i += 2) {
                    TNodeSessions node;
                    node.node = r->items[i].text;
                    if (node.node == nodeId || !liveNodes.count(node.node))
                        continue; // this node answers for itself; dead ones hold nobody
                    unsigned long long count = 0;
                    long long oldest = 0, latest = 0;
                    if (std::sscanf(r->items[i + 1].text.c_str(), "%llu %lld %lld", &count, &oldest,
                                    &latest) != 3 ||
                        count > 1000)
                        continue;
                    node.count = size_t(count);
                    node.oldestUs = oldest;
                    node.latestUs = latest;
                    out.push_back(std::move(node));
                }
            }
            done(std::move(out));
        });
    if (!sent)
        done({});
}

void TClusterNode::ToNode(const std::string& node, std::vector<std::string> fields) {
    if (fields.empty())
        return;
    fields.insert(fields.begin() + 1, nodeId);
    commands.Command({"PUBLISH", NodeChannel(node), PackFields(fields)});
}

void TClusterNode::SessionSite(uint64_t serial, const TAccount* account, const std::string& host) {
    std::string field = std::to_string(serial);
    if (!account) {
        sessionSites.erase(serial);
        commands.Command({"HDEL", NodeUsersKey(nodeId), field});
        return;
    }
    std::string line = PackFields({account->nick, std::to_string(account->id), host});
    sessionSites[serial] = line;
    commands.Command({"HSET", NodeUsersKey(nodeId), field, line});
}

// Every live node's sessions, this one's included, as Redis holds them.
void TClusterNode::ListUsers(std::function<void(std::vector<std::array<std::string, 3>>)> done) {
    struct TListing {
        std::vector<std::array<std::string, 3>> users;
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
            std::vector<std::string> f;
            uint64_t id = 0;
            if (r && r->kind == TRedisReply::Array)
                for (const TRedisReply& item : r->items)
                    if (UnpackFields(item.text, f) && f.size() == 3 && IsValidNick(f[0]) &&
                        ParseId(f[1], id))
                        listing->users.push_back({f[0], f[1], f[2]});
            if (--listing->waiting == 0)
                done(std::move(listing->users));
        };
        if (!commands.Command({"HVALS", NodeUsersKey(node)}, read))
            read(std::nullopt);
    }
}

void TClusterNode::CallElsewhere(const TRemoteCall& call, std::function<void(bool)> done) {
    std::weak_ptr<bool> weak = alive;
    bool sent = commands.Command({"HGETALL", WhereKey(call.target)}, [this, weak, call, done](
                                                                         std::optional<TRedisReply>
                                                                             r) {
        if (weak.expired())
            return;
        bool reached = false;
        if (r && r->kind == TRedisReply::Array) {
            std::string message = PackFields({"call", nodeId, std::to_string(call.target),
                                              call.withMessage ? "1" : "0", call.callerNick,
                                              call.message.substr(0, MAX_CLUSTER_TEXT),
                                              call.callerSite.substr(0, MAX_CLUSTER_TEXT)});
            for (size_t i = 0; i < r->items.size(); i += 2) {
                const TRedisReply& node = r->items[i];
                if (node.text == nodeId || !liveNodes.count(node.text))
                    continue; // its own users were asked already; dead ones answer nobody
                reached = commands.Command({"PUBLISH", NodeChannel(node.text), message}) || reached;
            }
        }
        done(reached);
    });
    if (!sent)
        done(false);
}

void TClusterNode::OnCall(const std::vector<std::string>& f) {
    TRemoteCall call;
    if (f[0] != "call" || f.size() != 7 || !ParseId(f[2], call.target) ||
        (f[3] != "0" && f[3] != "1") || !IsValidNick(f[4]) || f[5].size() > MAX_CLUSTER_TEXT ||
        f[6].size() > MAX_CLUSTER_TEXT)
        return;
    call.withMessage = f[3] == "1";
    call.callerNick = f[4];
    call.message = f[5];
    call.callerSite = f[6];
    service.RemoteCall(call);
}

// An operator's line or KICK for every node. With `reached`, every other
// node answers its count on this node's channel (PUBLISH says how many
// nodes listen), and the total goes out when all have answered or a second
// has passed.
void TClusterNode::ToOperatorChannel(std::vector<std::string> fields, TReachedFn reached) {
    if (!reached) {
        fields.push_back("0");
        commands.Command({"PUBLISH", OPERATOR_CHANNEL, PackFields(fields)});
        return;
    }
    uint64_t id = nextCount++;
    fields.push_back(std::to_string(id));
    auto timer = std::make_shared<asio::steady_timer>(beat.get_executor());
    std::weak_ptr<bool> weak = alive;
    bool sent = commands.Command({"PUBLISH", OPERATOR_CHANNEL, PackFields(fields)},
                                 [this, weak, id](std::optional<TRedisReply> r) {
                                     if (weak.expired())
                                         return;
                                     auto it = counts.find(id);
                                     if (it == counts.end())
                                         return;
                                     // Every node listens, this one too.
                                     it->second.expected =
                                         r && r->kind == TRedisReply::Integer ? r->integer - 1 : 0;
                                     if (AllCounted(it->second))
                                         FinishCount(id);
                                 });
    if (!sent) {
        reached(-1);
        return;
    }
    counts[id] = TPendingCount{-1, 0, false, 0, std::move(reached), timer};
    timer->expires_after(std::chrono::seconds(1));
    timer->async_wait([this, weak, id](std::error_code ec) {
        if (!ec && !weak.expired())
            FinishCount(id);
    });
}

void TClusterNode::OperatorLine(int targetKind, const std::string& name, uint64_t chat,
                                uint8_t command, const std::string& text, TReachedFn reached) {
    ToOperatorChannel({"op", nodeId, std::to_string(targetKind), name, std::to_string(chat),
                       std::to_string(command), text.substr(0, MAX_CLUSTER_TEXT)},
                      std::move(reached));
}

void TClusterNode::KickElsewhere(int targetKind, const std::string& name, TReachedFn reached) {
    ToOperatorChannel({"kick", nodeId, std::to_string(targetKind), name}, std::move(reached));
}

void TClusterNode::OnOperatorLine(const std::vector<std::string>& f) {
    auto small = [](const std::string& t, size_t digits) {
        return !t.empty() && t.size() <= digits &&
               t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (f.size() < 5 || !small(f.back(), 19) || !small(f[2], 1) ||
        std::stoi(f[2]) > TTarget::Site || f[3].size() > 255)
        return;
    TTarget target{TTarget::Kind(std::stoi(f[2])), f[3]};
    int count = 0;
    if (f[0] == "kick" && f.size() == 5) {
        count = service.RemoteKick(target);
    } else if (f[0] == "op" && f.size() == 8 && small(f[4], 5) && small(f[5], 3) &&
               f[6].size() <= MAX_CLUSTER_TEXT) {
        int command = std::stoi(f[5]);
        uint64_t chat = std::stoull(f[4]);
        if (command > 255 || chat > 0xFFFF)
            return;
        count = service.RemoteOperatorLine(target, ChatId(chat), uint8_t(command), f[6]);
    } else {
        return;
    }
    if (f.back() != "0")
        commands.Command({"PUBLISH", NodeChannel(f[1]),
                          PackFields({"count", nodeId, f.back(), std::to_string(count)})});
}

// fields: count NODE REQUEST N (N = -1: the user is unknown there)
void TClusterNode::OnCount(const std::vector<std::string>& f) {
    if (f.size() != 4 || f[2].size() > 19 || f[3].size() > 10)
        return;
    char* end = nullptr;
    uint64_t id = std::strtoull(f[2].c_str(), &end, 10);
    long count = std::strtol(f[3].c_str(), nullptr, 10);
    auto it = counts.find(id);
    if (it == counts.end())
        return;
    TPendingCount& pending = it->second;
    ++pending.answered;
    if (count >= 0) {
        pending.known = true;
        pending.sum += int(std::min(count, 1000000L));
    }
    if (AllCounted(pending))
        FinishCount(id);
}

// Every listener answered; or every node known alive did (a listener whose
// node went away without closing may still be counted by PUBLISH).
bool TClusterNode::AllCounted(const TPendingCount& pending) const {
    long others = long(liveNodes.size()) - long(liveNodes.count(nodeId));
    return pending.expected >= 0 &&
           (pending.answered >= pending.expected || (others > 0 && pending.answered >= others));
}

void TClusterNode::FinishCount(uint64_t id) {
    auto it = counts.find(id);
    if (it == counts.end())
        return;
    TPendingCount pending = std::move(it->second);
    counts.erase(it);
    pending.timer->cancel();
    pending.reached(pending.known ? pending.sum : -1);
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
// node was swept after a stall) this node's sessions are written again.
void TClusterNode::Beat() {
    if (!commands.Up())
        return;
    auto now = std::chrono::steady_clock::now();
    std::erase_if(recentlyLeft, [&](const auto& entry) { return now - entry.second > config.ttl; });
    std::weak_ptr<bool> weak = alive;
    commands.Command(
        {"SET", NodeKey(nodeId), "1", "PX", std::to_string(config.ttl.count()), "GET"},
        [this, weak](std::optional<TRedisReply> r) {
            if (weak.expired() || !r || r->kind != TRedisReply::Nil)
                return;
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
            CountSites(live);
            for (const auto& [host, count] : localCounts)
                Mend(host);
        });
    });
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
                        tally->users[r->items[i].text] +=
                            size_t(std::strtoull(r->items[i + 1].text.c_str(), nullptr, 10));
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
    std::string node = key.substr(0, key.find(':'));
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
                std::vector<std::string> f;
                TAccount account;
                if (Believable(r->items[i].text) && UnpackFields(r->items[i + 1].text, f) &&
                    ReadRecord(f, 0, account))
                    snapshot->users.push_back(TRemoteUser{r->items[i].text, account});
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
                                 TPublicLine line;
                                 if (ReadLine(it->text, line))
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
            std::vector<std::string> f;
            TAccount account;
            if (!UnpackFields(r->items[i + 1].text, f) || !ReadRecord(f, 0, account))
                continue;
            present.insert(key);
            service.RemoteEntered(host, key, account);
        }
        for (const std::string& key : knownBefore)
            if (!present.count(key))
                service.RemoteLeft(host, key);
    });
}

// A node whose key expired: its users leave here at once, and its entries
// leave Redis (any node may do this; doing it twice does no harm).
void TClusterNode::Sweep(const std::string& deadNode) {
    if (deadNode == nodeId)
        return; // this node's own key lapsed: the next renewal announces it again
    Log("node " + deadNode + " stopped beating: its users leave");
    service.DropRemote(deadNode + ":");
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

std::vector<TSiteCount> TClusterNode::BusiestSites(size_t limit) const {
    std::vector<TSiteCount> out(clusterSites.begin(),
                                clusterSites.begin() + std::min(limit, clusterSites.size()));
    return out;
}

} // namespace navlet::server
