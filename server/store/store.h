// The service's durable state: accounts with their profiles and hashed
// passwords, friends, and calls kept for users who were offline. One
// interface with two back ends: a SQLite file (the embedded default) and a
// PostgreSQL database shared by the nodes of a cluster. The account rules and
// the password hashing live here once, for both. Every call is thread-safe,
// so the service may make them off its event loop.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/account_rules.h"
#include "protocol/ascii.h"
#include "protocol/requests.h"

namespace navlet::server {

inline constexpr int STORE_SCHEMA_VERSION = 6;
inline constexpr int MAX_FRIENDS = 100;
inline constexpr int MAX_KEPT_CALLS = 5; // per account; the oldest gives way
// A call nobody came to take is forgotten after this long, delivered or not.
inline constexpr int64_t KEPT_CALL_SECONDS = 30 * 86400;
inline constexpr int MAX_MARKS = 1000; // people one account ignores or blocks

// Languages are the 13 of the bar's filter menu (1 to 13); 0 = any other.
inline constexpr int MAX_LANGUAGE = 13;

struct TAccount {
    uint64_t id = 0;   // stable, never reused; shown in profile addresses
    std::string nick;  // canonical spelling
    char gender = 'x'; // 'm', 'f' or 'x'
    int language = 0;
    std::string passwordHash; // libsodium crypto_pwhash_str
};

struct TKeptCall {
    uint64_t target = 0;
    uint64_t caller = 0;
    std::string callerNick;
    std::string message;
    std::string link; // the caller's page when the call was made
};

// Another account as one account marked it: ignored (1) or blocked (2),
// the numbers of the bar's mark message.
inline constexpr uint8_t STORED_IGNORE = 1;
inline constexpr uint8_t STORED_BLOCK = 2;
struct TMark {
    uint64_t other = 0;
    uint8_t kind = STORED_IGNORE;
    std::string nick; // the other's
    bool operator==(const TMark&) const = default;
};

// What an operator holds against an account, an address range or a site.
// Kinds are stored as their numbers and never change.
enum class TRestrictionKind : uint8_t {
    UserBan = 1,    // subject: the account's id
    AddressBan = 2, // subject: an address range, "ADDR/BITS"
    Disabled = 3,   // subject: the account's id; until the operator enables it
    SiteMute = 4,   // subject: the site's folded host; its public chat is closed
};
struct TRestriction {
    TRestrictionKind kind = TRestrictionKind::UserBan;
    std::string subject;
    int64_t untilS = 0; // Unix seconds; 0 = forever
    std::string reason; // the operator's words, shown to whom it stops
    bool operator==(const TRestriction&) const = default;
};

// A user's report of another: what the reporter chose and wrote, and the
// reported user's last lines where the reporter saw them, one per row.
struct TReport {
    uint64_t id = 0;
    uint64_t reporter = 0;
    std::string reporterNick;
    uint64_t target = 0;
    std::string targetNick;
    int64_t created = 0; // Unix seconds
    uint8_t reason = 0;  // the request's REPORT_* value
    std::string text;
    std::string site; // the reporter's site host, empty for none
    std::string lines;
    bool closed = false;
    std::string closeText; // the operator's words when closing
};
inline constexpr int REPORTS_PER_HOUR = 5;    // per reporting account
inline constexpr size_t REPORT_LISTING = 200; // newest reports in a listing

// The nick and password rules and FoldCase, the comparison of nicks and
// hosts, are the protocol's (protocol/account_rules.h, protocol/ascii.h).
bool IsValidGender(char gender);
bool IsValidLanguage(int language);

// crypto_pwhash_str with the service's limits; empty on failure.
std::string HashPassword(std::string_view password);
// A new password for an account an operator resets: 12 letters and digits
// from the system's random source, none that reads like another.
std::string RandomPassword();
// Constant-time check of a password against a stored hash. Thread-safe.
bool VerifyPassword(const std::string& hash, std::string_view password);

enum class TAddAccountResult {
    Added,
    NickTaken,
    InvalidNick,
    InvalidPassword,
    InvalidProfile,
    Failed
};

// Whether a --database value names a PostgreSQL server rather than a file.
bool IsPostgresLocation(std::string_view location);

class TStore {
  public:
    // Opens the database a location names: a postgresql:// (or postgres://)
    // connection address, otherwise a SQLite file path. Creates the schema or
    // brings it to the current version. Null with `error` when it cannot.
    static std::unique_ptr<TStore> Open(const std::string& location, std::string& error);
    virtual ~TStore() = default;
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    TAddAccountResult AddAccount(std::string_view nick, std::string_view password, char gender,
                                 int language, TAccount* added = nullptr);
    // The same with a hash made beforehand (off the event loop).
    TAddAccountResult AddAccountHashed(std::string_view nick, const std::string& passwordHash,
                                       char gender, int language, TAccount* added = nullptr);
    // Without regard to case; nullopt also when the database cannot answer.
    virtual std::optional<TAccount> FindAccountByNick(std::string_view nick) = 0;
    virtual std::optional<TAccount> FindAccountById(uint64_t id) = 0;
    virtual std::vector<TAccount> AllAccounts() = 0;
    // Profile fields; an empty password keeps the old one.
    bool UpdateProfile(uint64_t id, char gender, int language, std::string_view newPassword);
    // The same with the new password's hash made beforehand; empty keeps it.
    bool UpdateProfileHashed(uint64_t id, char gender, int language, const std::string& newHash);

    // False when the friend does not exist, is the owner, or the list is full.
    bool AddFriend(uint64_t owner, uint64_t friendId);
    virtual bool RemoveFriend(uint64_t owner, uint64_t friendId) = 0;
    virtual std::vector<uint64_t> Friends(uint64_t owner) = 0;

    // Sets the owner's mark on `target`, or with kind 0 removes it. False
    // when the target does not exist or is the owner, or when a new mark
    // finds MAX_MARKS already (changing a mark always fits).
    bool SetMark(uint64_t owner, uint64_t target, uint8_t kind);
    // The owner's marks, by the other's id.
    virtual std::vector<TMark> Marks(uint64_t owner) = 0;
    // Those who block `target`, by id (kind STORED_BLOCK).
    virtual std::vector<TMark> BlockersOf(uint64_t target) = 0;

    // Sets a restriction, replacing the one of the same kind and subject.
    virtual bool PutRestriction(const TRestriction& restriction) = 0;
    // Lifts one: true when it was there, false when not, nullopt when the
    // database did not answer.
    virtual std::optional<bool> DropRestriction(TRestrictionKind kind,
                                                std::string_view subject) = 0;
    // Every restriction that still holds at `nowS`; nullopt when the
    // database did not answer (the caller keeps what it had).
    virtual std::optional<std::vector<TRestriction>> Restrictions(int64_t nowS) = 0;
    // Removes the account with everything kept about it: its friends list
    // and its place on others', its marks and others' marks of it, the calls
    // kept for it and those it made, and the restrictions on it. False when
    // there is no such account or the database failed (then nothing is
    // removed).
    virtual bool DeleteAccount(uint64_t id) = 0;

    // Keeps the report unless its reporter made REPORTS_PER_HOUR already in
    // the hour before `report.created`. The new report's id; 0 when over
    // the rate or failed (LastCallFailed tells which).
    virtual uint64_t AddReport(const TReport& report) = 0;
    // The newest REPORT_LISTING reports, open ones only unless `all`, newest
    // first, without their lines.
    virtual std::vector<TReport> Reports(bool all) = 0;
    virtual std::optional<TReport> FindReport(uint64_t id) = 0;
    // False when no open report has that id.
    virtual bool CloseReport(uint64_t id, std::string_view text) = 0;

    // The account's privacy bits (the protocol's PRIVACY_*); the default
    // for an account that never set them.
    virtual uint8_t Privacy(uint64_t account) = 0;
    virtual bool SetPrivacy(uint64_t account, uint8_t flags) = 0;

    // Keeps a call; a newer call of the same caller replaces the older one, and
    // past MAX_KEPT_CALLS the oldest is dropped. Every account's calls older
    // than KEPT_CALL_SECONDS go at the same time.
    virtual bool KeepCall(const TKeptCall& call) = 0;
    // Returns the target's calls younger than KEPT_CALL_SECONDS, oldest
    // first, and forgets them all.
    virtual std::vector<TKeptCall> TakeCalls(uint64_t target) = 0;

    // A call that only asks whether the database answers (noted as any
    // call is, for Reachable); an embedded store always does.
    virtual bool Ping() { return true; }

    // Whether the latest call made on this thread failed for want of the
    // database (unreachable, or no answer in time), rather than finding
    // nothing or refusing. Lets callers say "try again" instead of "no".
    static bool LastCallFailed();
    // Whether the latest call of any thread reached the database.
    static bool Reachable();

  protected:
    static void NoteCall(bool failed);
    TStore() = default;
    enum class TInsertResult { Done, Duplicate, Failed };
    // The back ends' halves of the checked operations above.
    virtual TInsertResult InsertAccount(std::string_view nick, const std::string& hash, char gender,
                                        int language, uint64_t& id) = 0;
    virtual bool WriteProfile(uint64_t id, char gender, int language,
                              const std::string& newHash) = 0;
    virtual bool InsertFriend(uint64_t owner, uint64_t friendId) = 0;
    // Inserts or changes the mark when the owner has fewer than `bound`
    // others marked or already marks the target.
    virtual bool WriteMark(uint64_t owner, uint64_t target, uint8_t kind, int bound) = 0;
    virtual bool DeleteMark(uint64_t owner, uint64_t target) = 0;
};

} // namespace navlet::server
