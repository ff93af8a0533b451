#include "server/core/service.h"

#include <algorithm>

#include <sodium.h>

namespace navlet::server {

bool TRateBudget::Take(int64_t nowMs, double perSecond, double burst) {
    if (tokens < 0) {
        tokens = burst;
        lastMs = nowMs;
    }
    tokens = std::min(burst, tokens + double(nowMs - lastMs) * perSecond / 1000.0);
    lastMs = nowMs;
    if (tokens < 1.0)
        return false;
    tokens -= 1.0;
    return true;
}

UserId TClient::Id() const {
    return account ? account->account.id : 0;
}

TClient* TAccountEntry::MostRecent() const {
    TClient* latest = nullptr;
    for (TClient* session : sessions)
        if (!latest || session->lastActive > latest->lastActive)
            latest = session;
    return latest;
}

namespace {

uint64_t FreshChatKey() {
    uint64_t key = 0;
    while (key == 0) { // 0 would mark the record as somebody else's
        randombytes_buf(&key, sizeof key);
        key &= (uint64_t(1) << 56) - 1;
    }
    return key;
}

} // namespace

TService::TService(TStore& store, const TClock& clock, TPasswordVerifier& verifier,
                   TBannerSet banners, TUpdateSet updates, TServiceConfig config)
    : store(store), clock(clock), verifier(verifier), updates(std::move(updates)), config(config),
      operators(
          localLink, [this](const TTarget& t, bool& unknown) { return Resolve(t, unknown); },
          [this](TClient& c) { EndSession(c, REASON_KICKED); }),
      calls(*this, store, inlineRunner, localLink, clock,
            TCallDesk::TLimits{config.chatPerSecond, config.chatBurst}),
      windows(*this, localLink, clock, config.maxSessionsPerAccount,
              [this](TClient& c) { EndSession(c, REASON_TOO_MANY_WINDOWS); }),
      chats(*this, *this, localLink, clock,
            TChatDesk::TLimits{config.invitesPerSecond, config.inviteBurst}),
      friendDesk(*this, store, inlineRunner, localLink),
      siteDesk(*this, *this, localLink, clock, std::move(banners),
               TSiteDesk::TLimits{config.bannerIntervalMs, config.recentLines}),
      alive(std::make_shared<bool>(true)) {
    if (sodium_init() < 0) {
        // randombytes falls back to its own source; the rest of the set-up
        // does not depend on it.
    }
    lastPruneMs = clock.NowMs();
}

TService::~TService() {
    *alive = false;
}

void TService::SetClusterLink(TClusterLink& link) {
    cluster = nodeLink = &link;
    operators.SetLink(link);
    calls.SetLink(link);
    windows.SetLink(link);
    chats.SetLink(link);
    friendDesk.SetLink(link);
    siteDesk.SetLink(link);
}

void TService::RemoteEvent(const std::string& from, const cluster::TNodeMessage& message) {
    if (auto* trim = std::get_if<cluster::TTrim>(&message)) {
        windows.RemoteTrim(*trim);
        return;
    }
    chats.RemoteEvent(from, message);
}

void TService::Send(TClient& client, TPacket& packet, int length, uint8_t type) {
    client.sink.Deliver(EncodeWire(packet, length, type));
}

TAccountEntry* TService::CachedById(uint64_t id) {
    auto it = accounts.find(id);
    return it == accounts.end() ? nullptr : &it->second;
}

TAccountEntry* TService::CachedByNick(std::string_view nick) {
    auto it = accountByNick.find(FoldCase(nick));
    return it == accountByNick.end() ? nullptr : CachedById(it->second);
}

TClient* TService::LiveClient(uint64_t serial) {
    auto it = signedInBySerial.find(serial);
    return it == signedInBySerial.end() ? nullptr : it->second;
}

TAccountEntry* TService::EntryById(uint64_t id) {
    if (TAccountEntry* cached = CachedById(id))
        return cached;
    std::optional<TAccount> stored = store.FindAccountById(id);
    if (!stored)
        return nullptr;
    Remember(*stored);
    return &accounts.find(id)->second;
}

TAccountEntry* TService::LoadAccount(std::string_view nick) {
    if (TAccountEntry* cached = CachedByNick(nick))
        return cached;
    // Accounts added by another process (navlet-server account add) show up here.
    std::optional<TAccount> stored = store.FindAccountByNick(nick);
    if (!stored)
        return nullptr;
    return EntryById(stored->id);
}

TAccountEntry* TService::OnlineByNick(std::string_view nick) {
    TAccountEntry* entry = CachedByNick(nick);
    return entry && entry->Online() ? entry : nullptr;
}

void TService::EndSession(TClient& client, std::string_view reason) {
    client.sink.EndSession(reason);
    Disconnect(client);
}

// Sign-in: the account and its friends are read off the service's thread.
// Failed attempts slow further ones per address and per account (the guard);
// an attempt the slow-down lets through and whose password this process
// checked lately for the account goes through at once, the others wait their
// turn on the verifier.
void TService::Login(TClient& client, const TLoginRequest& request) {
    if (client.SignedIn() || client.serial != 0)
        return; // a second login on one connection means nothing
    uint64_t serial = client.serial = nextSerial++;
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    signingIn[serial] = TPendingLogin{&client, abandoned};
    if (!IsValidNick(request.nick) || !IsValidPassword(request.password)) {
        CheckPassword(serial, TLoginData{}, request);
        return;
    }
    auto data = std::make_shared<TLoginData>();
    std::weak_ptr<bool> service = alive;
    TStore& db = store;
    storeRunner->Run(
        [&db, data, nick = request.nick] {
            data->account = db.FindAccountByNick(nick);
            if (!data->account) {
                data->unavailable = TStore::LastCallFailed();
                return;
            }
            for (uint64_t id : db.Friends(data->account->id))
                if (std::optional<TAccount> friendAccount = db.FindAccountById(id))
                    data->friends.push_back(std::move(*friendAccount));
        },
        [this, service, serial, data, request] {
            if (!service.expired())
                CheckPassword(serial, std::move(*data), request);
        });
}

void TService::CheckPassword(uint64_t serial, TLoginData data, const TLoginRequest& request) {
    auto it = signingIn.find(serial);
    if (it == signingIn.end())
        return; // the connection went while the store answered
    TClient& client = *it->second.client;
    if (data.unavailable) {
        // No answer says nothing of the password: no failure is counted.
        signingIn.erase(it);
        client.sink.EndSession(REASON_BUSY);
        return;
    }
    std::shared_ptr<std::atomic<bool>> abandoned = it->second.abandoned;
    int64_t now = clock.NowMs();
    uint64_t id = data.account ? data.account->id : 0;
    std::string hash = data.account ? std::move(data.account->passwordHash) : std::string();
    TAccount known = data.account ? std::move(*data.account) : TAccount{};
    if (data.account)
        Remember(known);
    // The slow-down comes first, or the cache would answer a guesser's
    // right guess at once where its wrong ones are held back.
    if (guard.WaitMs(id, client.address, now) > 0) {
        guard.Hammered(client.address, now);
        signingIn.erase(serial);
        client.sink.EndSession(REASON_GUESSING);
        return;
    }
    if (id != 0 && signInCache.Knows(id, request.password, now)) {
        guard.Succeeded(id, client.address, now);
        FinishLogin(serial, id, request, true, data.friends);
        return;
    }
    if (id == 0) {
        NoteCheck(0, client.address, false, {}, now);
        FinishLogin(serial, 0, request, false, {});
        return;
    }
    std::weak_ptr<bool> service = alive;
    auto finish = [this, service, serial, id, request, address = client.address,
                   known = std::move(known), friends = std::move(data.friends)](bool ok) {
        if (service.expired())
            return;
        if (ok)
            Remember(known); // it may have left the cache while the check waited
        NoteCheck(id, address, ok, request.password, clock.NowMs());
        FinishLogin(serial, id, request, ok, friends);
    };
    TPasswordCheck check{client.address, std::move(hash), request.password, abandoned,
                         std::move(finish)};
    if (!verifier.Verify(std::move(check))) {
        signingIn.erase(serial);
        client.sink.EndSession(REASON_BUSY);
    }
}

void TService::NoteCheck(uint64_t accountId, const std::string& address, bool matched,
                         std::string_view password, int64_t nowMs) {
    if (!matched) {
        guard.Failed(accountId, address, nowMs);
        return;
    }
    if (accountId == 0)
        return;
    if (!password.empty())
        signInCache.Remember(accountId, password, nowMs);
    guard.Succeeded(accountId, address, nowMs);
}

// The web site's checks come from its own threads, so that a busy loop holds
// no account page: they touch only the guard, which has its own lock.
int64_t TService::PasswordCheckWaitMs(uint64_t accountId, const std::string& address) {
    return guard.WaitMs(accountId, address, clock.NowMs());
}

void TService::NotePasswordCheck(uint64_t accountId, const std::string& address, bool matched) {
    // The guard, but not the sign-in cache: the cache is for bars that
    // come back.
    if (matched)
        guard.Succeeded(accountId, address, clock.NowMs());
    else
        guard.Failed(accountId, address, clock.NowMs());
}

void TService::FinishLogin(uint64_t serial, uint64_t accountId, const TLoginRequest& request,
                           bool passwordOk, const std::vector<TAccount>& friends) {
    auto it = signingIn.find(serial);
    if (it == signingIn.end())
        return; // the connection went while its password was checked
    TClient& client = *it->second.client;
    signingIn.erase(it);
    TAccountEntry* entry = passwordOk ? CachedById(accountId) : nullptr;
    if (!entry) {
        client.sink.EndSession(REASON_REFUSED);
        return;
    }
    Accept(client, *entry, request, friends);
}

void TService::Accept(TClient& client, TAccountEntry& entry, const TLoginRequest& request,
                      const std::vector<TAccount>& friends) {
    // One session per browser window, within a bound: past it the oldest
    // window gives way and hears why.
    while (!entry.sessions.empty() && entry.sessions.size() >= config.maxSessionsPerAccount)
        EndSession(*entry.sessions.front(), REASON_TOO_MANY_WINDOWS);
    const bool cameOnline = entry.sessions.empty();
    entry.sessions.push_back(&client);
    client.account = &entry;
    client.lastActive = ++activity;
    windows.SignedIn(client);
    client.chatKey = FreshChatKey();
    client.languageMask = request.languageMask;
    client.versionText = request.version;
    signedInBySerial[client.serial] = &client;
    ++signedIn;
    friendDesk.SignedIn(client, friends, cameOnline);
    siteDesk.EnterSiteWhenKnown(client, request.site, &friends);
}

void TService::Disconnect(TClient& client) {
    if (auto it = signingIn.find(client.serial); client.serial != 0 && it != signingIn.end()) {
        *it->second.abandoned = true; // a queued check for it is skipped
        signingIn.erase(it);
    }
    if (!client.SignedIn())
        return;
    siteDesk.LeaveSite(client);
    signedInBySerial.erase(client.serial);
    std::erase(client.account->sessions, &client);
    client.account->usedMs = clock.NowMs();
    // This node's entry for the account goes before the friends ask where
    // else it is: when its last sessions on two nodes end at once, the node
    // that asks last finds neither and tells the friends it went.
    windows.SessionGone(*client.account);
    friendDesk.SessionGone(client);
    nodeLink->SessionSite(client.serial, nullptr, {});
    client.account = nullptr;
    --signedIn;
}

void TService::Tick() {
    int64_t now = clock.NowMs();
    constexpr int64_t PRUNE_EVERY_MS = 60000;
    if (now - lastPruneMs >= PRUNE_EVERY_MS) {
        lastPruneMs = now;
        signInCache.Prune(now);
        guard.Prune(now);
        ForgetIdleAccounts(now);
    }
    siteDesk.Tick(now);
}

std::vector<const TClient*> TService::OnlineUsers(std::string_view host) const {
    std::vector<const TClient*> out;
    if (!host.empty()) {
        std::vector<TClient*> on = siteDesk.SessionsOn(host);
        out.assign(on.begin(), on.end());
        return out;
    }
    for (const auto& [id, entry] : accounts)
        out.insert(out.end(), entry.sessions.begin(), entry.sessions.end());
    return out;
}

// Hashes stay in the store: they are read only at sign-in, and memory per
// account counts with thousands signed in.
void TService::Remember(TAccount account) {
    account.passwordHash = std::string();
    accountByNick[FoldCase(account.nick)] = account.id;
    auto [it, added] = accounts.emplace(account.id, TAccountEntry{account, {}, 0, {}});
    if (!added)
        it->second.account = std::move(account);
    it->second.usedMs = clock.NowMs();
}

// A sign-up through the web site: the copy follows only an account known
// here; the others are read at their sign-in.
void TService::AccountStored(TAccount account) {
    if (CachedById(account.id))
        Remember(std::move(account));
}

void TService::ForgetIdleAccounts(int64_t nowMs) {
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
void TService::Refresh(uint64_t id) {
    if (std::optional<TAccount> stored = store.FindAccountById(id))
        Remember(*stored);
}

TAddAccountResult TService::AddAccountHashed(std::string_view nick, const std::string& hash,
                                             char gender, int language, TAccount* added) {
    TAccount account;
    TAddAccountResult result = store.AddAccountHashed(nick, hash, gender, language, &account);
    if (result == TAddAccountResult::Added)
        Remember(account);
    if (added)
        *added = account;
    return result;
}

std::optional<TAccount> TService::FindAccount(uint64_t id) {
    return store.FindAccountById(id);
}

std::optional<TAccount> TService::FindAccountByNick(std::string_view nick) {
    TAccountEntry* entry = LoadAccount(nick);
    return entry ? std::optional<TAccount>(entry->account) : std::nullopt;
}

bool TService::UpdateProfileHashed(uint64_t id, char gender, int language,
                                   const std::string& newHash) {
    if (!store.UpdateProfileHashed(id, gender, language, newHash))
        return false;
    if (!newHash.empty())
        signInCache.Forget(id); // the old password signs in no more
    Refresh(id);
    return true;
}

} // namespace navlet::server
