// The accounts this node knows and their signed-in sessions, as the
// subsystems look them up. The account desk (accounts.h) keeps them; a
// subsystem never reads the store for an account itself.
#pragma once

#include <cstdint>
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

class TDirectory {
  public:
    // Never read the store.
    virtual TAccountEntry* CachedById(uint64_t id) = 0;
    virtual TAccountEntry* CachedByNick(std::string_view nick) = 0;
    // Keeps an account read from the store (without its password hash).
    virtual void Remember(TAccount account) = 0;
    // The signed-in client of a session serial, if it is still there.
    virtual TClient* LiveClient(uint64_t serial) = 0;

  protected:
    ~TDirectory() = default;
};

} // namespace navlet::server
