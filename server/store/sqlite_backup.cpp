#include "server/store/sqlite_backup.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>

#include "server/store/store.h"

namespace navlet::server {
namespace {

// Pages copied per step: between steps the copy holds no lock that a writer
// waits for.
constexpr int PAGES_PER_STEP = 256;
// A step that finds the destination busy waits this long, this many times.
constexpr int BUSY_PAUSE_MS = 20;
constexpr int BUSY_TRIES = 500;

// One connection, closed on scope exit.
class TDatabase {
  public:
    TDatabase(const std::string& path, int flags) {
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            error = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            db = nullptr;
        }
    }
    ~TDatabase() { sqlite3_close(db); }
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    explicit operator bool() const { return db != nullptr; }
    sqlite3* Get() const { return db; }
    bool Exec(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
            return true;
        error = sqlite3_errmsg(db);
        return false;
    }
    // The first column of the first row; nothing (and `error`) on failure.
    bool Value(const char* sql, std::string& out) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db);
            return false;
        }
        int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(s, 0);
            out = t ? reinterpret_cast<const char*>(t) : "";
        } else {
            error = sqlite3_errmsg(db);
        }
        sqlite3_finalize(s);
        return rc == SQLITE_ROW;
    }

    std::string error;

  private:
    sqlite3* db = nullptr;
};

// Whether `db` holds a Navlet store that this server can open: the schema
// version it records and the tables every version has.
bool IsOurStore(TDatabase& db, const std::string& name, std::string& error) {
    std::string version, tables;
    if (!db.Value("PRAGMA user_version", version) ||
        !db.Value("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                  "('accounts', 'friends', 'kept_calls')",
                  tables)) {
        error = name + " is not a Navlet store: " + db.error;
        return false;
    }
    long schema = std::atol(version.c_str());
    if (schema < 1 || tables != "3") {
        error = name + " is not a Navlet store";
        return false;
    }
    if (schema > STORE_SCHEMA_VERSION) {
        error = name + " was written by a newer navlet-server (schema " + version +
                "; this one reads up to " + std::to_string(STORE_SCHEMA_VERSION) + ")";
        return false;
    }
    return true;
}

bool IsWhole(TDatabase& db, const std::string& name, std::string& error) {
    std::string verdict;
    if (!db.Value("PRAGMA integrity_check", verdict) || verdict != "ok") {
        error = name + " is damaged: " + (verdict.empty() ? db.error : verdict);
        return false;
    }
    return true;
}

// Copies every page of `from` into `to`, in steps.
bool CopyPages(TDatabase& from, TDatabase& to, std::string& error) {
    sqlite3_backup* backup = sqlite3_backup_init(to.Get(), "main", from.Get(), "main");
    if (!backup) {
        error = sqlite3_errmsg(to.Get());
        return false;
    }
    int rc = SQLITE_OK;
    for (int busy = 0; busy < BUSY_TRIES;) {
        rc = sqlite3_backup_step(backup, PAGES_PER_STEP);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            ++busy;
            sqlite3_sleep(BUSY_PAUSE_MS);
        } else if (rc != SQLITE_OK) {
            break;
        }
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        error = sqlite3_errstr(rc);
        return false;
    }
    return true;
}

} // namespace

bool BackupSqliteStore(const std::string& live, const std::string& copy, std::string& error) {
    if (IsPostgresLocation(live)) {
        error = "a PostgreSQL store is backed up with pg_dump (see docs/operations.md)";
        return false;
    }
    TDatabase from(live, SQLITE_OPEN_READWRITE);
    if (!from) {
        error = "cannot open the store " + live + ": " + from.error;
        return false;
    }
    sqlite3_busy_timeout(from.Get(), 5000);
    // One read transaction for the whole copy: it sees the store as it was
    // when the copy began, and the server's writes, which go to the log
    // meanwhile, neither wait for it nor start it over.
    if (!from.Exec("BEGIN") || !IsOurStore(from, live, error)) {
        if (error.empty())
            error = from.error;
        return false;
    }
    std::string partial = copy + ".partial";
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    bool ok = false;
    {
        TDatabase to(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (!to) {
            error = "cannot write " + partial + ": " + to.error;
            return false;
        }
        // The copy is one self-contained file, not a database and its log.
        ok = CopyPages(from, to, error) && to.Exec("PRAGMA journal_mode=DELETE") &&
             IsWhole(to, copy, error) && IsOurStore(to, copy, error);
        if (!ok && error.empty())
            error = to.error;
    }
    from.Exec("COMMIT");
    if (ok && std::rename(partial.c_str(), copy.c_str()) != 0) {
        error = "cannot rename " + partial + " to " + copy;
        ok = false;
    }
    if (!ok)
        std::filesystem::remove(partial, ignored);
    return ok;
}

bool RestoreSqliteStore(const std::string& copy, const std::string& live, std::string& error) {
    if (IsPostgresLocation(live)) {
        error = "a PostgreSQL store is restored with pg_restore (see docs/operations.md)";
        return false;
    }
    if (!std::filesystem::is_regular_file(copy)) {
        error = "no backup at " + copy;
        return false;
    }
    TDatabase from(copy, SQLITE_OPEN_READONLY);
    if (!from) {
        error = "cannot open " + copy + ": " + from.error;
        return false;
    }
    if (!IsOurStore(from, copy, error) || !IsWhole(from, copy, error))
        return false;
    bool existed = std::filesystem::exists(live);
    TDatabase to(live, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!to) {
        error = "cannot open the store " + live + ": " + to.error;
        return false;
    }
    // A running server keeps a shared lock on its store; this lock is
    // exclusive and held until the end, so no server starts meanwhile.
    if (!to.Exec("PRAGMA locking_mode=EXCLUSIVE") || !to.Exec("BEGIN EXCLUSIVE")) {
        if (sqlite3_errcode(to.Get()) == SQLITE_BUSY)
            error = "the store " + live + " is in use: stop navlet-server first";
        else
            error = "cannot open the store " + live + ": " + to.error;
        return false;
    }
    if (!to.Exec("COMMIT")) {
        error = to.error;
        return false;
    }
    if (existed) {
        std::string keep = live + ".before-restore";
        TDatabase before(keep, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (!before || !CopyPages(to, before, error) ||
            !before.Exec("PRAGMA journal_mode=DELETE")) {
            error = "cannot keep the current store as " + keep + ": " +
                    (error.empty() ? before.error : error);
            return false;
        }
    }
    if (!CopyPages(from, to, error)) {
        error = "cannot restore into " + live + ": " + error;
        return false;
    }
    return true;
}

} // namespace navlet::server
