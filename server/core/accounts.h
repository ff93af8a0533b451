// The accounts this node knows: those with sessions here, and the others it
// met lately (a sign-in under way, a friend just listed), with the signed-in
// sessions by serial. Every subsystem looks accounts up through it (as its
// TDirectory); only here is the store read for an account.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/core/clock.h"
#include "server/core/directory.h"
#include "server/core/store_runner.h"
#include "server/store/store.h"

namespace navlet::server {

class TAccountDesk final : public TDirectory {
  public:
    TAccountDesk(TStore& store, const TClock& clock) : store(store), clock(clock) {}
    TAccountDesk(const TAccountDesk&) = delete;
    TAccountDesk& operator=(const TAccountDesk&) = delete;
    // Where ReadAccount runs; inline until set. The runner must outlive the desk.
    void SetStoreRunner(TStoreRunner& r) { runner = &r; }

    TAccountEntry* CachedById(uint64_t id) override;
    TAccountEntry* CachedByNick(std::string_view nick) override;
    void Remember(TAccount account) override;
    TClient* LiveClient(uint64_t serial) override;
    void ReadAccount(std::string_view nick, TWithFriends withFriends,
                     std::function<void(TStoredAccount)> done) override;
    // These may read the store; the Cached ones never do.
    TAccountEntry* LoadAccount(std::string_view nick);
    TAccountEntry* EntryById(uint64_t id);
    TAccountEntry* OnlineByNick(std::string_view nick);
    void Refresh(uint64_t id);
    // Forgets the accounts without a session that nothing used lately.
    void ForgetIdleAccounts(int64_t nowMs);

    // The signed-in client joins the sessions of `entry`, or leaves its
    // account's (which then counts as used now).
    void Join(TClient& client, TAccountEntry& entry);
    void Leave(TClient& client);
    // A request of the client: its account's latest session is this one.
    void NoteActivity(TClient& client) { client.lastActive = ++activity; }
    // Every signed-in session of this node.
    std::vector<TClient*> Sessions() const;
    size_t SignedInCount() const { return signedInBySerial.size(); }
    size_t CachedAccounts() const { return accounts.size(); }

    // Created or changed through here so that signed-in state and the store
    // agree. Passwords come hashed: hashing would hold the loop.
    TAddAccountResult AddAccountHashed(std::string_view nick, const std::string& passwordHash,
                                       char gender, int language, TAccount* added);
    std::optional<TAccount> FindAccount(uint64_t id);
    std::optional<TAccount> FindAccountByNick(std::string_view nick);
    void AccountStored(TAccount account);
    // The nick leads to the account `id` no more; the entry itself goes when
    // idle, as sessions may still hold it while they close.
    void ForgetNick(uint64_t id);
    bool UpdateProfileHashed(uint64_t id, char gender, int language, const std::string& newHash);

  private:
    TStore& store;
    TInlineStoreRunner inlineRunner;
    TStoreRunner* runner = &inlineRunner;
    const TClock& clock;
    std::unordered_map<uint64_t, TAccountEntry> accounts;    // by id; nodes stay put
    std::unordered_map<std::string, uint64_t> accountByNick; // folded nick
    std::unordered_map<uint64_t, TClient*> signedInBySerial;
    uint64_t activity = 0; // counts requests and sign-ins
};

} // namespace navlet::server
