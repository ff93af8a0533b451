// Friends: who lists whom, the bar's changes to its list, and each friend's
// coming and going, here and, through the cluster link, on the other nodes.
// The welcome asks it for the records of a sign-in's friends.
#pragma once

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "protocol/requests.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/store_runner.h"
#include "server/core/wire.h"

namespace navlet::server {

struct TSite;

class TFriendDesk {
  public:
    TFriendDesk(TDirectory& directory, TStore& store, TStoreRunner& runner, TClusterLink& link);
    ~TFriendDesk();
    TFriendDesk(const TFriendDesk&) = delete;
    TFriendDesk& operator=(const TFriendDesk&) = delete;
    void SetStoreRunner(TStoreRunner& r) { runner = &r; }
    void SetLink(TClusterLink& l) { link = &l; }

    // The client signed in with the friends its sign-in read (`cameOnline`:
    // its account's first session). On a cluster the friends not online here
    // are asked for on the other nodes.
    void SignedIn(TClient& client, const std::vector<TAccount>& friends, bool cameOnline);
    // The session is gone: its account is already without it, and this
    // node has already told the link of its remaining sessions (so that two
    // nodes losing the account's last sessions at once do not each find the
    // other when they ask).
    void SessionGone(const TClient& client);
    // The bar added or removed a friend.
    void FriendChange(TClient& client, const TFriendChangeRequest& request);
    // An account came online in the cluster or went offline, through
    // another node: this node's sessions that list it as a friend hear so.
    void RemoteFriendState(const TAccount& account, bool online);
    // The session came onto its site: it hears of its friends there, and
    // when its account arrives, the sessions there that list it hear of it.
    // Only of friends that tell where they are; of friends through other
    // nodes too, as the site holds them.
    void FriendsMeet(TClient& client, bool accountArrives);
    // A friend that tells where it is came onto `site` through another
    // node: the sessions here on the site that list it hear so.
    void FriendCameThroughNode(const TSite& site, const TAccount& account);
    // The online account turned invisible to its friends, or visible again,
    // on this node: its friends on every node hear so (the bits are the
    // account's, so other nodes that hold sessions of it say nothing).
    void ShownChanged(const TAccountEntry& entry);
    // The records for a sign-in's welcome. While other nodes still answer
    // for some of the friends there are none yet: the records then join the
    // session's welcome, or follow it, once every answer came.
    std::vector<TWireRef> WelcomeRecords(uint64_t serial, const std::vector<TAccount>& friends);

  private:
    // The account came online (its first session) or went offline (its
    // last): every online account that lists it as a friend hears so, once.
    // On a cluster only when no other node holds a session of it, and the
    // other nodes tell their own sessions.
    void FriendCameOrWent(const TAccount& account, bool online);
    // This node's sessions that list the account as a friend hear its state.
    void TellFriendsOf(const TAccount& account, bool online);
    // Who hears of `entry` coming and going: its friends while it is online.
    void SetFriendIds(TAccountEntry& entry, std::vector<uint64_t> ids);
    // A friend online only on another node shows online too (`elsewhere`).
    std::vector<TWireRef> FriendRecords(const std::vector<TAccount>& friends,
                                        const std::unordered_set<uint64_t>* elsewhere);
    // On a cluster: asks the other nodes which of the friends not online
    // here are online there; the friends' records wait for every answer.
    void AskFriendsElsewhere(const TClient& client, const std::vector<TAccount>& friends);
    void FriendElsewhereAnswered(uint64_t serial, uint64_t friendId, bool online);
    // The sessions on `site` of the accounts that list `account`, but
    // `except`'s, hear that it is there.
    void TellListersOn(const TSite& site, const TAccount& account, const TAccountEntry* except);

    TDirectory& directory;
    TStore& store;
    TStoreRunner* runner;
    TClusterLink* link;
    // Sign-ins whose friends' online state other nodes still answer, by serial.
    struct TFriendsAsked {
        size_t due = 0;                      // answers still to come
        bool welcomeWaits = false;           // the welcome began without them
        std::vector<TAccount> accounts;      // kept once the welcome waits
        std::unordered_set<uint64_t> online; // online on another node
    };
    std::unordered_map<uint64_t, TFriendsAsked> friendsAsked;
    // Online accounts by the friends they list, for TellFriendsOf.
    std::unordered_map<uint64_t, std::unordered_set<TAccountEntry*>> listedAsFriendBy;
    std::shared_ptr<bool> alive; // lets late cluster answers find the desk gone
};

} // namespace navlet::server
