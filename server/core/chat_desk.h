// Chat lines and private chats: a session's chat key and the rate of its
// lines; who is in each private chat, the invitations that add members, the
// lines said there and the leaving. Members are sessions of this node and,
// on a cluster, users of other nodes; each node with members keeps the chat
// and the changes travel through the cluster link, which a node alone
// answers as if nobody else were there.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/chat_address.h"
#include "protocol/requests.h"
#include "server/core/client.h"
#include "server/core/clock.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/reports.h"
#include "server/core/said_lines.h"

namespace navlet::server {

// A chat member signed in on another node of the cluster.
struct TRemoteMember {
    uint64_t user = 0;
    std::string node;
};

// Members are sessions, at most one of each account. On a cluster each node
// with members keeps the chat: its own sessions, and the others' by node.
struct TPrivateChat {
    ChatId id = 0;
    std::vector<TClient*> members; // in order of joining
    std::vector<TRemoteMember> remote;
    TSaidLines said{}; // for reports
    // Where each account's member came in among the said lines.
    std::vector<std::pair<uint64_t, uint64_t>> joinedAt{};
    void Joined(uint64_t account) {
        for (auto& [who, from] : joinedAt)
            if (who == account) {
                from = said.Next();
                return;
            }
        joinedAt.emplace_back(account, said.Next());
    }
    // The first said line that the account's member was shown.
    uint64_t JoinedAt(uint64_t account) const {
        for (const auto& [who, from] : joinedAt)
            if (who == account)
                return from;
        return UINT64_MAX;
    }
};

// Whether the account is a member of the chat, here or through another node.
bool HasMember(const TPrivateChat& chat, uint64_t userId);

// What the chats need of the sites, which the front keeps: a site's public
// lines are the sites', invitations prefer the invitee's session on the
// inviter's site, and a member leaving its site is announced by the site
// rather than by the chat.
class TChatSites {
  public:
    // A line for the client's site, within the client's rate.
    virtual void PublicLine(TClient& client, const std::string& text) = 0;
    // The site's folded host; empty for no site.
    virtual std::string_view HostOf(const TSite* site) const = 0;
    // The other nodes through which the account is present on the site.
    virtual std::set<std::string> NodesOn(const TSite& site, uint64_t accountId) const = 0;
    // Whether the account is present on the site through this node or
    // through a node other than `node`.
    virtual bool PresentBesides(const TSite& site, uint64_t accountId,
                                const std::string& node) const = 0;

  protected:
    ~TChatSites() = default;
};

class TChatDesk {
  public:
    struct TLimits {
        double linesPerSecond = 2.0; // per account, public and private lines together
        double lineBurst = 10.0;
        double invitesPerSecond = 0.5; // per session
        double inviteBurst = 5.0;
    };
    TChatDesk(TDirectory& directory, TChatSites& sites, TClusterLink& link, const TClock& clock,
              TLimits limits);
    ~TChatDesk();
    TChatDesk(const TChatDesk&) = delete;
    TChatDesk& operator=(const TChatDesk&) = delete;
    void SetLink(TClusterLink& l) { link = &l; }

    // A signed-in session gets its chat key: the private chats it may open.
    void SignedIn(TClient& client);
    // A line of the bar, for its site (chat 0) or a private chat. Blank
    // lines and lines over the session's rate are dropped; control
    // characters go out as blanks.
    void Say(TClient& client, TChatTextRequest request);
    // Invites the user of `address` into its chat. An invitation that
    // reaches no session (the invitee is offline, or gone before it
    // arrived) is answered as the invitee's leaving, so that the bar's tab
    // does not wait for a member who never comes.
    void Invite(TClient& client, const ChatAddress& address);
    void LeaveChat(TClient& client, ChatId chat, bool tellOthers);
    // The client leaves every chat that `other` is a member of (here or
    // elsewhere), as if it had asked to.
    void LeaveChatsWith(TClient& client, uint64_t other);
    // Takes the session out of its chats when it leaves `site`. Members on
    // that site hear "user left" instead when the account leaves it too.
    void LeaveAllChats(TClient& client, const TSite* site, bool accountLeavesSite);

    // Messages of the chats on node `from`. The codec checked each field;
    // what is held here is whether it fits this node's chats.
    void RemoteInvite(const std::string& from, const cluster::TInvite& m);
    void RemoteInviteFailed(const cluster::TInviteFailed& m);
    void RemoteJoined(const std::string& from, const cluster::TChatJoined& m);
    void RemoteChatLine(const std::string& from, const cluster::TChatLine& m);
    void RemoteChatLeft(const std::string& from, const cluster::TChatLeft& m);
    // Remote members whose node matches (empty: all) leave every chat here.
    void DropRemoteMembers(const std::string& node);
    // The private lines of `sender` that the client was shown in its chats.
    void SaidTo(const TClient& client, uint64_t sender, std::vector<TQuotedLine>& out) const;

  private:
    // chat_desk.cpp: this node's members
    // A member's line; a client that is no member says nothing.
    void PrivateLine(TClient& client, ChatId chat, const std::string& text);
    // Where an invitation to `invitee` goes: its latest session on `site`,
    // else its latest session anywhere.
    static TClient* InvitedSession(const TAccountEntry& invitee, const TSite* site);
    // Whether the client may invite the user into the chat now (the chat
    // is the client's, or the client is in it and the user is not).
    bool MayInvite(TClient& client, ChatId chatId, uint64_t inviteeId) const;
    // Opens the chat under the inviter's key when it does not exist yet.
    TPrivateChat& OpenChat(TClient& client, ChatId chatId);
    void InviteHere(TClient& client, ChatId chatId, TClient& invitee);

    // cluster_chats.cpp: members on other nodes
    // Where an invitation goes when the invitee may be on another node.
    void RouteInvite(TClient& client, ChatId chatId, uint64_t inviteeId);
    void InviteThere(TClient& client, ChatId chatId, uint64_t inviteeId, const std::string& node);
    // An invitation that reached no session: the inviter hears that the
    // invitee left the chat, as when it goes.
    void NotJoined(TClient& inviter, ChatId chatId, uint64_t inviteeId);
    // Tells the nodes of the chat's remote members, each once.
    void ToChatNodes(const TPrivateChat& chat, const cluster::TNodeMessage& message);
    // The chat when `user` is a member of it through `node`, else null: only
    // such a member speaks or leaves through that node's messages.
    TPrivateChat* ChatOfRemote(ChatId chatId, uint64_t user, const std::string& node);

    TDirectory& directory;
    TChatSites& sites;
    TClusterLink* link;
    const TClock& clock;
    TLimits limits;
    std::unordered_map<ChatId, TPrivateChat> chats;
    std::shared_ptr<bool> alive; // lets late cluster answers find the desk gone
};

} // namespace navlet::server
