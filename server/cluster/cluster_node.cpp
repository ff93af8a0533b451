#include "server/cluster/cluster_node.h"

#include <algorithm>
#include <cstdio>
#include <sodium.h>

#include "server/cluster/messages/node_messages.h"

namespace navlet::server {
namespace {

using namespace navlet::cluster;
static_assert(MAX_NODE_LANGUAGE == MAX_LANGUAGE);

const std::string PREFIX = "navlet:";
const std::string NODES = PREFIX + "nodes";

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
// How long an operator command waits for the other nodes' counts.
constexpr int64_t COUNT_WAIT_MS = 1000;
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

TUserRecord UserRecord(const TAccount& account) {
    return TUserRecord{account.id, account.gender, account.nick};
}

TAccount FromRecord(const TUserRecord& record) {
    TAccount out;
    out.id = record.id;
    out.gender = record.gender;
    out.nick = record.nick;
    return out;
}

// The node of a presence hash's field (RemoteKey).
std::string FieldNode(const std::string& field) {
    return field.substr(0, field.find(':'));
}

// An entry of a site's presence hash as another node wrote it: its field
// names the record's account.
bool ReadPresence(const std::string& field, const std::string& bytes, TAccount& out) {
    TPresenceRecord record;
    if (!DecodeNodeRecord(bytes, record) || RemoteKey(FieldNode(field), record.user.id) != field)
        return false;
    out = FromRecord(record.user);
    return true;
}

bool ReadKeptLine(const std::string& bytes, TPublicLine& out) {
    TKeptLine line;
    if (!DecodeNodeRecord(bytes, line))
        return false;
    out = TPublicLine{line.stamp, line.nick, line.text, line.language};
    return true;
}

// A count of a node's users on a site; a value no node wrote counts none.
size_t ReadSiteUsers(const std::string& bytes) {
    TSiteUsersRecord record;
    return DecodeNodeRecord(bytes, record) ? record.users : 0;
}

void Log(const std::string& line) {
    std::fprintf(stderr, "navlet-server: cluster: %s\n", line.c_str());
}

} // namespace

TClusterNode::TClusterNode(asio::io_context& io, TService& service, TClusterConfig config,
                           TRedisAddress address, const TClock& clock)
    : service(service), config(std::move(config)), clock(clock), commands(io, address, "commands"),
      events(io, address, "events"), beat(io), alive(std::make_shared<bool>(true)) {
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
    commands.Command({"HSET", PresenceKey(presence.host), PresenceField(presence.account.id),
                      EncodeNodeMessage("", TPresenceRecord{UserRecord(presence.account)})});
    commands.Command({"PUBLISH", SiteChannel(presence.host),
                      EncodeNodeMessage(nodeId, TSiteEntered{UserRecord(presence.account)})});
}

void TClusterNode::WriteSiteCount(const std::string& host) {
    auto it = localCounts.find(host);
    if (it == localCounts.end())
        commands.Command({"HDEL", NodeSitesKey(nodeId), host});
    else
        commands.Command({"HSET", NodeSitesKey(nodeId), host,
                          EncodeNodeMessage("", TSiteUsersRecord{uint32_t(it->second)})});
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
    if (auto* in = std::get_if<TSiteEntered>(&event.message)) {
        recentlyLeft.erase(RemoteKey(from, in->user.id));
        service.RemoteEntered(host, from, FromRecord(in->user));
    } else if (auto* out = std::get_if<TSiteLeft>(&event.message)) {
        std::string key = RemoteKey(from, out->user);
        recentlyLeft[key] = clock.NowMs();
        service.RemoteLeft(host, key);
    } else if (auto* line = std::get_if<TSiteLine>(&event.message)) {
        service.RemoteLine(host, line->sender, line->language, line->nick, line->text);
    }
}

void TClusterNode::OnNodeEvent(const TNodeEnvelope& event) {
    if (auto* call = std::get_if<TCall>(&event.message))
        service.RemoteCall(TRemoteCall{call->target, call->withMessage, call->callerNick,
                                       call->message, call->callerSite});
    else if (auto* count = std::get_if<TOperatorCount>(&event.message))
        OnCount(*count);
    else
        service.RemoteEvent(event.from, event.message);
}

void TClusterNode::WriteSessions(uint64_t accountId, const TNodeSessions& here) {
    if (here.count == 0) {
        commands.Command({"HDEL", WhereKey(accountId), nodeId});
        return;
    }
    uint32_t count = uint32_t(std::min<size_t>(here.count, MAX_WHERE_COUNT));
    commands.Command({"HSET", WhereKey(accountId), nodeId,
                      EncodeNodeMessage("", TWhereRecord{count, here.oldestUs, here.latestUs})});
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

// This node's own users were asked already.
void TClusterNode::CallElsewhere(const TRemoteCall& call, std::function<void(bool)> done) {
    WhereIs(call.target, [this, call, done](std::vector<TNodeSessions> nodes) {
        std::string message =
            EncodeNodeMessage(nodeId, TCall{call.target, call.withMessage, call.callerNick,
                                            call.message, call.callerSite});
        bool reached = false;
        for (const TNodeSessions& node : nodes)
            reached = commands.Command({"PUBLISH", NodeChannel(node.node), message}) || reached;
        done(reached);
    });
}

// An operator's line or KICK for every node. With `reached`, every other
// node answers its count on this node's channel (PUBLISH says how many
// nodes listen), and the total goes out when all have answered or a second
// has passed.
void TClusterNode::ToOperatorChannel(TNodeMessage message, TReachedFn reached) {
    if (!reached) {
        commands.Command({"PUBLISH", OPERATOR_CHANNEL, EncodeNodeMessage(nodeId, message)});
        return;
    }
    uint64_t id = nextCount++;
    std::visit(
        [id](auto& m) {
            if constexpr (requires { m.request; })
                m.request = id;
        },
        message);
    auto timer = std::make_shared<asio::steady_timer>(beat.get_executor());
    std::weak_ptr<bool> weak = alive;
    bool sent = commands.Command({"PUBLISH", OPERATOR_CHANNEL, EncodeNodeMessage(nodeId, message)},
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
    counts[id] =
        TPendingCount{-1, 0, clock.NowMs() + COUNT_WAIT_MS, false, 0, std::move(reached), timer};
    timer->expires_after(std::chrono::milliseconds(COUNT_WAIT_MS));
    timer->async_wait([this, weak](std::error_code ec) {
        if (!ec && !weak.expired())
            FinishOverdueCounts();
    });
}

void TClusterNode::OperatorLine(int targetKind, const std::string& name, uint64_t chat,
                                uint8_t command, const std::string& text, TReachedFn reached) {
    ToOperatorChannel(TOperatorLine{uint8_t(targetKind), name, uint16_t(chat), command, text, 0},
                      std::move(reached));
}

void TClusterNode::KickElsewhere(int targetKind, const std::string& name, TReachedFn reached) {
    ToOperatorChannel(TOperatorKick{uint8_t(targetKind), name, 0}, std::move(reached));
}

void TClusterNode::FriendState(const TAccount& account, bool online) {
    if (!commands.Up())
        return;
    commands.Command({"PUBLISH", OPERATOR_CHANNEL,
                      EncodeNodeMessage(nodeId, TFriendState{UserRecord(account), online})});
}

void TClusterNode::OnOperatorEvent(const TNodeEnvelope& event) {
    int count = 0;
    uint64_t request = 0;
    if (auto* state = std::get_if<TFriendState>(&event.message)) {
        service.RemoteFriendState(FromRecord(state->user), state->online);
        return;
    }
    if (auto* kick = std::get_if<TOperatorKick>(&event.message)) {
        count = service.RemoteKick(TTarget{TTarget::Kind(kick->targetKind), kick->name});
        request = kick->request;
    } else if (auto* line = std::get_if<TOperatorLine>(&event.message)) {
        count = service.RemoteOperatorLine(TTarget{TTarget::Kind(line->targetKind), line->name},
                                           ChatId(line->chat), line->command, line->text);
        request = line->request;
    } else {
        return;
    }
    if (request != 0)
        commands.Command({"PUBLISH", NodeChannel(event.from),
                          EncodeNodeMessage(nodeId, TOperatorCount{request, int32_t(count)})});
}

// count = -1: the user is unknown there.
void TClusterNode::OnCount(const TOperatorCount& answer) {
    auto it = counts.find(answer.request);
    if (it == counts.end())
        return;
    TPendingCount& pending = it->second;
    ++pending.answered;
    if (answer.count >= 0) {
        pending.known = true;
        pending.sum += std::min(answer.count, 1000000);
    }
    if (AllCounted(pending))
        FinishCount(answer.request);
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

// A count whose deadline the clock has passed goes out; one whose timer
// fired before the clock got there waits for the next beat.
void TClusterNode::FinishOverdueCounts() {
    int64_t now = clock.NowMs();
    std::vector<uint64_t> overdue;
    for (const auto& [id, pending] : counts)
        if (now >= pending.deadlineMs)
            overdue.push_back(id);
    for (uint64_t id : overdue)
        FinishCount(id);
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
                TAccount account;
                if (Believable(r->items[i].text) &&
                    ReadPresence(r->items[i].text, r->items[i + 1].text, account))
                    snapshot->users.push_back(
                        TRemoteUser{r->items[i].text, FieldNode(r->items[i].text), account});
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
                                 if (ReadKeptLine(it->text, line))
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
            TAccount account;
            if (!ReadPresence(key, r->items[i + 1].text, account))
                continue;
            present.insert(key);
            service.RemoteEntered(host, FieldNode(key), account);
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

std::vector<TSiteCount> TClusterNode::BusiestSites(size_t limit) const {
    std::vector<TSiteCount> out(clusterSites.begin(),
                                clusterSites.begin() + std::min(limit, clusterSites.size()));
    return out;
}

} // namespace navlet::server
