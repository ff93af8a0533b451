// What the service's web site needs from the rest of the server: accounts,
// profiles, the busiest sites and the banner pages. The server's store and
// session service implement it; tests use an in-memory fake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/chat_address.h"

namespace navlet::web {

// A user's public profile as the site shows it.
struct TProfile {
    UserId id = 0;
    std::string nick;  // canonical spelling, as signed up
    char gender = 'x'; // 'm', 'f' or 'x'
    int language = 0;  // 1 to 13 from the bar's language list, 0 = another language
};

struct TNewAccount {
    std::string nick;
    std::string password; // plain; the implementation stores only a hash
    char gender = 'x';
    int language = 0;
};

enum class TCreateResult {
    Created,
    NickTaken,   // another account has the nick, compared without regard to case
    Invalid,     // the implementation refused the fields (the site checks them first)
    Busy,        // the service did not take the request in time; nothing was created
    Unavailable, // the database did not answer; nothing was created
};

struct TCreateOutcome {
    TCreateResult result = TCreateResult::Invalid;
    UserId id = 0; // the new account's stable id when Created
};

struct TProfileChange {
    char gender = 'x';
    int language = 0;
    std::string newPassword; // empty keeps the current password
};

enum class TUpdateResult {
    Updated,
    NoSuchUser,
    WrongPassword,
    Invalid,
    Busy, // the service did not take the request in time; nothing was changed
    // Failed attempts on the account or from the address hold the check
    // back: the password was not checked, nothing was changed.
    TooManyAttempts,
    Unavailable, // the database did not answer; nothing was changed
};

struct TUpdateOutcome {
    TUpdateResult result = TUpdateResult::Invalid;
    int retryAfterSeconds = 0; // with TooManyAttempts
};

// Another account that an account ignores or blocks, as its profile page
// lists it.
enum class TMarkKind { Ignored, Blocked };
struct TMarkedPerson {
    UserId id = 0;
    std::string nick;
    TMarkKind kind = TMarkKind::Ignored;
};

enum class TUnmarkResult {
    Done,
    NotMarked,   // the owner does not mark that account so (any more)
    Unavailable, // the database did not answer; nothing was changed
};

struct TSiteLoad {
    std::string host; // as the bars reported it; user-supplied text
    int people = 0;
};

// How this server stands. A cluster node that has lost Redis serves only
// its own users, and its lists count only them.
struct TServerHealth {
    bool cluster = false;
    bool redisUp = true;
    size_t nodes = 1; // live nodes, this one included
};

// Every call comes from one of the web site's worker threads, possibly several
// at once: an implementation synchronises with its owner itself (a mutex, or
// posting to the event loop and waiting for the answer). A call must not
// throw; a storage failure answers as "not found" or Invalid.
class TWebBackend {
  public:
    virtual ~TWebBackend() = default;

    // The fields have passed CheckNick, CheckPassword and the gender and
    // language checks of account_rules.h.
    virtual TCreateOutcome CreateAccount(const TNewAccount& account) = 0;
    // Nothing when there is no such user, or when the database did not
    // answer (then LastCallUnavailable is true on this thread).
    virtual std::optional<TProfile> FindProfile(UserId id) = 0;
    // Changes gender, language and (when given) the password, only when
    // `password` is the account's current password; `address` is the peer's.
    // The check goes behind the slow-down of password guessing (failures
    // of the account or from the address hold it back: TooManyAttempts).
    virtual TUpdateOutcome UpdateProfile(UserId id, std::string_view password,
                                         const std::string& address,
                                         const TProfileChange& change) = 0;
    // Deletes the account with everything kept about it, on every node, and
    // ends its sessions, only when `password` is the account's current one;
    // the check goes behind the same slow-down as UpdateProfile's. Updated
    // means deleted.
    virtual TUpdateOutcome DeleteAccount(UserId id, std::string_view password,
                                         const std::string& address) = 0;
    // Whom the account ignores and blocks, by nick; nothing when the
    // database did not answer.
    virtual std::optional<std::vector<TMarkedPerson>> MarkedPeople(UserId owner) = 0;
    // Lifts the owner's ignoring or blocking of `other` where it is `kind`,
    // as the bar's "Stop ignoring" / "Unblock" does: stored, and the open
    // sessions of both accounts follow on every node at once.
    virtual TUnmarkResult Unmark(UserId owner, UserId other, TMarkKind kind) = 0;
    // The sites with the most signed-in users now, busiest first, at most `limit`.
    virtual std::vector<TSiteLoad> BusiestSites(int limit) = 0;
    // Banner page `id`: the operator's whole HTML page, which the site serves
    // as it is. Nothing for an unknown id.
    virtual std::optional<std::string> BannerBody(int32_t id) = 0;
    // Whether the operator banned the peer's address range: sign-ups from it
    // are refused. A server without bans need not say.
    virtual bool AddressBarred(const std::string& /*address*/) { return false; }
    // A server that is no cluster node need not say.
    virtual TServerHealth Health() { return {}; }
    // Whether the latest call on the calling thread found nothing because
    // the database did not answer, rather than because nothing was there.
    virtual bool LastCallUnavailable() { return false; }
};

} // namespace navlet::web
