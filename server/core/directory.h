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

// The service keeps the accounts that have sessions here, and the others
// it met for a minute or two (a sign-in under way, a friend just listed).
struct TAccountEntry {
    TAccount account;               // without the password hash
    std::vector<TClient*> sessions; // signed in, oldest first
    int64_t usedMs = 0;             // remembered or left by its last session
    // The account's friends while it is online, as its latest sign-in read
    // them and its bars changed them since.
    std::vector<uint64_t> friendIds;

    bool Online() const { return !sessions.empty(); }
    // The session that sent the latest request; null when offline.
    TClient* MostRecent() const;
};

// An account as the store holds it, read for a sign-in or a search.
struct TStoredAccount {
    std::optional<TAccount> account; // with its password hash
    std::vector<TAccount> friends;   // when asked for, without theirs
    bool unavailable = false;        // the database did not answer
};

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
