// The operator's notices and commands, as chat lines from user 0, and the
// KICK: to this node's sessions of a target and, through the cluster link,
// to the other nodes'.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "server/core/client.h"
#include "server/core/cluster_link.h"

namespace navlet::server {

// Operator notices (the ChatId's upper part routes them at the bar).
enum class TNoticeKind { Status, Ticker, Buttons, Console };

struct TTarget {
    enum Kind { All, User, Site } kind = All;
    std::string name; // nick or host
};

class TOperatorDesk {
  public:
    // This node's signed-in sessions of a target; `unknownUser` when a user
    // target names nobody online here.
    using TResolveFn = std::function<std::vector<TClient*>(const TTarget&, bool& unknownUser)>;
    using TKickFn = std::function<void(TClient&)>;
    using TTotalFn = std::function<void(int total)>;

    TOperatorDesk(TClusterLink& link, TResolveFn resolve, TKickFn kick)
        : link(&link), resolve(std::move(resolve)), kick(std::move(kick)) {}
    void SetLink(TClusterLink& l) { link = &l; }

    // Each returns the number of this node's sessions reached (see
    // TClusterLink::CountBeforeOthers); `total`, when given, later hears the
    // count of every node (-1 when no node knew a user target).
    int Notice(const TTarget& target, TNoticeKind kind, uint8_t buttons, std::string_view text,
               TTotalFn total);
    int Command(const TTarget& target, uint8_t command, std::string_view text, TTotalFn total);
    int Kick(const TTarget& target, TTotalFn total);

    // The same given on another node, for this node's sessions only.
    int RemoteLine(const TTarget& target, ChatId chat, uint8_t command, std::string_view text) {
        return DeliverLine(target, chat, command, text);
    }
    int RemoteKick(const TTarget& target) { return KickHere(target); }

  private:
    int SendLine(const TTarget& target, ChatId chat, uint8_t command, std::string_view text,
                 TTotalFn total);
    int DeliverLine(const TTarget& target, ChatId chat, uint8_t command, std::string_view text);
    int KickHere(const TTarget& target);

    TClusterLink* link;
    TResolveFn resolve;
    TKickFn kick;
};

} // namespace navlet::server
