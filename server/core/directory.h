// The accounts this node knows and their signed-in sessions, as the
// subsystems look them up. The account desk (accounts.h) keeps them and is
// the one that reads accounts from the store.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/core/client.h"
#include "server/store/store.h"

namespace navlet::server {

// How an account stands to another that it ignores or blocks, or that
// blocks it. Bits, as one account may block another that blocks it.
enum TShieldBits : uint8_t {
    SHIELD_IGNORES = 1,    // the other's lines, calls and invitations are dropped
    SHIELD_BLOCKS = 2,     // that, and neither sees the other
    SHIELD_BLOCKED_BY = 4, // the other blocks this account: the same, untold
};
inline constexpr uint8_t SHIELD_UNSEEN = SHIELD_BLOCKS | SHIELD_BLOCKED_BY;

struct TShieldEntry {
    uint64_t id = 0;
    uint8_t bits = 0;
    std::string nick; // the other's canonical nick (the site's kept lines name senders so)
};

// A sorted shield's bits for `other`.
uint8_t ShieldBitsIn(const std::vector<TShieldEntry>& shield, uint64_t other);
// Sets (or, with 0, clears) the bits for `other`, keeping the order.
void SetShieldBits(std::vector<TShieldEntry>& shield, uint64_t other, std::string_view nick,
                   uint8_t bits, uint8_t mask);

// What an account's PRIVACY_* bits mean, wherever they are held.
// On no site list, in no search, counted nowhere.
inline bool IsInvisible(uint8_t privacy) {
    return (privacy & PRIVACY_INVISIBLE) != 0;
}
// Friends see it online (while it is).
inline bool ShownToFriends(uint8_t privacy) {
    return !IsInvisible(privacy) || (privacy & PRIVACY_VISIBLE_TO_FRIENDS) != 0;
}
// Friends on its site are told it is there.
inline bool TellsFriends(uint8_t privacy) {
    return !IsInvisible(privacy) && (privacy & PRIVACY_TELL_FRIENDS) != 0;
}

// The service keeps the accounts that have sessions here, and the others
// it met for a minute or two (a sign-in under way, a friend just listed).
struct TAccountEntry {
    TAccount account;               // without the password hash
    std::vector<TClient*> sessions; // signed in, oldest first
    int64_t usedMs = 0;             // remembered or left by its last session
    // The account's friends while it is online, as its latest sign-in read
    // them and its bars changed them since.
    std::vector<uint64_t> friendIds;
    // Chat lines and searches of all the account's windows here: eight
    // windows must not make eight budgets.
    TRateBudget chatBudget{};
    // Whom the account ignores or blocks and who blocks it, by id; empty
    // for nearly everybody, so a fan-out looks further only when it is not.
    std::vector<TShieldEntry> shield{};
    // The account's PRIVACY_* bits while it is online, as its latest
    // sign-in read them and its bars set them since.
    uint8_t privacy = PRIVACY_DEFAULT;

    bool Invisible() const { return IsInvisible(privacy); }
    bool ShownToFriends() const { return navlet::server::ShownToFriends(privacy); }
    bool TellsFriends() const { return navlet::server::TellsFriends(privacy); }

    // The bits for `other`: 0 when none. Allocates nothing.
    uint8_t ShieldOf(uint64_t other) const {
        if (shield.empty())
            return 0;
        return ShieldBitsIn(shield, other);
    }
    // Whether the lines, calls and invitations of `other` are dropped for
    // this account.
    bool Hears(uint64_t other) const { return ShieldOf(other) == 0; }
    // Whether the two see each other in site lists and searches.
    bool Sees(uint64_t other) const { return (ShieldOf(other) & SHIELD_UNSEEN) == 0; }

    bool Online() const { return !sessions.empty(); }
    // The session that sent the latest request; null when offline.
    TClient* MostRecent() const;
};

// An account as the store holds it, read for a sign-in or a search.
struct TStoredAccount {
    std::optional<TAccount> account;   // with its password hash
    std::vector<TAccount> friends;     // when asked for, without theirs
    std::vector<TShieldEntry> shield;  // with the friends, sorted by id
    uint8_t privacy = PRIVACY_DEFAULT; // with the friends
    bool unavailable = false;          // the database did not answer
};

// What a sign-in read besides the account, for the desks that take it on.
struct TSignInLists {
    std::vector<TAccount> friends;
    std::vector<TShieldEntry> shield;
    uint8_t privacy = PRIVACY_DEFAULT;
};

// Yes: the friends and the shield too (a sign-in).
enum class TWithFriends { No, Yes };

class TDirectory {
  public:
    // Never read the store.
    virtual TAccountEntry* CachedById(uint64_t id) = 0;
    virtual TAccountEntry* CachedByNick(std::string_view nick) = 0;
    // Keeps an account read from the store (without its password hash).
    virtual void Remember(TAccount account) = 0;
    // The signed-in client of a session serial, if it is still there.
    virtual TClient* LiveClient(uint64_t serial) = 0;
    // Reads the account of `nick` from the store, away from the service's
    // thread, and calls `done` on it; nothing is remembered (the caller
    // decides, and a password hash is never kept). A caller with state that
    // may go meanwhile guards `done` itself.
    virtual void ReadAccount(std::string_view nick, TWithFriends withFriends,
                             std::function<void(TStoredAccount)> done) = 0;

  protected:
    ~TDirectory() = default;
};

} // namespace navlet::server
