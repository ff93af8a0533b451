#include "server/store/pg_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <libpq-fe.h>
#include <poll.h>
#include <utility>

#include "server/log/log.h"

namespace navlet::server {
namespace {

using TSteady = std::chrono::steady_clock;

// How long a call waits for a free connection before it fails, and for the
// answer to one statement: a database that holds its connections but answers
// nothing (frozen, or a network that drops packets) must not hold a sign-in
// for longer than a refusal takes. Connecting has libpq's connect_timeout.
constexpr auto BORROW_TIMEOUT = std::chrono::seconds(1);
constexpr auto STATEMENT_TIMEOUT = std::chrono::seconds(2);
// Creating the schema may wait for another node that creates it.
constexpr auto MIGRATION_TIMEOUT = std::chrono::seconds(30);
constexpr const char* CONNECT_TIMEOUT_SECONDS = "2";
// Taken while the schema is created or upgraded, so that nodes starting
// together do not race.
constexpr const char* MIGRATION_LOCK = "SELECT pg_advisory_xact_lock(7233178993341)";

// Chat text and page addresses are the bar's bytes, not necessarily UTF-8,
// so they are kept as bytea.
constexpr const char* SCHEMA_V1 = R"sql(
CREATE TABLE navlet_schema (version INTEGER NOT NULL);
CREATE TABLE accounts (
    id BIGSERIAL PRIMARY KEY,
    nick TEXT NOT NULL,
    password_hash TEXT NOT NULL,
    gender CHAR(1) NOT NULL DEFAULT 'x',
    language INTEGER NOT NULL DEFAULT 0,
    created TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE UNIQUE INDEX accounts_nick ON accounts (lower(nick));
CREATE TABLE friends (
    owner BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    friend BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    PRIMARY KEY (owner, friend)
);
CREATE TABLE kept_calls (
    id BIGSERIAL PRIMARY KEY,
    target BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    caller BIGINT NOT NULL,
    caller_nick TEXT NOT NULL,
    message BYTEA NOT NULL,
    link BYTEA NOT NULL
);
CREATE INDEX kept_calls_target ON kept_calls(target);
INSERT INTO navlet_schema VALUES (1);
)sql";

// Each step brings the schema to its version from the one before; an empty
// database runs them all. Steps are never edited once released.
struct TMigration {
    int version;
    const char* sql;
};
constexpr TMigration MIGRATIONS[] = {
    {1, SCHEMA_V1},
    // Who has this account among their friends, without reading every list;
    // deleting an account (the cascade) needs it too.
    {2, "CREATE INDEX friends_friend ON friends(friend);"},
    // Whom an account ignores (kind 1) or blocks (kind 2).
    {3, R"sql(
CREATE TABLE marks (
    owner BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    target BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    kind SMALLINT NOT NULL,
    PRIMARY KEY (owner, target)
);
CREATE INDEX marks_target ON marks(target, kind);
)sql"},
    // When each call was kept, so that none is kept longer than promised;
    // those kept before count from the upgrade.
    {4, R"sql(
ALTER TABLE kept_calls ADD COLUMN kept BIGINT NOT NULL DEFAULT extract(epoch FROM now())::bigint;
CREATE INDEX kept_calls_kept ON kept_calls(kept);
)sql"},
    // What operators hold against accounts, address ranges and sites.
    {5, R"sql(
CREATE TABLE restrictions (
    kind SMALLINT NOT NULL,
    subject TEXT NOT NULL,
    until BIGINT NOT NULL,
    reason BYTEA NOT NULL,
    made TIMESTAMPTZ NOT NULL DEFAULT now(),
    PRIMARY KEY (kind, subject)
);
)sql"},
    // Reports outlive the accounts they name, so they keep the nicks; the
    // privacy bits of accounts that changed them.
    {6, R"sql(
CREATE TABLE reports (
    id BIGSERIAL PRIMARY KEY,
    reporter BIGINT NOT NULL,
    reporter_nick TEXT NOT NULL,
    target BIGINT NOT NULL,
    target_nick TEXT NOT NULL,
    created BIGINT NOT NULL,
    reason SMALLINT NOT NULL,
    text BYTEA NOT NULL,
    site BYTEA NOT NULL,
    lines BYTEA NOT NULL,
    closed BOOLEAN NOT NULL DEFAULT false,
    close_text BYTEA NOT NULL DEFAULT ''
);
CREATE INDEX reports_reporter ON reports(reporter, created);
CREATE TABLE privacy (
    account BIGINT PRIMARY KEY REFERENCES accounts(id) ON DELETE CASCADE,
    flags SMALLINT NOT NULL
);
)sql"},
};
static_assert(MIGRATIONS[std::size(MIGRATIONS) - 1].version == STORE_SCHEMA_VERSION);

struct TPrepared {
    const char* name;
    const char* sql;
};

constexpr TPrepared STATEMENTS[] = {
    {"find_nick", "SELECT id, nick, gender, language, password_hash FROM accounts "
                  "WHERE lower(nick) = lower($1)"},
    {"find_id", "SELECT id, nick, gender, language, password_hash FROM accounts WHERE id = $1"},
    {"all_accounts", "SELECT id, nick, gender, language, password_hash FROM accounts ORDER BY id"},
    {"insert_account", "INSERT INTO accounts(nick, password_hash, gender, language) "
                       "VALUES($1, $2, $3, $4) RETURNING id"},
    {"update_profile", "UPDATE accounts SET gender = $2, language = $3, password_hash = "
                       "CASE WHEN $4 = '' THEN password_hash ELSE $4 END WHERE id = $1"},
    {"insert_friend", "INSERT INTO friends(owner, friend) VALUES($1, $2) ON CONFLICT DO NOTHING"},
    {"remove_friend", "DELETE FROM friends WHERE owner = $1 AND friend = $2"},
    {"friends", "SELECT friend FROM friends WHERE owner = $1 ORDER BY friend"},
    {"write_mark", "INSERT INTO marks(owner, target, kind) SELECT $1, $2, $3 "
                   "WHERE EXISTS (SELECT 1 FROM marks WHERE owner = $1 AND target = $2) "
                   "OR (SELECT count(*) FROM marks WHERE owner = $1) < $4 "
                   "ON CONFLICT (owner, target) DO UPDATE SET kind = EXCLUDED.kind"},
    {"delete_mark", "DELETE FROM marks WHERE owner = $1 AND target = $2"},
    {"marks", "SELECT m.target, m.kind, a.nick FROM marks m JOIN accounts a ON a.id = m.target "
              "WHERE m.owner = $1 ORDER BY m.target"},
    {"blockers", "SELECT m.owner, m.kind, a.nick FROM marks m JOIN accounts a ON a.id = m.owner "
                 "WHERE m.target = $1 AND m.kind = 2 ORDER BY m.owner"},
    // One statement, so one transaction: the calls the account made name it
    // only as their caller; the rest goes with the account (ON DELETE CASCADE).
    {"delete_account", "WITH made AS (DELETE FROM kept_calls WHERE caller = $1) "
                       "DELETE FROM accounts WHERE id = $1"},
    {"ping", "SELECT 1"},
    {"put_restriction", "INSERT INTO restrictions(kind, subject, until, reason) "
                        "VALUES($1, $2, $3, $4) ON CONFLICT (kind, subject) DO UPDATE SET "
                        "until = EXCLUDED.until, reason = EXCLUDED.reason, made = now()"},
    {"drop_restriction", "DELETE FROM restrictions WHERE kind = $1 AND subject = $2"},
    {"restrictions", "SELECT kind, subject, until, reason FROM restrictions "
                     "WHERE until = 0 OR until > $1 ORDER BY kind, subject"},
    {"drop_account_restrictions", "DELETE FROM restrictions WHERE kind IN (1, 3) AND subject = $1"},
    // The count and the insert under one lock of the reporter, so that two
    // nodes cannot both take the last place of the hour.
    {"lock_reporter", "SELECT pg_advisory_xact_lock(7233178993342 + $1::bigint)"},
    {"add_report", "INSERT INTO reports(reporter, reporter_nick, target, target_nick, created, "
                   "reason, text, site, lines) SELECT $1, $2, $3, $4, $5, $6, $7, $8, $9 "
                   "WHERE (SELECT count(*) FROM reports WHERE reporter = $1 AND created > "
                   "$5::bigint - 3600) < $10 RETURNING id"},
    {"open_reports", "SELECT id, reporter, reporter_nick, target, target_nick, created, reason, "
                     "text, site, closed, close_text FROM reports WHERE NOT closed "
                     "ORDER BY id DESC LIMIT $1"},
    {"all_reports", "SELECT id, reporter, reporter_nick, target, target_nick, created, reason, "
                    "text, site, closed, close_text FROM reports ORDER BY id DESC LIMIT $1"},
    {"find_report", "SELECT id, reporter, reporter_nick, target, target_nick, created, reason, "
                    "text, site, closed, close_text, lines FROM reports WHERE id = $1"},
    {"close_report", "UPDATE reports SET closed = true, close_text = $2 WHERE id = $1 AND NOT "
                     "closed"},
    {"privacy", "SELECT flags FROM privacy WHERE account = $1"},
    {"set_privacy", "INSERT INTO privacy(account, flags) VALUES($1, $2) ON CONFLICT (account) DO "
                    "UPDATE SET flags = EXCLUDED.flags"},
    {"drop_call", "DELETE FROM kept_calls WHERE target = $1 AND caller = $2"},
    {"expire_calls", "DELETE FROM kept_calls WHERE kept < extract(epoch FROM now())::bigint - $1"},
    {"add_call", "INSERT INTO kept_calls(target, caller, caller_nick, message, link) "
                 "VALUES($1, $2, $3, $4, $5)"},
    {"trim_calls", "DELETE FROM kept_calls WHERE target = $1 AND id NOT IN (SELECT id FROM "
                   "kept_calls WHERE target = $1 ORDER BY id DESC LIMIT $2)"},
    {"take_calls", "DELETE FROM kept_calls WHERE target = $1 "
                   "RETURNING id, caller, caller_nick, message, link, "
                   "kept >= extract(epoch FROM now())::bigint - $2"},
};

// Parameters of one call: text, or binary for bytea columns.
class TParams {
  public:
    TParams& Text(std::string value) { return Add(std::move(value), 0); }
    TParams& Int(int64_t value) { return Add(std::to_string(value), 0); }
    TParams& Bytes(std::string value) { return Add(std::move(value), 1); }

    int Count() const { return int(values.size()); }
    std::vector<const char*> Values() const {
        std::vector<const char*> out;
        for (const std::string& v : values)
            out.push_back(v.data());
        return out;
    }
    const int* Lengths() const { return lengths.data(); }
    const int* Formats() const { return formats.data(); }

  private:
    TParams& Add(std::string value, int format) {
        lengths.push_back(int(value.size()));
        formats.push_back(format);
        values.push_back(std::move(value));
        return *this;
    }
    std::vector<std::string> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

// A query result, cleared on scope exit.
class TResult {
  public:
    explicit TResult(PGresult* r = nullptr) : r(r) {}
    ~TResult() { PQclear(r); }
    TResult(TResult&& other) noexcept : r(std::exchange(other.r, nullptr)) {}
    TResult& operator=(TResult&& other) noexcept {
        std::swap(r, other.r);
        return *this;
    }

    bool Ok() const {
        ExecStatusType s = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    bool Duplicate() const {
        const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        return state && std::strcmp(state, "23505") == 0;
    }
    int Rows() const { return r ? PQntuples(r) : 0; }
    int Changed() const { return r ? std::atoi(PQcmdTuples(r)) : 0; }
    std::string Text(int row, int col) const {
        return std::string(PQgetvalue(r, row, col), size_t(PQgetlength(r, row, col)));
    }
    int64_t Int(int row, int col) const {
        return std::strtoll(PQgetvalue(r, row, col), nullptr, 10);
    }
    std::string Bytes(int row, int col) const {
        size_t length = 0;
        unsigned char* raw = PQunescapeBytea(
            reinterpret_cast<const unsigned char*>(PQgetvalue(r, row, col)), &length);
        if (!raw)
            return {};
        std::string out(reinterpret_cast<const char*>(raw), length);
        PQfreemem(raw);
        return out;
    }

  private:
    PGresult* r;
};

TAccount AccountFromRow(const TResult& r, int row) {
    TAccount a;
    a.id = uint64_t(r.Int(row, 0));
    a.nick = r.Text(row, 1);
    std::string g = r.Text(row, 2);
    a.gender = g.empty() ? 'x' : g[0];
    a.language = int(r.Int(row, 3));
    a.passwordHash = r.Text(row, 4);
    return a;
}

// Waits until `conn` has a whole result to give, or `deadline`. False when
// time ran out or the connection broke: it is then in no state to reuse.
bool AwaitReady(PGconn* conn, TSteady::time_point deadline) {
    while (PQisBusy(conn)) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TSteady::now());
        if (left.count() <= 0 || PQsocket(conn) < 0)
            return false;
        pollfd ready{PQsocket(conn), POLLIN, 0};
        int n = poll(&ready, 1, int(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (n > 0 && !PQconsumeInput(conn)))
            return false;
    }
    return true;
}

// The last result of what was sent on `conn` (as PQexec gives it), within
// `timeout`; `timedOut` when it did not come in time.
TResult Collect(PGconn* conn, int sent, TSteady::duration timeout, bool& timedOut) {
    timedOut = false;
    if (!sent)
        return TResult();
    TSteady::time_point deadline = TSteady::now() + timeout;
    TResult last;
    for (;;) {
        if (!AwaitReady(conn, deadline)) {
            timedOut = true;
            return TResult();
        }
        PGresult* next = PQgetResult(conn);
        if (!next)
            return last;
        last = TResult(next);
    }
}

TResult Simple(PGconn* conn, const char* sql, bool& timedOut,
               TSteady::duration timeout = STATEMENT_TIMEOUT) {
    return Collect(conn, PQsendQuery(conn, sql), timeout, timedOut);
}

TResult Simple(PGconn* conn, const char* sql) {
    bool timedOut = false;
    return Simple(conn, sql, timedOut, MIGRATION_TIMEOUT);
}

bool Prepare(PGconn* conn) {
    bool timedOut = false;
    for (const TPrepared& s : STATEMENTS)
        if (!Collect(conn, PQsendPrepare(conn, s.name, s.sql, 0, nullptr), STATEMENT_TIMEOUT,
                     timedOut)
                 .Ok())
            return false;
    return true;
}

// Creates the schema in an empty database or upgrades it in place, in one
// transaction under the advisory lock: of nodes that start together, the
// first upgrades and the others find the work done. Refuses a database
// written by a newer server.
bool Migrate(PGconn* conn, std::string& error) {
    if (!Simple(conn, "BEGIN").Ok() || !Simple(conn, MIGRATION_LOCK).Ok()) {
        error = PQerrorMessage(conn);
        Simple(conn, "ROLLBACK");
        return false;
    }
    TResult exists = Simple(conn, "SELECT to_regclass('navlet_schema') IS NOT NULL");
    bool ok = exists.Ok() && exists.Rows() == 1;
    int64_t current = 0;
    if (ok && exists.Text(0, 0) == "t") {
        TResult version = Simple(conn, "SELECT max(version) FROM navlet_schema");
        ok = version.Ok() && version.Rows() == 1;
        current = ok ? version.Int(0, 0) : 0;
    }
    if (ok && current > STORE_SCHEMA_VERSION) {
        Simple(conn, "ROLLBACK");
        error = "the database was written by a newer navlet-server (schema " +
                std::to_string(current) + ")";
        return false;
    }
    for (const TMigration& step : MIGRATIONS)
        if (ok && step.version > current)
            ok = Simple(conn, step.sql).Ok();
    if (ok && current < STORE_SCHEMA_VERSION) {
        std::string mark =
            "UPDATE navlet_schema SET version = " + std::to_string(STORE_SCHEMA_VERSION);
        ok = Simple(conn, mark.c_str()).Ok();
    }
    if (!ok || !Simple(conn, "COMMIT").Ok()) {
        error = PQerrorMessage(conn);
        Simple(conn, "ROLLBACK");
        return false;
    }
    if (current > 0 && current < STORE_SCHEMA_VERSION)
        log::Info("store", "schema upgraded",
                  {{"from", current}, {"to", int64_t(STORE_SCHEMA_VERSION)}});
    return true;
}

} // namespace

// A connection borrowed from the pool for one call; prepared statements run
// through it, with one reset and retry when the connection had broken. A
// statement that does not answer in time costs the connection: it is closed,
// and a later call makes a new one. Whether the database answered is noted
// for the calling thread (TStore::LastCallFailed).
class TPgStore::TLease {
  public:
    explicit TLease(TPgStore& store) : store(store), conn(store.Borrow()) {}
    ~TLease() {
        NoteCall(/*failed=*/!conn || broken);
        if (broken)
            store.Discard(conn);
        else
            store.Return(conn);
    }
    TLease(const TLease&) = delete;
    TLease& operator=(const TLease&) = delete;

    bool Ok() const { return conn != nullptr; }

    TResult Run(const char* name, const TParams& params = {}) {
        if (!conn || broken)
            return TResult();
        TResult r = Once(name, params);
        // Inside a transaction a retry on a fresh connection would run alone.
        if (r.Ok() || broken || PQstatus(conn) == CONNECTION_OK || inTransaction)
            return r;
        PQreset(conn);
        if (PQstatus(conn) != CONNECTION_OK || !Prepare(conn)) {
            broken = true;
            return r;
        }
        return Once(name, params);
    }
    bool Begin() { return inTransaction = conn && !broken && Statement("BEGIN").Ok(); }
    bool End(bool commit) {
        inTransaction = false;
        return conn && !broken && Statement(commit ? "COMMIT" : "ROLLBACK").Ok();
    }

  private:
    TResult Once(const char* name, const TParams& params) {
        std::vector<const char*> values = params.Values();
        bool timedOut = false;
        TResult r = Collect(conn,
                            PQsendQueryPrepared(conn, name, params.Count(), values.data(),
                                                params.Lengths(), params.Formats(), 0),
                            STATEMENT_TIMEOUT, timedOut);
        broken = broken || timedOut;
        return r;
    }
    TResult Statement(const char* sql) {
        bool timedOut = false;
        TResult r = Simple(conn, sql, timedOut);
        broken = broken || timedOut;
        return r;
    }
    TPgStore& store;
    PGconn* conn;
    bool inTransaction = false;
    bool broken = false; // timed out or could not be reset: not to be reused
};

std::unique_ptr<TStore> TPgStore::Open(const std::string& address, std::string& error,
                                       size_t poolSize) {
    std::unique_ptr<TPgStore> store(new TPgStore(address));
    store->limit = std::max<size_t>(1, poolSize);
    PGconn* first = store->Connect(error);
    if (!first)
        return nullptr;
    if (!Migrate(first, error) || !Prepare(first)) {
        if (error.empty())
            error = PQerrorMessage(first);
        PQfinish(first);
        return nullptr;
    }
    store->idle.push_back(first);
    store->total = 1;
    return store;
}

TPgStore::~TPgStore() {
    for (PGconn* conn : idle)
        PQfinish(conn);
}

PGconn* TPgStore::Connect(std::string& error) {
    // A connect timeout of our own unless the address names one.
    const char* keys[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {CONNECT_TIMEOUT_SECONDS, address.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, /*expand_dbname=*/1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        error = conn ? PQerrorMessage(conn) : "out of memory";
        while (!error.empty() && error.back() == '\n')
            error.pop_back();
        PQfinish(conn);
        return nullptr;
    }
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    return conn;
}

// An idle connection, else a new one while the pool has room, else the
// first one returned within BORROW_TIMEOUT. Null when none can be had.
PGconn* TPgStore::Borrow() {
    std::unique_lock hold(lock);
    for (;;) {
        if (!idle.empty()) {
            PGconn* conn = idle.back();
            idle.pop_back();
            return conn;
        }
        if (total < limit) {
            ++total;
            hold.unlock();
            std::string error;
            PGconn* conn = Connect(error);
            if (conn && !Prepare(conn)) {
                PQfinish(conn);
                conn = nullptr;
            }
            hold.lock();
            if (!conn)
                --total;
            return conn;
        }
        if (!returned.wait_for(hold, BORROW_TIMEOUT,
                               [this] { return !idle.empty() || total < limit; }))
            return nullptr;
    }
}

void TPgStore::Discard(PGconn* conn) {
    PQfinish(conn);
    {
        std::lock_guard hold(lock);
        --total;
    }
    returned.notify_one(); // a waiting call may connect anew
}

void TPgStore::Return(PGconn* conn) {
    if (!conn)
        return;
    {
        std::lock_guard hold(lock);
        idle.push_back(conn);
    }
    returned.notify_one();
}

TStore::TInsertResult TPgStore::InsertAccount(std::string_view nick, const std::string& hash,
                                              char gender, int language, uint64_t& id) {
    TLease lease(*this);
    TResult r = lease.Run(
        "insert_account",
        TParams().Text(std::string(nick)).Text(hash).Text(std::string(1, gender)).Int(language));
    if (r.Duplicate())
        return TInsertResult::Duplicate;
    if (!r.Ok() || r.Rows() != 1)
        return TInsertResult::Failed;
    id = uint64_t(r.Int(0, 0));
    return TInsertResult::Done;
}

std::optional<TAccount> TPgStore::FindAccountByNick(std::string_view nick) {
    TLease lease(*this);
    TResult r = lease.Run("find_nick", TParams().Text(std::string(nick)));
    if (!r.Ok() || r.Rows() != 1)
        return std::nullopt;
    return AccountFromRow(r, 0);
}

std::optional<TAccount> TPgStore::FindAccountById(uint64_t id) {
    TLease lease(*this);
    TResult r = lease.Run("find_id", TParams().Int(int64_t(id)));
    if (!r.Ok() || r.Rows() != 1)
        return std::nullopt;
    return AccountFromRow(r, 0);
}

std::vector<TAccount> TPgStore::AllAccounts() {
    TLease lease(*this);
    TResult r = lease.Run("all_accounts");
    std::vector<TAccount> out;
    for (int row = 0; r.Ok() && row < r.Rows(); ++row)
        out.push_back(AccountFromRow(r, row));
    return out;
}

bool TPgStore::WriteProfile(uint64_t id, char gender, int language, const std::string& newHash) {
    TLease lease(*this);
    TResult r = lease.Run(
        "update_profile",
        TParams().Int(int64_t(id)).Text(std::string(1, gender)).Int(language).Text(newHash));
    return r.Ok() && r.Changed() == 1;
}

bool TPgStore::InsertFriend(uint64_t owner, uint64_t friendId) {
    TLease lease(*this);
    return lease.Run("insert_friend", TParams().Int(int64_t(owner)).Int(int64_t(friendId))).Ok();
}

bool TPgStore::RemoveFriend(uint64_t owner, uint64_t friendId) {
    TLease lease(*this);
    TResult r = lease.Run("remove_friend", TParams().Int(int64_t(owner)).Int(int64_t(friendId)));
    return r.Ok() && r.Changed() == 1;
}

std::vector<uint64_t> TPgStore::Friends(uint64_t owner) {
    TLease lease(*this);
    TResult r = lease.Run("friends", TParams().Int(int64_t(owner)));
    std::vector<uint64_t> out;
    for (int row = 0; r.Ok() && row < r.Rows(); ++row)
        out.push_back(uint64_t(r.Int(row, 0)));
    return out;
}

bool TPgStore::WriteMark(uint64_t owner, uint64_t target, uint8_t kind, int bound) {
    TLease lease(*this);
    TResult r = lease.Run("write_mark",
                          TParams().Int(int64_t(owner)).Int(int64_t(target)).Int(kind).Int(bound));
    return r.Ok() && r.Changed() == 1;
}

bool TPgStore::DeleteMark(uint64_t owner, uint64_t target) {
    TLease lease(*this);
    return lease.Run("delete_mark", TParams().Int(int64_t(owner)).Int(int64_t(target))).Ok();
}

namespace {
std::vector<TMark> MarkRows(const TResult& r) {
    std::vector<TMark> out;
    for (int row = 0; r.Ok() && row < r.Rows(); ++row)
        out.push_back(TMark{uint64_t(r.Int(row, 0)), uint8_t(r.Int(row, 1)), r.Text(row, 2)});
    return out;
}
} // namespace

std::vector<TMark> TPgStore::Marks(uint64_t owner) {
    TLease lease(*this);
    return MarkRows(lease.Run("marks", TParams().Int(int64_t(owner))));
}

std::vector<TMark> TPgStore::BlockersOf(uint64_t target) {
    TLease lease(*this);
    return MarkRows(lease.Run("blockers", TParams().Int(int64_t(target))));
}

bool TPgStore::Ping() {
    TLease lease(*this);
    return lease.Run("ping").Ok();
}

bool TPgStore::PutRestriction(const TRestriction& r) {
    TLease lease(*this);
    return lease
        .Run("put_restriction",
             TParams().Int(int64_t(r.kind)).Text(r.subject).Int(r.untilS).Bytes(r.reason))
        .Ok();
}

std::optional<bool> TPgStore::DropRestriction(TRestrictionKind kind, std::string_view subject) {
    TLease lease(*this);
    TResult r =
        lease.Run("drop_restriction", TParams().Int(int64_t(kind)).Text(std::string(subject)));
    if (!r.Ok())
        return std::nullopt;
    return r.Changed() > 0;
}

std::optional<std::vector<TRestriction>> TPgStore::Restrictions(int64_t nowS) {
    TLease lease(*this);
    TResult r = lease.Run("restrictions", TParams().Int(nowS));
    if (!r.Ok())
        return std::nullopt;
    std::vector<TRestriction> out;
    for (int row = 0; row < r.Rows(); ++row)
        out.push_back(TRestriction{TRestrictionKind(r.Int(row, 0)), r.Text(row, 1), r.Int(row, 2),
                                   r.Bytes(row, 3)});
    return out;
}

bool TPgStore::DeleteAccount(uint64_t id) {
    TLease lease(*this);
    if (!lease.Begin())
        return false;
    TResult deleted;
    bool ok = lease.Run("drop_account_restrictions", TParams().Text(std::to_string(id))).Ok();
    if (ok) {
        deleted = lease.Run("delete_account", TParams().Int(int64_t(id)));
        ok = deleted.Ok() && deleted.Changed() == 1;
    }
    if (!ok) {
        lease.End(/*commit=*/false);
        return false;
    }
    return lease.End(/*commit=*/true);
}

bool TPgStore::KeepCall(const TKeptCall& call) {
    TLease lease(*this);
    if (!lease.Begin())
        return false;
    TParams pair = TParams().Int(int64_t(call.target)).Int(int64_t(call.caller));
    bool ok =
        lease.Run("drop_call", pair).Ok() &&
        lease
            .Run("add_call", TParams()
                                 .Int(int64_t(call.target))
                                 .Int(int64_t(call.caller))
                                 .Text(call.callerNick)
                                 .Bytes(call.message)
                                 .Bytes(call.link))
            .Ok() &&
        lease.Run("trim_calls", TParams().Int(int64_t(call.target)).Int(MAX_KEPT_CALLS)).Ok() &&
        lease.Run("expire_calls", TParams().Int(KEPT_CALL_SECONDS)).Ok();
    if (!ok) {
        lease.End(/*commit=*/false);
        return false;
    }
    return lease.End(/*commit=*/true);
}

std::vector<TKeptCall> TPgStore::TakeCalls(uint64_t target) {
    TLease lease(*this);
    TResult r = lease.Run("take_calls", TParams().Int(int64_t(target)).Int(KEPT_CALL_SECONDS));
    std::vector<std::pair<int64_t, TKeptCall>> rows;
    for (int row = 0; r.Ok() && row < r.Rows(); ++row)
        if (r.Text(row, 5) == "t")
            rows.emplace_back(r.Int(row, 0),
                              TKeptCall{target, uint64_t(r.Int(row, 1)), r.Text(row, 2),
                                        r.Bytes(row, 3), r.Bytes(row, 4)});
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TKeptCall> out;
    for (auto& [id, call] : rows)
        out.push_back(std::move(call));
    return out;
}

namespace {
TReport ReportRow(const TResult& r, int row, bool withLines) {
    TReport out;
    out.id = uint64_t(r.Int(row, 0));
    out.reporter = uint64_t(r.Int(row, 1));
    out.reporterNick = r.Text(row, 2);
    out.target = uint64_t(r.Int(row, 3));
    out.targetNick = r.Text(row, 4);
    out.created = r.Int(row, 5);
    out.reason = uint8_t(r.Int(row, 6));
    out.text = r.Bytes(row, 7);
    out.site = r.Bytes(row, 8);
    out.closed = r.Text(row, 9) == "t";
    out.closeText = r.Bytes(row, 10);
    if (withLines)
        out.lines = r.Bytes(row, 11);
    return out;
}
} // namespace

uint64_t TPgStore::AddReport(const TReport& report) {
    TLease lease(*this);
    if (!lease.Begin())
        return 0;
    bool ok = lease.Run("lock_reporter", TParams().Int(int64_t(report.reporter))).Ok();
    TResult r = ok ? lease.Run("add_report", TParams()
                                                 .Int(int64_t(report.reporter))
                                                 .Text(report.reporterNick)
                                                 .Int(int64_t(report.target))
                                                 .Text(report.targetNick)
                                                 .Int(report.created)
                                                 .Int(report.reason)
                                                 .Bytes(report.text)
                                                 .Bytes(report.site)
                                                 .Bytes(report.lines)
                                                 .Int(REPORTS_PER_HOUR))
                   : TResult();
    if (!r.Ok()) {
        lease.End(/*commit=*/false);
        return 0;
    }
    if (!lease.End(/*commit=*/true))
        return 0;
    return r.Rows() == 1 ? uint64_t(r.Int(0, 0)) : 0;
}

std::vector<TReport> TPgStore::Reports(bool all) {
    TLease lease(*this);
    TResult r =
        lease.Run(all ? "all_reports" : "open_reports", TParams().Int(int64_t(REPORT_LISTING)));
    std::vector<TReport> out;
    for (int row = 0; r.Ok() && row < r.Rows(); ++row)
        out.push_back(ReportRow(r, row, /*withLines=*/false));
    return out;
}

std::optional<TReport> TPgStore::FindReport(uint64_t id) {
    TLease lease(*this);
    TResult r = lease.Run("find_report", TParams().Int(int64_t(id)));
    if (!r.Ok() || r.Rows() != 1)
        return std::nullopt;
    return ReportRow(r, 0, /*withLines=*/true);
}

bool TPgStore::CloseReport(uint64_t id, std::string_view text) {
    TLease lease(*this);
    TResult r = lease.Run("close_report", TParams().Int(int64_t(id)).Bytes(std::string(text)));
    return r.Ok() && r.Changed() == 1;
}

uint8_t TPgStore::Privacy(uint64_t account) {
    TLease lease(*this);
    TResult r = lease.Run("privacy", TParams().Int(int64_t(account)));
    return r.Ok() && r.Rows() == 1 ? uint8_t(r.Int(0, 0)) : PRIVACY_DEFAULT;
}

bool TPgStore::SetPrivacy(uint64_t account, uint8_t flags) {
    TLease lease(*this);
    return lease.Run("set_privacy", TParams().Int(int64_t(account)).Int(flags)).Ok();
}

} // namespace navlet::server
