// The operator's notices, commands and KICKs for the other nodes, with their
// counts gathered back, and friends' states told to every node.
#include "server/cluster/cluster_node.h"

#include <algorithm>

#include "server/cluster/redis_keys.h"

namespace navlet::server {

using namespace navlet::cluster;
using namespace redis_keys;

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

void TClusterNode::RestrictionsChanged(uint64_t account, const std::string& reason,
                                       TReachedFn reached) {
    ToOperatorChannel(TRestrictionsChanged{account, reason, 0}, std::move(reached));
}

void TClusterNode::FriendState(const TAccount& account, bool online) {
    if (!commands.Up())
        return;
    commands.Command({"PUBLISH", OPERATOR_CHANNEL,
                      EncodeNodeMessage(nodeId, TFriendState{UserRecord(account), online})});
}

void TClusterNode::MarkChanged(const TAccount& owner, const TAccount& target, uint8_t mark) {
    if (!commands.Up())
        return;
    commands.Command(
        {"PUBLISH", OPERATOR_CHANNEL,
         EncodeNodeMessage(nodeId, TMarkChange{UserRecord(owner), UserRecord(target), mark})});
}

void TClusterNode::PrivacyChanged(const TAccount& account, uint8_t privacy) {
    if (!commands.Up())
        return;
    commands.Command({"PUBLISH", OPERATOR_CHANNEL,
                      EncodeNodeMessage(nodeId, TPrivacyChange{account.id, privacy})});
}

void TClusterNode::OnOperatorEvent(const TNodeEnvelope& event) {
    // A command given with a request number wants this node's count back.
    auto answer = [&](uint64_t request, int count) {
        if (request != 0)
            commands.Command({"PUBLISH", NodeChannel(event.from),
                              EncodeNodeMessage(nodeId, TOperatorCount{request, int32_t(count)})});
    };
    std::visit(
        TOverloaded{[&](const TFriendState& state) {
                        service.RemoteFriendState(FromRecord(state.user), state.online);
                    },
                    [&](const TPrivacyChange& change) {
                        service.RemotePrivacyChange(change.account, change.privacy);
                    },
                    [&](const TMarkChange& change) {
                        service.RemoteMarkChange(FromRecord(change.owner),
                                                 FromRecord(change.target), change.mark);
                    },
                    [&](const TRestrictionsChanged& change) {
                        // The count goes back once the node has read the store.
                        std::weak_ptr<bool> weak = alive;
                        service.RemoteRestrictionsChanged(
                            change.account, change.reason,
                            [this, weak, from = event.from, request = change.request](int n) {
                                if (!weak.expired() && request != 0)
                                    commands.Command(
                                        {"PUBLISH", NodeChannel(from),
                                         EncodeNodeMessage(nodeId, TOperatorCount{request, n})});
                            });
                    },
                    [&](const TOperatorKick& kick) {
                        answer(kick.request, service.RemoteKick(TTarget{
                                                 TTarget::Kind(kick.targetKind), kick.name}));
                    },
                    [&](const TOperatorLine& line) {
                        answer(line.request, service.RemoteOperatorLine(
                                                 TTarget{TTarget::Kind(line.targetKind), line.name},
                                                 ChatId(line.chat), line.command, line.text));
                    },
                    // The site and node channels' kinds.
                    TIgnoreKinds<TSiteEntered, TSiteLeft, TSiteLine, TInvite, TInviteFailed,
                                 TChatJoined, TChatLine, TChatLeft, TTrim, TCall, TOperatorCount>{},
                    TIgnoreRecords{}},
        event.message);
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

} // namespace navlet::server
