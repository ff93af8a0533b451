#include "server/core/accounts.h"

#include <memory>

namespace navlet::server {

TAccountEntry* TAccountDesk::CachedById(uint64_t id) {
    auto it = accounts.find(id);
    return it == accounts.end() ? nullptr : &it->second;
}

TAccountEntry* TAccountDesk::CachedByNick(std::string_view nick) {
    auto it = accountByNick.find(FoldCase(nick));
    return it == accountByNick.end() ? nullptr : CachedById(it->second);
}

TClient* TAccountDesk::LiveClient(uint64_t serial) {
    auto it = signedInBySerial.find(serial);
    return it == signedInBySerial.end() ? nullptr : it->second;
}

void TAccountDesk::ReadAccount(std::string_view nick, TWithFriends withFriends,
                               std::function<void(TStoredAccount)> done) {
    auto read = std::make_shared<TStoredAccount>();
    TStore& db = store;
    runner->Run(
        [&db, read, withFriends, nick = std::string(nick)] {
            read->account = db.FindAccountByNick(nick);
            if (!read->account) {
                read->unavailable = TStore::LastCallFailed();
                return;
            }
            if (withFriends == TWithFriends::No)
                return;
            for (uint64_t id : db.Friends(read->account->id))
                if (std::optional<TAccount> friendAccount = db.FindAccountById(id))
                    read->friends.push_back(std::move(*friendAccount));
            for (const TMark& mark : db.Marks(read->account->id))
                SetShieldBits(read->shield, mark.other, mark.nick,
                              mark.kind == STORED_BLOCK ? SHIELD_BLOCKS : SHIELD_IGNORES,
                              SHIELD_IGNORES | SHIELD_BLOCKS);
            read->privacy = db.Privacy(read->account->id);
            for (const TMark& blocker : db.BlockersOf(read->account->id))
                SetShieldBits(read->shield, blocker.other, blocker.nick, SHIELD_BLOCKED_BY,
                              SHIELD_BLOCKED_BY);
        },
        [read, done = std::move(done)] { done(std::move(*read)); });
}

TAccountEntry* TAccountDesk::EntryById(uint64_t id) {
    if (TAccountEntry* cached = CachedById(id))
        return cached;
    std::optional<TAccount> stored = store.FindAccountById(id);
    if (!stored)
        return nullptr;
    Remember(*stored);
    return &accounts.find(id)->second;
}

TAccountEntry* TAccountDesk::LoadAccount(std::string_view nick) {
    if (TAccountEntry* cached = CachedByNick(nick))
        return cached;
    // Accounts added by another process (navlet-server account add) show up here.
    std::optional<TAccount> stored = store.FindAccountByNick(nick);
    if (!stored)
        return nullptr;
    return EntryById(stored->id);
}

TAccountEntry* TAccountDesk::OnlineByNick(std::string_view nick) {
    TAccountEntry* entry = CachedByNick(nick);
    return entry && entry->Online() ? entry : nullptr;
}

void TAccountDesk::Join(TClient& client, TAccountEntry& entry) {
    entry.sessions.push_back(&client);
    client.account = &entry;
    NoteActivity(client);
    signedInBySerial[client.serial] = &client;
}

void TAccountDesk::Leave(TClient& client) {
    signedInBySerial.erase(client.serial);
    std::erase(client.account->sessions, &client);
    client.account->usedMs = clock.NowMs();
}

std::vector<TClient*> TAccountDesk::Sessions() const {
    std::vector<TClient*> out;
    for (const auto& [id, entry] : accounts)
        out.insert(out.end(), entry.sessions.begin(), entry.sessions.end());
    return out;
}

// Hashes stay in the store: they are read only at sign-in, and memory per
// account counts with thousands signed in.
void TAccountDesk::Remember(TAccount account) {
    account.passwordHash = std::string();
    accountByNick[FoldCase(account.nick)] = account.id;
    auto [it, added] = accounts.emplace(account.id, TAccountEntry{account, {}, 0, {}});
    if (!added)
        it->second.account = std::move(account);
    it->second.usedMs = clock.NowMs();
}

// A sign-up through the web site: the copy follows only an account known
// here; the others are read at their sign-in.
void TAccountDesk::AccountStored(TAccount account) {
    if (CachedById(account.id))
        Remember(std::move(account));
}

void TAccountDesk::ForgetNick(uint64_t id) {
    auto it = accounts.find(id);
    if (it == accounts.end())
        return;
    auto byNick = accountByNick.find(FoldCase(it->second.account.nick));
    if (byNick != accountByNick.end() && byNick->second == id)
        accountByNick.erase(byNick);
}

void TAccountDesk::ForgetIdleAccounts(int64_t nowMs) {
    constexpr int64_t KEPT_IDLE_MS = 60000;
    for (auto it = accounts.begin(); it != accounts.end();) {
        const TAccountEntry& entry = it->second;
        if (entry.Online() || nowMs - entry.usedMs < KEPT_IDLE_MS) {
            ++it;
            continue;
        }
        auto byNick = accountByNick.find(FoldCase(entry.account.nick));
        if (byNick != accountByNick.end() && byNick->second == it->first)
            accountByNick.erase(byNick);
        it = accounts.erase(it);
    }
}

// The new language filters this user's next lines; a new password counts
// from the next sign-in.
void TAccountDesk::Refresh(uint64_t id) {
    if (std::optional<TAccount> stored = store.FindAccountById(id))
        Remember(*stored);
}

TAddAccountResult TAccountDesk::AddAccountHashed(std::string_view nick, const std::string& hash,
                                                 char gender, int language, TAccount* added) {
    TAccount account;
    TAddAccountResult result = store.AddAccountHashed(nick, hash, gender, language, &account);
    if (result == TAddAccountResult::Added)
        Remember(account);
    if (added)
        *added = account;
    return result;
}

std::optional<TAccount> TAccountDesk::FindAccount(uint64_t id) {
    return store.FindAccountById(id);
}

std::optional<TAccount> TAccountDesk::FindAccountByNick(std::string_view nick) {
    TAccountEntry* entry = LoadAccount(nick);
    return entry ? std::optional<TAccount>(entry->account) : std::nullopt;
}

bool TAccountDesk::UpdateProfileHashed(uint64_t id, char gender, int language,
                                       const std::string& newHash) {
    if (!store.UpdateProfileHashed(id, gender, language, newHash))
        return false;
    Refresh(id);
    return true;
}

} // namespace navlet::server
