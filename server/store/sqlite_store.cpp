#include "server/store/sqlite_store.h"

#include <iterator>
#include <sqlite3.h>

#include "server/log/log.h"
#include "server/store/sqlite_backup.h"

namespace navlet::server {
namespace {

// One prepared statement, finalized on scope exit.
class TStatement {
  public:
    TStatement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            stmt = nullptr;
    }
    ~TStatement() { sqlite3_finalize(stmt); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int i, int64_t v) {
        sqlite3_bind_int64(stmt, i, v);
        return *this;
    }
    TStatement& Bind(int i, std::string_view v) {
        sqlite3_bind_text(stmt, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return stmt ? sqlite3_step(stmt) : SQLITE_ERROR; }
    int64_t Int(int col) const { return sqlite3_column_int64(stmt, col); }
    std::string Text(int col) const {
        const unsigned char* t = sqlite3_column_text(stmt, col);
        return t ? std::string(reinterpret_cast<const char*>(t),
                               size_t(sqlite3_column_bytes(stmt, col)))
                 : std::string();
    }

  private:
    sqlite3_stmt* stmt = nullptr;
};

TAccount AccountFromRow(const TStatement& s) {
    TAccount a;
    a.id = uint64_t(s.Int(0));
    a.nick = s.Text(1);
    std::string g = s.Text(2);
    a.gender = g.empty() ? 'x' : g[0];
    a.language = int(s.Int(3));
    a.passwordHash = s.Text(4);
    return a;
}

constexpr const char* SCHEMA_V1 = R"sql(
CREATE TABLE accounts (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    nick TEXT NOT NULL UNIQUE COLLATE NOCASE,
    password_hash TEXT NOT NULL,
    gender TEXT NOT NULL DEFAULT 'x',
    language INTEGER NOT NULL DEFAULT 0,
    created INTEGER NOT NULL DEFAULT (strftime('%s','now'))
);
CREATE TABLE friends (
    owner INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    friend INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    PRIMARY KEY (owner, friend)
) WITHOUT ROWID;
CREATE TABLE kept_calls (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    target INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    caller INTEGER NOT NULL,
    caller_nick TEXT NOT NULL,
    message TEXT NOT NULL,
    link TEXT NOT NULL
);
CREATE INDEX kept_calls_target ON kept_calls(target);
)sql";

// Whom an account ignores (kind 1) or blocks (kind 2).
constexpr const char* SCHEMA_MARKS = R"sql(
CREATE TABLE marks (
    owner INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    target INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    kind INTEGER NOT NULL,
    PRIMARY KEY (owner, target)
) WITHOUT ROWID;
CREATE INDEX marks_target ON marks(target, kind);
)sql";

// What operators hold against accounts, address ranges and sites: kept
// here so that every node applies them and they outlive a restart.
constexpr const char* SCHEMA_RESTRICTIONS = R"sql(
CREATE TABLE restrictions (
    kind INTEGER NOT NULL,
    subject TEXT NOT NULL,
    until INTEGER NOT NULL,
    reason TEXT NOT NULL,
    made INTEGER NOT NULL DEFAULT (strftime('%s','now')),
    PRIMARY KEY (kind, subject)
) WITHOUT ROWID;
)sql";

// Reports outlive the accounts they name, so they keep the nicks; the
// privacy bits of accounts that changed them.
constexpr const char* SCHEMA_REPORTS = R"sql(
CREATE TABLE reports (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    reporter INTEGER NOT NULL,
    reporter_nick TEXT NOT NULL,
    target INTEGER NOT NULL,
    target_nick TEXT NOT NULL,
    created INTEGER NOT NULL,
    reason INTEGER NOT NULL,
    text TEXT NOT NULL,
    site TEXT NOT NULL,
    lines TEXT NOT NULL,
    closed INTEGER NOT NULL DEFAULT 0,
    close_text TEXT NOT NULL DEFAULT ''
);
CREATE INDEX reports_reporter ON reports(reporter, created);
CREATE TABLE privacy (
    account INTEGER PRIMARY KEY REFERENCES accounts(id) ON DELETE CASCADE,
    flags INTEGER NOT NULL
);
)sql";

constexpr const char* ACCOUNT_COLUMNS = "SELECT id, nick, gender, language, password_hash "
                                        "FROM accounts ";

// Each step brings the schema to its version from the one before; a new
// file runs them all. Steps are never edited once released: a change is a
// new step.
struct TMigration {
    int version;
    const char* sql;
};
constexpr TMigration MIGRATIONS[] = {
    {1, SCHEMA_V1},
    // Who has this account among their friends, without reading every list;
    // deleting an account (the cascade) needs it too.
    {2, "CREATE INDEX friends_friend ON friends(friend);"},
    {3, SCHEMA_MARKS},
    // When each call was kept, so that none is kept longer than promised;
    // those kept before count from the upgrade.
    {4, "ALTER TABLE kept_calls ADD COLUMN kept INTEGER NOT NULL DEFAULT 0;"
        "UPDATE kept_calls SET kept = CAST(strftime('%s','now') AS INTEGER);"
        "CREATE INDEX kept_calls_kept ON kept_calls(kept);"},
    {5, SCHEMA_RESTRICTIONS},
    {6, SCHEMA_REPORTS},
};
static_assert(MIGRATIONS[std::size(MIGRATIONS) - 1].version == STORE_SCHEMA_VERSION);

} // namespace

std::unique_ptr<TStore> TSqliteStore::Open(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "cannot open the database";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    std::unique_ptr<TSqliteStore> store(new TSqliteStore(db));
    if (!store->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
                     "PRAGMA cache_size=-1024;")) {
        error = sqlite3_errmsg(db);
        return nullptr;
    }
    if (!store->Migrate(error))
        return nullptr;
    return store;
}

TSqliteStore::~TSqliteStore() {
    sqlite3_close(db);
}

bool TSqliteStore::Exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int64_t TSqliteStore::SchemaVersion() {
    TStatement version(db, "PRAGMA user_version");
    return version.Step() == SQLITE_ROW ? version.Int(0) : -1;
}

bool TSqliteStore::Migrate(std::string& error) {
    int64_t current = SchemaVersion();
    if (current < 0) {
        error = sqlite3_errmsg(db);
        return false;
    }
    if (current > STORE_SCHEMA_VERSION) {
        error = "the database was written by a newer navlet-server (schema " +
                std::to_string(current) + ")";
        return false;
    }
    if (current == STORE_SCHEMA_VERSION)
        return true;
    // The write lock first, then the version again: another process that
    // opened the file at the same moment may have upgraded it meanwhile.
    if (!Exec("BEGIN IMMEDIATE")) {
        error = sqlite3_errmsg(db);
        return false;
    }
    current = SchemaVersion();
    // The upgrade cannot be undone: the store as it was stays beside it.
    // Readers go on under this lock, so the copy sees the old version whole.
    if (current > 0 && current < STORE_SCHEMA_VERSION) {
        std::string path = sqlite3_db_filename(db, "main");
        std::string keep = path + ".schema-" + std::to_string(current) + ".bak";
        if (!BackupSqliteStore(path, keep, error)) {
            error = "cannot keep a copy before upgrading the schema: " + error;
            Exec("ROLLBACK");
            return false;
        }
    }
    std::string script;
    for (const TMigration& step : MIGRATIONS)
        if (step.version > current)
            script += step.sql;
    script += "PRAGMA user_version=" + std::to_string(STORE_SCHEMA_VERSION) + ";";
    if (current < 0 || !Exec(script.c_str()) || !Exec("COMMIT")) {
        error = sqlite3_errmsg(db);
        Exec("ROLLBACK");
        return false;
    }
    if (current > 0)
        log::Info("store", "schema upgraded",
                  {{"from", current},
                   {"to", int64_t(STORE_SCHEMA_VERSION)},
                   {"kept", std::string(sqlite3_db_filename(db, "main")) + ".schema-" +
                                std::to_string(current) + ".bak"}});
    return true;
}

TStore::TInsertResult TSqliteStore::InsertAccount(std::string_view nick, const std::string& hash,
                                                  char gender, int language, uint64_t& id) {
    std::lock_guard hold(lock);
    TStatement s(db, "INSERT INTO accounts(nick, password_hash, gender, language) VALUES(?,?,?,?)");
    s.Bind(1, nick).Bind(2, hash).Bind(3, std::string_view(&gender, 1)).Bind(4, language);
    int rc = s.Step();
    if (rc == SQLITE_CONSTRAINT)
        return TInsertResult::Duplicate;
    if (rc != SQLITE_DONE)
        return TInsertResult::Failed;
    id = uint64_t(sqlite3_last_insert_rowid(db));
    return TInsertResult::Done;
}

std::optional<TAccount> TSqliteStore::FindAccountWhere(const char* where, std::string_view nick,
                                                       int64_t id) {
    std::lock_guard hold(lock);
    TStatement s(db, (std::string(ACCOUNT_COLUMNS) + where).c_str());
    if (nick.empty())
        s.Bind(1, id);
    else
        s.Bind(1, nick);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return AccountFromRow(s);
}

std::optional<TAccount> TSqliteStore::FindAccountByNick(std::string_view nick) {
    if (nick.empty())
        return std::nullopt;
    return FindAccountWhere("WHERE nick = ?", nick, 0);
}

std::optional<TAccount> TSqliteStore::FindAccountById(uint64_t id) {
    return FindAccountWhere("WHERE id = ?", {}, int64_t(id));
}

std::vector<TAccount> TSqliteStore::AllAccounts() {
    std::lock_guard hold(lock);
    std::vector<TAccount> out;
    TStatement s(db, (std::string(ACCOUNT_COLUMNS) + "ORDER BY id").c_str());
    while (s.Step() == SQLITE_ROW)
        out.push_back(AccountFromRow(s));
    return out;
}

bool TSqliteStore::WriteProfile(uint64_t id, char gender, int language,
                                const std::string& newHash) {
    std::lock_guard hold(lock);
    if (!Exec("BEGIN"))
        return false;
    TStatement s(db, "UPDATE accounts SET gender = ?, language = ? WHERE id = ?");
    s.Bind(1, std::string_view(&gender, 1)).Bind(2, language).Bind(3, int64_t(id));
    bool ok = s.Step() == SQLITE_DONE && sqlite3_changes(db) == 1;
    if (ok && !newHash.empty()) {
        TStatement p(db, "UPDATE accounts SET password_hash = ? WHERE id = ?");
        p.Bind(1, newHash).Bind(2, int64_t(id));
        ok = p.Step() == SQLITE_DONE;
    }
    Exec(ok ? "COMMIT" : "ROLLBACK");
    return ok;
}

bool TSqliteStore::InsertFriend(uint64_t owner, uint64_t friendId) {
    std::lock_guard hold(lock);
    TStatement s(db, "INSERT OR IGNORE INTO friends(owner, friend) VALUES(?,?)");
    s.Bind(1, int64_t(owner)).Bind(2, int64_t(friendId));
    return s.Step() == SQLITE_DONE;
}

bool TSqliteStore::RemoveFriend(uint64_t owner, uint64_t friendId) {
    std::lock_guard hold(lock);
    TStatement s(db, "DELETE FROM friends WHERE owner = ? AND friend = ?");
    s.Bind(1, int64_t(owner)).Bind(2, int64_t(friendId));
    return s.Step() == SQLITE_DONE && sqlite3_changes(db) == 1;
}

std::vector<uint64_t> TSqliteStore::Friends(uint64_t owner) {
    std::lock_guard hold(lock);
    std::vector<uint64_t> out;
    TStatement s(db, "SELECT friend FROM friends WHERE owner = ? ORDER BY friend");
    s.Bind(1, int64_t(owner));
    while (s.Step() == SQLITE_ROW)
        out.push_back(uint64_t(s.Int(0)));
    return out;
}

bool TSqliteStore::WriteMark(uint64_t owner, uint64_t target, uint8_t kind, int bound) {
    std::lock_guard hold(lock);
    TStatement s(db, "INSERT INTO marks(owner, target, kind) SELECT ?1, ?2, ?3 "
                     "WHERE EXISTS (SELECT 1 FROM marks WHERE owner = ?1 AND target = ?2) "
                     "OR (SELECT count(*) FROM marks WHERE owner = ?1) < ?4 "
                     "ON CONFLICT(owner, target) DO UPDATE SET kind = excluded.kind");
    s.Bind(1, int64_t(owner)).Bind(2, int64_t(target)).Bind(3, int64_t(kind)).Bind(4, bound);
    return s.Step() == SQLITE_DONE && sqlite3_changes(db) == 1;
}

bool TSqliteStore::DeleteMark(uint64_t owner, uint64_t target) {
    std::lock_guard hold(lock);
    TStatement s(db, "DELETE FROM marks WHERE owner = ? AND target = ?");
    s.Bind(1, int64_t(owner)).Bind(2, int64_t(target));
    return s.Step() == SQLITE_DONE;
}

std::vector<TMark> TSqliteStore::Marks(uint64_t owner) {
    return ReadMarks("SELECT m.target, m.kind, a.nick FROM marks m JOIN accounts a ON a.id = "
                     "m.target WHERE m.owner = ? ORDER BY m.target",
                     owner);
}

std::vector<TMark> TSqliteStore::BlockersOf(uint64_t target) {
    return ReadMarks("SELECT m.owner, m.kind, a.nick FROM marks m JOIN accounts a ON a.id = "
                     "m.owner WHERE m.target = ? AND m.kind = 2 ORDER BY m.owner",
                     target);
}

std::vector<TMark> TSqliteStore::ReadMarks(const char* sql, uint64_t account) {
    std::lock_guard hold(lock);
    std::vector<TMark> out;
    TStatement s(db, sql);
    s.Bind(1, int64_t(account));
    while (s.Step() == SQLITE_ROW)
        out.push_back(TMark{uint64_t(s.Int(0)), uint8_t(s.Int(1)), s.Text(2)});
    return out;
}

bool TSqliteStore::PutRestriction(const TRestriction& r) {
    std::lock_guard hold(lock);
    TStatement s(db, "INSERT OR REPLACE INTO restrictions(kind, subject, until, reason) "
                     "VALUES(?,?,?,?)");
    s.Bind(1, int64_t(r.kind)).Bind(2, r.subject).Bind(3, r.untilS).Bind(4, r.reason);
    return s.Step() == SQLITE_DONE;
}

std::optional<bool> TSqliteStore::DropRestriction(TRestrictionKind kind, std::string_view subject) {
    std::lock_guard hold(lock);
    TStatement s(db, "DELETE FROM restrictions WHERE kind = ? AND subject = ?");
    s.Bind(1, int64_t(kind)).Bind(2, subject);
    if (s.Step() != SQLITE_DONE)
        return std::nullopt;
    return sqlite3_changes(db) > 0;
}

std::optional<std::vector<TRestriction>> TSqliteStore::Restrictions(int64_t nowS) {
    std::lock_guard hold(lock);
    TStatement s(db, "SELECT kind, subject, until, reason FROM restrictions "
                     "WHERE until = 0 OR until > ? ORDER BY kind, subject");
    s.Bind(1, nowS);
    std::vector<TRestriction> out;
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW)
        out.push_back(TRestriction{TRestrictionKind(s.Int(0)), s.Text(1), s.Int(2), s.Text(3)});
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return out;
}

// The friends, marks and calls kept for the account go with it (ON DELETE
// CASCADE); the calls it made name it only as their caller.
bool TSqliteStore::DeleteAccount(uint64_t id) {
    std::lock_guard hold(lock);
    if (!Exec("BEGIN"))
        return false;
    TStatement calls(db, "DELETE FROM kept_calls WHERE caller = ?");
    calls.Bind(1, int64_t(id));
    TStatement drop(db, "DELETE FROM restrictions WHERE kind IN (1, 3) AND subject = ?");
    drop.Bind(1, std::to_string(id));
    TStatement account(db, "DELETE FROM accounts WHERE id = ?");
    account.Bind(1, int64_t(id));
    bool ok = calls.Step() == SQLITE_DONE && drop.Step() == SQLITE_DONE &&
              account.Step() == SQLITE_DONE && sqlite3_changes(db) == 1;
    Exec(ok ? "COMMIT" : "ROLLBACK");
    return ok;
}

bool TSqliteStore::KeepCall(const TKeptCall& call) {
    std::lock_guard hold(lock);
    if (!Exec("BEGIN"))
        return false;
    TStatement drop(db, "DELETE FROM kept_calls WHERE target = ? AND caller = ?");
    drop.Bind(1, int64_t(call.target)).Bind(2, int64_t(call.caller));
    TStatement add(db, "INSERT INTO kept_calls(target, caller, caller_nick, message, link, kept) "
                       "VALUES(?,?,?,?,?,CAST(strftime('%s','now') AS INTEGER))");
    add.Bind(1, int64_t(call.target)).Bind(2, int64_t(call.caller)).Bind(3, call.callerNick);
    add.Bind(4, call.message).Bind(5, call.link);
    TStatement trim(db, "DELETE FROM kept_calls WHERE target = ?1 AND id NOT IN "
                        "(SELECT id FROM kept_calls WHERE target = ?1 ORDER BY id DESC LIMIT ?2)");
    trim.Bind(1, int64_t(call.target)).Bind(2, MAX_KEPT_CALLS);
    TStatement expire(db, "DELETE FROM kept_calls WHERE kept < "
                          "CAST(strftime('%s','now') AS INTEGER) - ?");
    expire.Bind(1, KEPT_CALL_SECONDS);
    bool ok = drop.Step() == SQLITE_DONE && add.Step() == SQLITE_DONE &&
              trim.Step() == SQLITE_DONE && expire.Step() == SQLITE_DONE;
    Exec(ok ? "COMMIT" : "ROLLBACK");
    return ok;
}

std::vector<TKeptCall> TSqliteStore::TakeCalls(uint64_t target) {
    std::lock_guard hold(lock);
    std::vector<TKeptCall> out;
    TStatement s(db, "SELECT caller, caller_nick, message, link FROM kept_calls WHERE target = ? "
                     "AND kept >= CAST(strftime('%s','now') AS INTEGER) - ? ORDER BY id");
    s.Bind(1, int64_t(target)).Bind(2, KEPT_CALL_SECONDS);
    while (s.Step() == SQLITE_ROW)
        out.push_back(TKeptCall{target, uint64_t(s.Int(0)), s.Text(1), s.Text(2), s.Text(3)});
    if (out.empty())
        return out;
    TStatement del(db, "DELETE FROM kept_calls WHERE target = ?");
    del.Bind(1, int64_t(target));
    del.Step();
    return out;
}

namespace {
constexpr const char* REPORT_COLUMNS =
    "SELECT id, reporter, reporter_nick, target, target_nick, created, reason, text, site, "
    "closed, close_text, lines FROM reports ";

TReport ReportFromRow(const TStatement& s, bool withLines) {
    TReport r;
    r.id = uint64_t(s.Int(0));
    r.reporter = uint64_t(s.Int(1));
    r.reporterNick = s.Text(2);
    r.target = uint64_t(s.Int(3));
    r.targetNick = s.Text(4);
    r.created = s.Int(5);
    r.reason = uint8_t(s.Int(6));
    r.text = s.Text(7);
    r.site = s.Text(8);
    r.closed = s.Int(9) != 0;
    r.closeText = s.Text(10);
    if (withLines)
        r.lines = s.Text(11);
    return r;
}
} // namespace

uint64_t TSqliteStore::AddReport(const TReport& r) {
    std::lock_guard hold(lock);
    TStatement s(db, "INSERT INTO reports(reporter, reporter_nick, target, target_nick, created, "
                     "reason, text, site, lines) SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9 "
                     "WHERE (SELECT count(*) FROM reports WHERE reporter = ?1 AND created > ?5 - "
                     "3600) < ?10");
    s.Bind(1, int64_t(r.reporter)).Bind(2, r.reporterNick).Bind(3, int64_t(r.target));
    s.Bind(4, r.targetNick).Bind(5, r.created).Bind(6, int64_t(r.reason)).Bind(7, r.text);
    s.Bind(8, r.site).Bind(9, r.lines).Bind(10, int64_t(REPORTS_PER_HOUR));
    if (s.Step() != SQLITE_DONE)
        return 0;
    return sqlite3_changes(db) == 1 ? uint64_t(sqlite3_last_insert_rowid(db)) : 0;
}

std::vector<TReport> TSqliteStore::Reports(bool all) {
    std::lock_guard hold(lock);
    std::vector<TReport> out;
    std::string sql =
        std::string(REPORT_COLUMNS) + (all ? "" : "WHERE closed = 0 ") + "ORDER BY id DESC LIMIT ?";
    TStatement s(db, sql.c_str());
    s.Bind(1, int64_t(REPORT_LISTING));
    while (s.Step() == SQLITE_ROW)
        out.push_back(ReportFromRow(s, /*withLines=*/false));
    return out;
}

std::optional<TReport> TSqliteStore::FindReport(uint64_t id) {
    std::lock_guard hold(lock);
    std::string sql = std::string(REPORT_COLUMNS) + "WHERE id = ?";
    TStatement s(db, sql.c_str());
    s.Bind(1, int64_t(id));
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return ReportFromRow(s, /*withLines=*/true);
}

bool TSqliteStore::CloseReport(uint64_t id, std::string_view text) {
    std::lock_guard hold(lock);
    TStatement s(db, "UPDATE reports SET closed = 1, close_text = ? WHERE id = ? AND closed = 0");
    s.Bind(1, text).Bind(2, int64_t(id));
    return s.Step() == SQLITE_DONE && sqlite3_changes(db) == 1;
}

uint8_t TSqliteStore::Privacy(uint64_t account) {
    std::lock_guard hold(lock);
    TStatement s(db, "SELECT flags FROM privacy WHERE account = ?");
    s.Bind(1, int64_t(account));
    return s.Step() == SQLITE_ROW ? uint8_t(s.Int(0)) : PRIVACY_DEFAULT;
}

bool TSqliteStore::SetPrivacy(uint64_t account, uint8_t flags) {
    std::lock_guard hold(lock);
    TStatement s(db, "INSERT INTO privacy(account, flags) VALUES(?1, ?2) "
                     "ON CONFLICT(account) DO UPDATE SET flags = excluded.flags");
    s.Bind(1, int64_t(account)).Bind(2, int64_t(flags));
    return s.Step() == SQLITE_DONE;
}

} // namespace navlet::server
