// Sign-in: the account and its friends are read off the service's thread,
// the password is checked behind the slow-down of guessing (TSignInGuard),
// and a password this process checked lately for the account goes through
// without a second hash run (TSignInCache). An accepted sign-in is handed to
// the front, which joins it to the rest of the service.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/requests.h"
#include "server/core/clock.h"
#include "server/core/directory.h"
#include "server/core/signin_cache.h"
#include "server/core/signin_guard.h"
#include "server/store/store.h"

namespace navlet::server {

// Why a sign-in ends its session, as the bar's ticker shows it.
inline constexpr std::string_view REASON_REFUSED = "Wrong nick or password.";
inline constexpr std::string_view REASON_GUESSING =
    "Too many wrong passwords: try again in a minute.";
inline constexpr std::string_view REASON_BUSY = "The server is busy: try again in a minute.";

// One password to check against its stored hash.
struct TPasswordCheck {
    std::string address; // the peer's: checks take turns by address
    std::string hash;
    std::string password;
    // Set when the connection has gone: the check is skipped, `done` not called.
    std::shared_ptr<const std::atomic<bool>> abandoned;
    std::function<void(bool matches)> done;
};

// Checks passwords, maybe on other threads; `done` must then be called back
// on the service's thread.
class TPasswordVerifier {
  public:
    virtual ~TPasswordVerifier() = default;
    // False when the check cannot wait its turn (a queue is full): nothing is
    // called then, and the caller refuses the sign-in at once.
    virtual bool Verify(TPasswordCheck check) = 0;
};

// Verifies on the calling thread (tools and tests).
class TInlineVerifier final : public TPasswordVerifier {
  public:
    bool Verify(TPasswordCheck check) override {
        check.done(VerifyPassword(check.hash, check.password));
        return true;
    }
};

class TSignInDesk {
  public:
    // A sign-in whose password was right, for the front to accept.
    using TAcceptFn = std::function<void(TClient&, TAccountEntry&, const TLoginRequest&,
                                         const TSignInLists& lists)>;
    TSignInDesk(TDirectory& directory, const TClock& clock, TPasswordVerifier& verifier,
                TAcceptFn accept);
    ~TSignInDesk();
    TSignInDesk(const TSignInDesk&) = delete;
    TSignInDesk& operator=(const TSignInDesk&) = delete;

    // Why an account whose password was right may not sign in (a ban, a
    // disabled account), as the bar shows it; empty when it may.
    using TBarredFn = std::function<std::string(uint64_t accountId)>;
    void SetBarred(TBarredFn fn) { barred = std::move(fn); }

    // May finish later; a refused login ends the session.
    void Login(TClient& client, const TLoginRequest& request);
    // The connection has gone: a sign-in of it under way is given up.
    void Abandon(TClient& client);
    // A password check outside sign-in (the web site's profile change): how
    // long failed attempts hold it back (0: check now), and its result. From
    // any thread.
    int64_t PasswordCheckWaitMs(uint64_t accountId, const std::string& address);
    void NotePasswordCheck(uint64_t accountId, const std::string& address, bool matched);
    // The account's password changed: the old one signs in no more.
    void PasswordChanged(uint64_t accountId) { signInCache.Forget(accountId); }
    void Prune(int64_t nowMs);

  private:
    void CheckPassword(uint64_t serial, TStoredAccount data, const TLoginRequest& request);
    void FinishLogin(uint64_t serial, uint64_t accountId, const TLoginRequest& request,
                     bool passwordOk, const TSignInLists& lists);
    // `hash` is the stored one the password was checked against.
    void NoteCheck(uint64_t accountId, const std::string& address, bool matched,
                   std::string_view hash, std::string_view password, int64_t nowMs);

    TDirectory& directory;
    const TClock& clock;
    TPasswordVerifier& verifier;
    TAcceptFn accept;
    TBarredFn barred;
    struct TPendingLogin {
        TClient* client = nullptr;
        std::shared_ptr<std::atomic<bool>> abandoned;
    };
    std::unordered_map<uint64_t, TPendingLogin> signingIn; // by serial
    TSignInCache signInCache;
    TSignInGuard guard; // also used from the web site's threads
    uint64_t nextSerial = 1;
    std::shared_ptr<bool> alive; // lets late password answers find the desk gone
};

} // namespace navlet::server
