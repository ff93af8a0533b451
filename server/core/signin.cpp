#include "server/core/signin.h"

#include "server/log/counters.h"
#include "server/log/refusals.h"

namespace navlet::server {

namespace {

// One line per sign-in refused, except that a flood from one address is
// summarised (see TRefusalLog): a guesser cannot fill the disk.
void LogRefused(const TClient& client, std::string_view nick, std::string_view reason,
                std::string_view kind, log::TLevel level = log::TLevel::Info) {
    counters::SignIn(reason);
    if (!log::NoteRefusal(level, "signin", kind, client.address))
        return;
    log::Write(level, "signin", "sign-in refused",
               {{"nick", nick},
                {"reason", reason},
                {"address", client.address},
                {"transport", client.Transport()}});
}

} // namespace

TSignInDesk::TSignInDesk(TDirectory& directory, const TClock& clock, TPasswordVerifier& verifier,
                         TAcceptFn accept)
    : directory(directory), clock(clock), verifier(verifier), accept(std::move(accept)),
      alive(std::make_shared<bool>(true)) {}

TSignInDesk::~TSignInDesk() {
    *alive = false;
}

// Failed attempts slow further ones per address and per account (the guard);
// an attempt the slow-down lets through and whose password this process
// checked lately for the account goes through at once, the others wait their
// turn on the verifier.
void TSignInDesk::Login(TClient& client, const TLoginRequest& request) {
    if (client.SignedIn() || client.serial != 0)
        return; // a second login on one connection means nothing
    uint64_t serial = client.serial = nextSerial++;
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    signingIn[serial] = TPendingLogin{&client, abandoned};
    if (!IsValidNick(request.nick) || !IsValidPassword(request.password)) {
        CheckPassword(serial, TStoredAccount{}, request);
        return;
    }
    std::weak_ptr<bool> desk = alive;
    directory.ReadAccount(request.nick, TWithFriends::Yes,
                          [this, desk, serial, request](TStoredAccount data) {
                              if (!desk.expired())
                                  CheckPassword(serial, std::move(data), request);
                          });
}

void TSignInDesk::Abandon(TClient& client) {
    if (auto it = signingIn.find(client.serial); client.serial != 0 && it != signingIn.end()) {
        *it->second.abandoned = true; // a queued check for it is skipped
        signingIn.erase(it);
    }
}

void TSignInDesk::CheckPassword(uint64_t serial, TStoredAccount data,
                                const TLoginRequest& request) {
    auto it = signingIn.find(serial);
    if (it == signingIn.end())
        return; // the connection went while the store answered
    TClient& client = *it->second.client;
    if (data.unavailable) {
        // No answer says nothing of the password: no failure is counted.
        signingIn.erase(it);
        LogRefused(client, request.nick, "database-unavailable",
                   "sign-ins refused while the database was unavailable", log::TLevel::Warn);
        client.sink.EndSession(REASON_BUSY);
        return;
    }
    std::shared_ptr<std::atomic<bool>> abandoned = it->second.abandoned;
    int64_t now = clock.NowMs();
    uint64_t id = data.account ? data.account->id : 0;
    std::string hash = data.account ? std::move(data.account->passwordHash) : std::string();
    TAccount known = data.account ? std::move(*data.account) : TAccount{};
    if (data.account)
        directory.Remember(known);
    // The slow-down comes first, or the cache would answer a guesser's
    // right guess at once where its wrong ones are held back.
    if (guard.WaitMs(id, client.address, now) > 0) {
        guard.Hammered(client.address, now);
        signingIn.erase(serial);
        LogRefused(client, request.nick, "too-many-attempts",
                   "sign-ins refused for too many attempts");
        client.sink.EndSession(REASON_GUESSING);
        return;
    }
    if (id != 0 && signInCache.Knows(id, hash, request.password, now)) {
        guard.Succeeded(id, client.address, now);
        FinishLogin(serial, id, request, true,
                    TSignInLists{std::move(data.friends), std::move(data.shield), data.privacy});
        return;
    }
    if (id == 0) {
        NoteCheck(0, client.address, false, {}, {}, now);
        FinishLogin(serial, 0, request, false, {});
        return;
    }
    std::weak_ptr<bool> desk = alive;
    auto finish = [this, desk, serial, id, request, address = client.address, storedHash = hash,
                   known = std::move(known),
                   lists = TSignInLists{std::move(data.friends), std::move(data.shield),
                                        data.privacy}](bool ok) {
        if (desk.expired())
            return;
        if (ok)
            directory.Remember(known); // it may have left the cache while the check waited
        NoteCheck(id, address, ok, storedHash, request.password, clock.NowMs());
        FinishLogin(serial, id, request, ok, lists);
    };
    TPasswordCheck check{client.address, std::move(hash), request.password, abandoned,
                         std::move(finish)};
    if (!verifier.Verify(std::move(check))) {
        signingIn.erase(serial);
        LogRefused(client, request.nick, "busy",
                   "sign-ins refused while the password checks were queued full",
                   log::TLevel::Warn);
        client.sink.EndSession(REASON_BUSY);
    }
}

void TSignInDesk::NoteCheck(uint64_t accountId, const std::string& address, bool matched,
                            std::string_view hash, std::string_view password, int64_t nowMs) {
    if (!matched) {
        guard.Failed(accountId, address, nowMs);
        return;
    }
    if (accountId == 0)
        return;
    if (!password.empty())
        signInCache.Remember(accountId, hash, password, nowMs);
    guard.Succeeded(accountId, address, nowMs);
}

// The web site's checks come from its own threads, so that a busy loop holds
// no account page: they touch only the guard, which has its own lock.
int64_t TSignInDesk::PasswordCheckWaitMs(uint64_t accountId, const std::string& address) {
    int64_t now = clock.NowMs();
    int64_t wait = guard.WaitMs(accountId, address, now);
    if (wait > 0)
        guard.Hammered(address, now); // as at the bar port: hammering keeps it held back
    return wait;
}

void TSignInDesk::NotePasswordCheck(uint64_t accountId, const std::string& address, bool matched) {
    // The guard, but not the sign-in cache: the cache is for bars that
    // come back.
    if (matched)
        guard.Succeeded(accountId, address, clock.NowMs());
    else
        guard.Failed(accountId, address, clock.NowMs());
}

void TSignInDesk::FinishLogin(uint64_t serial, uint64_t accountId, const TLoginRequest& request,
                              bool passwordOk, const TSignInLists& lists) {
    auto it = signingIn.find(serial);
    if (it == signingIn.end())
        return; // the connection went while its password was checked
    TClient& client = *it->second.client;
    signingIn.erase(it);
    TAccountEntry* entry = passwordOk ? directory.CachedById(accountId) : nullptr;
    if (!entry) {
        bool malformed = !IsValidNick(request.nick) || !IsValidPassword(request.password);
        std::string_view reason = malformed        ? "malformed"
                                  : accountId == 0 ? "unknown-nick"
                                  : !passwordOk    ? "wrong-password"
                                                   : "account-gone";
        LogRefused(client, request.nick, reason, "sign-ins refused for a wrong nick or password");
        client.sink.EndSession(REASON_REFUSED);
        return;
    }
    // Only a right password learns of a ban: a guesser hears what any wrong
    // password hears.
    if (std::string why = barred ? barred(accountId) : std::string(); !why.empty()) {
        LogRefused(client, request.nick, "barred", "sign-ins refused for a ban");
        client.sink.EndSession(why);
        return;
    }
    counters::SignIn("accepted");
    log::Info("signin", "sign-in accepted",
              {{"nick", entry->account.nick},
               {"account", accountId},
               {"address", client.address},
               {"transport", client.Transport()},
               {"sessions", entry->sessions.size() + 1}});
    accept(client, *entry, request, lists);
}

void TSignInDesk::Prune(int64_t nowMs) {
    signInCache.Prune(nowMs);
    guard.Prune(nowMs);
}

} // namespace navlet::server
