// The service's front: what sessions, the web site, the admin endpoint and
// the cluster node call. The work is the subsystems' (accounts, sign-in,
// sites and presence, chat lines and private chats, friends, searches and
// calls, the operator's desk, the window bound, updates); the front wires
// them to each other. Pure logic on one thread: it talks to connections
// through TSessionSink and keeps durable state in a TStore.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "protocol/messages.h"
#include "protocol/requests.h"
#include "server/core/accounts.h"
#include "server/core/banners.h"
#include "server/core/calls.h"
#include "server/core/chat_desk.h"
#include "server/core/client.h"
#include "server/core/clock.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/friends.h"
#include "server/core/local_link.h"
#include "server/core/operator.h"
#include "server/core/reports.h"
#include "server/core/restrictions.h"
#include "server/core/shield.h"
#include "server/core/signin.h"
#include "server/core/sites.h"
#include "server/core/store_runner.h"
#include "server/core/update_desk.h"
#include "server/core/updates.h"
#include "server/core/windows.h"
#include "server/store/store.h"

namespace navlet::server {

struct TServiceConfig {
    int64_t bannerIntervalMs = 60000;
    size_t recentLines = 20;    // public lines a site keeps for newcomers
    double chatPerSecond = 2.0; // per account: its lines, public and private, and searches
    double chatBurst = 10.0;
    double invitesPerSecond = 0.5; // per session
    double inviteBurst = 5.0;
    size_t maxSessionsPerAccount = 8; // one per browser window; the oldest gives way
};

// Why the service ends a session, as the bar's ticker shows it.
inline constexpr std::string_view REASON_TOO_MANY_WINDOWS =
    "Signed out: too many windows of this account.";
inline constexpr std::string_view REASON_KICKED = "Signed out by the operator.";
inline constexpr std::string_view REASON_FLOOD = "Signed out: too many requests.";

class TService final : private TChatSites,
                       private TSiteNeighbours,
                       private TShieldNeighbours,
                       private TReportSources {
  public:
    TService(TStore& store, const TClock& clock, TPasswordVerifier& verifier, TBannerSet banners,
             TUpdateSet updates, TServiceConfig config = {});
    ~TService();
    TService(const TService&) = delete;
    TService& operator=(const TService&) = delete;

    // Where store calls of the sessions run; inline until set. The runner
    // must outlive the service.
    void SetStoreRunner(TStoreRunner& runner) {
        accountDesk.SetStoreRunner(runner);
        calls.SetStoreRunner(runner);
        friendDesk.SetStoreRunner(runner);
        shields.SetStoreRunner(runner);
        restrictions.SetStoreRunner(runner);
        reports.SetStoreRunner(runner);
        storeRunner = &runner;
    }

    // Makes this service one node of a cluster; the link must outlive it.
    void SetClusterLink(TClusterLink& link);
    const TClusterLink* Cluster() const { return cluster; }
    TClusterLink* Cluster() { return cluster; }

    // What the other nodes report of the sites (TSiteDesk).
    void RemoteEntered(const std::string& host, const std::string& node, const TAccount& account,
                       uint8_t privacy = PRIVACY_DEFAULT) {
        siteDesk.RemoteEntered(host, node, account, privacy);
    }
    void RemoteLeft(const std::string& host, const std::string& key) {
        siteDesk.RemoteLeft(host, key);
    }
    void RemoteLine(const std::string& host, uint64_t senderId, int language,
                    const std::string& nick, const std::string& text) {
        siteDesk.RemoteLine(host, senderId, language, nick, text);
    }
    // Forgets the remote users and chat members of `node` ("" = all nodes),
    // telling the sites and chats.
    void DropRemote(const std::string& node) {
        chats.DropRemoteMembers(node);
        siteDesk.DropRemote(node);
    }
    // An operator's notice or command given on another node.
    int RemoteOperatorLine(const TTarget& target, ChatId chat, uint8_t command,
                           std::string_view text) {
        return operators.RemoteLine(target, chat, command, text);
    }
    // A message of another node's service (TClusterLink::ToNode): private
    // chats, invitations, the window bound, calls for users signed in here.
    // The codec checked each field; what is held here is whether it fits
    // this node's state. Kinds of the other channels are ignored.
    void RemoteEvent(const std::string& from, const cluster::TNodeMessage& message);
    // The operator's KICK given on another node.
    int RemoteKick(const TTarget& target) { return operators.RemoteKick(target); }
    // Another node's operator changed the restrictions (TRestrictionDesk).
    void RemoteRestrictionsChanged(uint64_t account, const std::string& reason,
                                   std::function<void(int ended)> ended) {
        restrictions.Remote(account, reason, std::move(ended));
    }
    // An account came online in the cluster or went offline, through
    // another node: this node's sessions that list it as a friend hear so.
    void RemoteFriendState(const TAccount& account, bool online) {
        friendDesk.RemoteFriendState(account, online);
    }
    // An ignore or block mark the web site changed in the store (an undo on
    // the owner's page): the sessions of both accounts follow on every node.
    void MarkStored(const TAccount& owner, const TAccount& target, uint8_t mark) {
        shields.Marked(owner, target, mark);
    }
    // The account set its privacy bits on another node: its sessions here
    // follow (the node where it was set told the friends).
    void RemotePrivacyChange(uint64_t accountId, uint8_t privacy);
    // Another node's ignore or block change (TShieldDesk).
    void RemoteMarkChange(const TAccount& owner, const TAccount& target, uint8_t mark) {
        shields.RemoteChange(owner, target, mark);
    }
    std::vector<std::string> LocalSites() const { return siteDesk.LocalSites(); }
    // The remote users of a site known here, by key.
    std::vector<std::string> RemoteKeys(const std::string& host) const {
        return siteDesk.RemoteKeys(host);
    }

    // Sessions. Login may finish later (the password check); a refused login
    // ends the session. Every client given to Login must be given to
    // Disconnect when its connection goes.
    void Login(TClient& client, const TLoginRequest& request);
    void Disconnect(TClient& client);
    // The client's connection has room again: a welcome in progress goes on.
    void Drained(TClient& client) { siteDesk.Drained(client); }
    // A request of a signed-in client; types that mean nothing are ignored.
    void Handle(TClient& client, const TPacket& packet);
    // Periodic work (banner rotation); call about once a second.
    void Tick();

    // Ends a session for `reason` (shown by the bar) and forgets it at once.
    void EndSession(TClient& client, std::string_view reason);

    // Operator commands (TOperatorDesk); each returns the number of sessions
    // reached, or -1 when a user target names nobody online.
    // On a cluster node `total`, when given, later hears the count of every
    // node (-1 when no node knew a user target).
    using TTotalFn = TOperatorDesk::TTotalFn;
    int Notice(const TTarget& target, TNoticeKind kind, uint8_t buttons, std::string_view text,
               TTotalFn total = nullptr) {
        return operators.Notice(target, kind, buttons, text, std::move(total));
    }
    int Command(const TTarget& target, uint8_t command, std::string_view text,
                TTotalFn total = nullptr) {
        return operators.Command(target, command, text, std::move(total));
    }
    int Kick(const TTarget& target, TTotalFn total = nullptr) {
        return operators.Kick(target, std::move(total));
    }

    // Bans, disabled accounts, muted sites: the operator's actions, and what
    // the listeners and the web site ask before they let a peer in.
    TRestrictionDesk& Restrictions() { return restrictions; }
    const TRestrictionDesk& Restrictions() const { return restrictions; }

    // A password check outside sign-in (the web site's profile change) from
    // `address`: how long failed attempts hold it back (0: check now), and
    // its result. From any thread.
    int64_t PasswordCheckWaitMs(uint64_t accountId, const std::string& address) {
        return signInDesk.PasswordCheckWaitMs(accountId, address);
    }
    void NotePasswordCheck(uint64_t accountId, const std::string& address, bool matched) {
        signInDesk.NotePasswordCheck(accountId, address, matched);
    }

    // Queries for the operator and the web site.
    std::vector<TSiteCount> BusiestSites(size_t limit) const {
        return siteDesk.BusiestSites(limit);
    }
    std::vector<const TClient*> OnlineUsers(std::string_view host) const;
    size_t SignedInCount() const { return accountDesk.SignedInCount(); }
    size_t SiteCount() const { return siteDesk.SiteCount(); }
    size_t CachedAccounts() const { return accountDesk.CachedAccounts(); }
    const TBannerSet& Banners() const { return siteDesk.Banners(); }
    const TUpdateSet& Updates() const { return updates.Set(); }
    // The operator changed the banner or update folder. Later rotations and
    // update answers use the new set; a bar in the middle of an older
    // version's download is offered the newer one from its start.
    void ReplaceBanners(TBannerSet set) { siteDesk.ReplaceBanners(std::move(set)); }
    void SetBannerInterval(int64_t ms) { siteDesk.SetBannerInterval(ms); }
    void ReplaceUpdates(TUpdateSet set) { updates.Replace(std::move(set)); }
    TStore& Store() { return store; }
    // Store work of the operator's, on the sessions' store runner.
    void RunStoreWork(std::function<void()> work, std::function<void()> done) {
        storeRunner->Run(std::move(work), std::move(done));
    }

    // Accounts: created or changed through here so that signed-in state and
    // the store agree. Passwords come hashed: hashing would hold the loop.
    TAddAccountResult AddAccountHashed(std::string_view nick, const std::string& passwordHash,
                                       char gender, int language, TAccount* added = nullptr) {
        return accountDesk.AddAccountHashed(nick, passwordHash, gender, language, added);
    }
    std::optional<TAccount> FindAccount(uint64_t id) { return accountDesk.FindAccount(id); }
    std::optional<TAccount> FindAccountByNick(std::string_view nick) {
        return accountDesk.FindAccountByNick(nick);
    }
    // An account written to the store by another thread: the service's copy
    // follows it.
    void AccountStored(TAccount account) { accountDesk.AccountStored(std::move(account)); }
    // An account another thread deleted from the store: its sessions end on
    // every node, and its nick names it here no more (a new account may take
    // the nick at once).
    void AccountDeleted(const TAccount& account) { restrictions.Deleted(account.id); }
    // FindAccount reads the store, so it carries the password hash.
    bool UpdateProfileHashed(uint64_t id, char gender, int language, const std::string& newHash);

  private:
    // service.cpp: a sign-in the sign-in desk let in, and presence
    void Accept(TClient& client, TAccountEntry& entry, const TLoginRequest& request,
                const TSignInLists& lists);
    // Request 19: the account's privacy, stored and applied to its sessions
    // here and on the other nodes.
    void SetPrivacy(TClient& client, uint8_t flags);
    // The account's sessions here take the bits: whom their sites list and
    // what the other nodes read of them. True when the friends' view of
    // the account changed.
    bool ApplyPrivacy(TAccountEntry& entry, uint8_t flags);
    // What a change of who sees whom needs (TShieldNeighbours).
    void HidePerson(const TAccountEntry& viewer, uint64_t other, bool leaveChats) override;
    void RevealPerson(const TAccountEntry& viewer, uint64_t other) override {
        siteDesk.ShowPerson(viewer, other, /*visible=*/true);
    }
    // What the sites need of the other subsystems (TSiteNeighbours).
    void LeaveChats(TClient& client, const TSite* site, bool accountLeavesSite) override {
        chats.LeaveAllChats(client, site, accountLeavesSite);
    }
    std::vector<TWireRef> WelcomeFriends(const TClient& client,
                                         const std::vector<TAccount>& friends) override {
        return friendDesk.WelcomeRecords(client.serial, friends);
    }
    void DeliverKeptCalls(TClient& client) override { calls.DeliverKeptCalls(client); }
    void FriendsMeet(TClient& client, bool accountArrives) override {
        friendDesk.FriendsMeet(client, accountArrives);
    }
    void FriendCameThroughNode(const TSite& site, const TAccount& account) override {
        friendDesk.FriendCameThroughNode(site, account);
    }
    // A report quotes the site's lines and the chats' (TReportSources).
    void SaidTo(const TClient& reporter, uint64_t target,
                std::vector<TQuotedLine>& out) const override {
        siteDesk.SaidTo(reporter, target, out);
        chats.SaidTo(reporter, target, out);
    }
    // This node's sessions of an operator's target.
    std::vector<TClient*> Resolve(const TTarget& target, bool& unknownUser);

    // What the chats need of the sites (TChatSites) comes from the sites.
    // Where the operator muted the site, the speaker alone hears why.
    void PublicLine(TClient& client, const std::string& text) override;
    std::string_view HostOf(const TSite* site) const override {
        return site ? std::string_view(site->host) : std::string_view();
    }
    std::set<std::string> NodesOn(const TSite& site, uint64_t accountId) const override {
        return TSiteDesk::NodesOn(site, accountId);
    }
    bool PresentBesides(const TSite& site, uint64_t accountId,
                        const std::string& node) const override {
        return TSiteDesk::PresentBesides(site, accountId, node);
    }

    TStore& store;
    TInlineStoreRunner inlineRunner; // until SetStoreRunner
    TStoreRunner* storeRunner = &inlineRunner;
    TClusterLink* cluster = nullptr; // null for a node alone
    const TClock& clock;
    TUpdateDesk updates;

    TAccountDesk accountDesk; // every desk's TDirectory
    TSignInDesk signInDesk;
    int64_t lastPruneMs = 0;
    // Asks the store whether it answers once a second, so that readiness
    // follows a database that is lost while nobody signs in.
    int64_t lastProbeMs = 0;
    bool probing = false;
    TLocalLink localLink;                // until SetClusterLink
    TClusterLink* nodeLink = &localLink; // the cluster's, or the local one
    TOperatorDesk operators;
    TCallDesk calls;
    TWindowBound windows;
    TChatDesk chats;
    TFriendDesk friendDesk;
    TSiteDesk siteDesk;
    TShieldDesk shields;
    TRestrictionDesk restrictions;
    TReportDesk reports;
    std::shared_ptr<bool> alive; // lets late answers find the service gone
};

} // namespace navlet::server
