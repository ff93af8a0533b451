// What operators hold against accounts, address ranges and sites: bans,
// disabled accounts and muted public chats. They live in the store, so every
// node applies them and they outlive a restart; each node keeps a copy that
// the sessions, the web site's threads and sign-in read without waiting.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/core/clock.h"
#include "server/core/cluster_link.h"
#include "server/core/directory.h"
#include "server/core/restriction_rules.h"
#include "server/core/store_runner.h"
#include "server/store/store.h"

namespace navlet::server {

// Unix seconds on the service's clock.
int64_t UnixSeconds(const TClock& clock);

// What the bar shows to whom a restriction stops ("You are banned until
// 18:30 UTC: spam."): the time alone within a day, with the date beyond.
std::string BarredReason(const TRestriction& restriction, int64_t nowS);
std::string MutedNotice(const TRestriction& mute, int64_t nowS);
inline constexpr std::string_view REASON_DELETED = "Signed out: this account was deleted.";
inline constexpr std::string_view NOTICE_UNMUTED = "The public chat of this site is open again.";

// The restrictions as a node holds them. Readers on any thread see one whole
// list; an expired entry stops holding at its time without a reload.
class TRestrictionList {
  public:
    void Replace(const std::vector<TRestriction>& all);
    // A ban or the disabling of the account that holds at `nowS`.
    std::optional<TRestriction> ForAccount(uint64_t account, int64_t nowS) const;
    std::optional<TRestriction> ForAddress(std::string_view address, int64_t nowS) const;
    std::optional<TRestriction> ForSite(std::string_view foldedHost, int64_t nowS) const;

  private:
    struct TSnapshot {
        std::unordered_map<uint64_t, TRestriction> accounts; // a disabling wins over a ban
        std::vector<std::pair<TAddressRange, TRestriction>> ranges;
        std::unordered_map<std::string, TRestriction> sites;
    };
    std::shared_ptr<const TSnapshot> Current() const;

    mutable std::mutex lock;
    std::shared_ptr<const TSnapshot> snapshot = std::make_shared<TSnapshot>();
    std::atomic<bool> anyRange{false}; // most connections never look further
};

// The operator's side of restrictions: each action writes the store, reloads
// the list, ends the sessions it now stops on this node and has every other
// node do the same (TClusterLink::RestrictionsChanged).
class TRestrictionDesk {
  public:
    struct TOutcome {
        std::string error;    // empty: done
        int sessions = 0;     // sessions ended (or told, for a mute)
        int64_t untilS = 0;   // of a ban or mute: when it ends (0 forever)
        std::string password; // PASSWORD's new one
    };
    using TDoneFn = std::function<void(TOutcome)>;
    // What the desk needs of the rest of the service.
    struct TNeighbours {
        std::function<std::vector<TClient*>()> sessions; // every signed-in one here
        std::function<void(TClient&, std::string_view reason)> end;
        // A ticker line for every user of the site, on every node.
        std::function<void(const std::string& host, const std::string& text,
                           std::function<void(int)> total)>
            tellSite;
        std::function<void(uint64_t account)> passwordChanged;
        std::function<void(uint64_t account)> accountDeleted;
    };

    TRestrictionDesk(TStore& store, const TClock& clock, TClusterLink& link,
                     TNeighbours neighbours);
    ~TRestrictionDesk();
    TRestrictionDesk(const TRestrictionDesk&) = delete;
    TRestrictionDesk& operator=(const TRestrictionDesk&) = delete;
    void SetStoreRunner(TStoreRunner& r) { runner = &r; }
    void SetLink(TClusterLink& l) { link = &l; }

    const TRestrictionList& List() const { return list; }
    // The reason an account that gave the right password may not sign in;
    // empty when it may.
    std::string Barred(uint64_t account) const;
    bool AddressBarred(std::string_view address) const;
    // The notice for a public line said where the chat is muted; empty when
    // it is open.
    std::string MutedAt(std::string_view foldedHost) const;

    // Reads the list on the calling thread (at start, before sessions).
    void LoadNow();
    // Reloads now and then, for changes another node made while Redis was
    // away; call about once a second.
    void Tick(int64_t nowMs);

    // Operator actions (done on the service's thread). Subjects as typed:
    // a nick, an address range, a host.
    void Ban(TRestrictionKind kind, const std::string& subject, int64_t durationS,
             const std::string& reason, TDoneFn done);
    void Unban(TRestrictionKind kind, const std::string& subject, TDoneFn done);
    void Disable(const std::string& nick, bool disabled, const std::string& reason, TDoneFn done);
    void NewPassword(const std::string& nick, TDoneFn done);
    void Delete(const std::string& nick, TDoneFn done);
    // The account was deleted from the store elsewhere (its owner, on the
    // web site): its sessions end on every node as after Delete.
    void Deleted(uint64_t account);
    void Mute(const std::string& host, int64_t durationS, TDoneFn done);
    void Unmute(const std::string& host, TDoneFn done);

    // Another node changed the restrictions: reload them, end the sessions of
    // `account` (0: none) with `reason`, and those the new list stops.
    // `ended` hears how many this node ended.
    void Remote(uint64_t account, const std::string& reason, std::function<void(int)> ended);

  private:
    // Runs `write` off the loop, then reloads and, back on the loop, applies
    // the list, ends what it stops (and `account`'s sessions with `reason`),
    // tells the other nodes and answers.
    struct TWrite {
        std::string error;
        uint64_t account = 0;
        std::string reason;
        std::string password;
        int64_t untilS = 0;
    };
    void Change(std::function<TWrite()> write, bool tellOthers, TDoneFn done);
    // Change for a deletion: then every node's sessions of the account end
    // and the node forgets it.
    void EndDeleted(std::function<TWrite()> write, TDoneFn done);
    // Ends the sessions here that `account`/`reason` or the list stops.
    int EndStopped(uint64_t account, const std::string& reason);
    TStoreRunner& Runner() { return runner ? *runner : inlineRunner; }

    TStore& store;
    const TClock& clock;
    TClusterLink* link;
    TNeighbours neighbours;
    TRestrictionList list;
    TInlineStoreRunner inlineRunner;
    TStoreRunner* runner = nullptr;
    int64_t lastLoadMs = 0;
    bool loading = false;
    std::shared_ptr<bool> alive;
};

} // namespace navlet::server
