#include "server/store/store.h"

#include <sodium.h>
#include <sqlite3.h>

namespace navlet::server {
namespace {

// Enough to make guessing expensive, small enough that a sign-in costs a few
// milliseconds on the verifier thread.
constexpr unsigned long long PWHASH_OPSLIMIT = 2;
constexpr size_t PWHASH_MEMLIMIT = 8u << 20;

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

    bool Ok() const { return stmt != nullptr; }
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

const char* const SCHEMA_V1 = R"sql(
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

} // namespace

bool IsValidNick(std::string_view nick) {
    if (nick.empty() || nick.size() > MAX_NICK_LENGTH)
        return false;
    for (char c : nick) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

bool IsValidPassword(std::string_view password) {
    if (password.empty() || password.size() > MAX_PASSWORD_LENGTH)
        return false;
    for (char c : password)
        if (uint8_t(c) < 0x20 || uint8_t(c) == 0x7f)
            return false;
    return true;
}

bool IsValidNewPassword(std::string_view password) {
    if (password.empty() || password.size() > MAX_PASSWORD_LENGTH)
        return false;
    for (char c : password)
        if (uint8_t(c) < 0x20 || uint8_t(c) > 0x7E)
            return false;
    return password.front() != ' ' && password.back() != ' ';
}

bool IsValidGender(char gender) {
    return gender == 'm' || gender == 'f' || gender == 'x';
}
bool IsValidLanguage(int language) {
    return language >= 0 && language <= MAX_LANGUAGE;
}

std::string FoldCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::string HashPassword(std::string_view password) {
    if (sodium_init() < 0)
        return {};
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), PWHASH_OPSLIMIT,
                          PWHASH_MEMLIMIT) != 0)
        return {};
    return out;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    if (hash.empty() || sodium_init() < 0)
        return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::unique_ptr<TStore> TStore::Open(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "cannot open the database";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    std::unique_ptr<TStore> store(new TStore(db));
    if (!store->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
                     "PRAGMA cache_size=-1024;")) {
        error = sqlite3_errmsg(db);
        return nullptr;
    }
    if (!store->Migrate(error))
        return nullptr;
    return store;
}

TStore::~TStore() {
    sqlite3_close(db);
}

bool TStore::Exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool TStore::Migrate(std::string& error) {
    TStatement version(db, "PRAGMA user_version");
    if (version.Step() != SQLITE_ROW) {
        error = sqlite3_errmsg(db);
        return false;
    }
    int64_t current = version.Int(0);
    if (current > STORE_SCHEMA_VERSION) {
        error = "the database was written by a newer navlet-server (schema " +
                std::to_string(current) + ")";
        return false;
    }
    if (current == STORE_SCHEMA_VERSION)
        return true;
    // Version 0 is a new file; later versions add their steps here.
    std::string script = std::string("BEGIN;") + SCHEMA_V1 + "PRAGMA user_version=1; COMMIT;";
    if (!Exec(script.c_str())) {
        error = sqlite3_errmsg(db);
        Exec("ROLLBACK;");
        return false;
    }
    return true;
}

TAddAccountResult TStore::AddAccount(std::string_view nick, std::string_view password, char gender,
                                     int language, TAccount* added) {
    if (!IsValidNick(nick))
        return TAddAccountResult::InvalidNick;
    if (!IsValidNewPassword(password))
        return TAddAccountResult::InvalidPassword;
    if (!IsValidGender(gender) || !IsValidLanguage(language))
        return TAddAccountResult::InvalidProfile;
    if (FindAccountByNick(nick))
        return TAddAccountResult::NickTaken;
    std::string hash = HashPassword(password);
    if (hash.empty())
        return TAddAccountResult::Failed;
    return AddAccountHashed(nick, hash, gender, language, added);
}

TAddAccountResult TStore::AddAccountHashed(std::string_view nick, const std::string& hash,
                                           char gender, int language, TAccount* added) {
    if (!IsValidNick(nick))
        return TAddAccountResult::InvalidNick;
    if (hash.empty())
        return TAddAccountResult::InvalidPassword;
    if (!IsValidGender(gender) || !IsValidLanguage(language))
        return TAddAccountResult::InvalidProfile;
    TStatement s(db, "INSERT INTO accounts(nick, password_hash, gender, language) VALUES(?,?,?,?)");
    s.Bind(1, nick).Bind(2, hash).Bind(3, std::string_view(&gender, 1)).Bind(4, language);
    int rc = s.Step();
    if (rc == SQLITE_CONSTRAINT)
        return TAddAccountResult::NickTaken;
    if (rc != SQLITE_DONE)
        return TAddAccountResult::Failed;
    if (added)
        *added = TAccount{uint64_t(sqlite3_last_insert_rowid(db)), std::string(nick), gender,
                          language, hash};
    return TAddAccountResult::Added;
}

std::optional<TAccount> TStore::FindAccountByNick(std::string_view nick) {
    TStatement s(db,
                 "SELECT id, nick, gender, language, password_hash FROM accounts WHERE nick = ?");
    s.Bind(1, nick);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return AccountFromRow(s);
}

std::optional<TAccount> TStore::FindAccountById(uint64_t id) {
    TStatement s(db, "SELECT id, nick, gender, language, password_hash FROM accounts WHERE id = ?");
    s.Bind(1, int64_t(id));
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return AccountFromRow(s);
}

std::vector<TAccount> TStore::AllAccounts() {
    std::vector<TAccount> out;
    TStatement s(db, "SELECT id, nick, gender, language, password_hash FROM accounts ORDER BY id");
    while (s.Step() == SQLITE_ROW)
        out.push_back(AccountFromRow(s));
    return out;
}

bool TStore::UpdateProfile(uint64_t id, char gender, int language, std::string_view newPassword) {
    std::string hash;
    if (!newPassword.empty()) {
        if (!IsValidNewPassword(newPassword))
            return false;
        hash = HashPassword(newPassword);
        if (hash.empty())
            return false;
    }
    return UpdateProfileHashed(id, gender, language, hash);
}

bool TStore::UpdateProfileHashed(uint64_t id, char gender, int language,
                                 const std::string& newHash) {
    if (!IsValidGender(gender) || !IsValidLanguage(language))
        return false;
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

bool TStore::AddFriend(uint64_t owner, uint64_t friendId) {
    if (owner == friendId || !FindAccountById(friendId))
        return false;
    if (Friends(owner).size() >= MAX_FRIENDS)
        return false;
    TStatement s(db, "INSERT OR IGNORE INTO friends(owner, friend) VALUES(?,?)");
    s.Bind(1, int64_t(owner)).Bind(2, int64_t(friendId));
    return s.Step() == SQLITE_DONE;
}

bool TStore::RemoveFriend(uint64_t owner, uint64_t friendId) {
    TStatement s(db, "DELETE FROM friends WHERE owner = ? AND friend = ?");
    s.Bind(1, int64_t(owner)).Bind(2, int64_t(friendId));
    return s.Step() == SQLITE_DONE && sqlite3_changes(db) == 1;
}

std::vector<uint64_t> TStore::Friends(uint64_t owner) {
    std::vector<uint64_t> out;
    TStatement s(db, "SELECT friend FROM friends WHERE owner = ? ORDER BY friend");
    s.Bind(1, int64_t(owner));
    while (s.Step() == SQLITE_ROW)
        out.push_back(uint64_t(s.Int(0)));
    return out;
}

bool TStore::KeepCall(const TKeptCall& call) {
    if (!Exec("BEGIN"))
        return false;
    TStatement drop(db, "DELETE FROM kept_calls WHERE target = ? AND caller = ?");
    drop.Bind(1, int64_t(call.target)).Bind(2, int64_t(call.caller));
    TStatement add(db, "INSERT INTO kept_calls(target, caller, caller_nick, message, link) "
                       "VALUES(?,?,?,?,?)");
    add.Bind(1, int64_t(call.target)).Bind(2, int64_t(call.caller)).Bind(3, call.callerNick);
    add.Bind(4, call.message).Bind(5, call.link);
    TStatement trim(db, "DELETE FROM kept_calls WHERE target = ?1 AND id NOT IN "
                        "(SELECT id FROM kept_calls WHERE target = ?1 ORDER BY id DESC LIMIT ?2)");
    trim.Bind(1, int64_t(call.target)).Bind(2, MAX_KEPT_CALLS);
    bool ok = drop.Step() == SQLITE_DONE && add.Step() == SQLITE_DONE && trim.Step() == SQLITE_DONE;
    Exec(ok ? "COMMIT" : "ROLLBACK");
    return ok;
}

std::vector<TKeptCall> TStore::TakeCalls(uint64_t target) {
    std::vector<TKeptCall> out;
    TStatement s(db, "SELECT caller, caller_nick, message, link FROM kept_calls WHERE target = ? "
                     "ORDER BY id");
    s.Bind(1, int64_t(target));
    while (s.Step() == SQLITE_ROW)
        out.push_back(TKeptCall{target, uint64_t(s.Int(0)), s.Text(1), s.Text(2), s.Text(3)});
    if (out.empty())
        return out;
    TStatement del(db, "DELETE FROM kept_calls WHERE target = ?");
    del.Bind(1, int64_t(target));
    del.Step();
    return out;
}

} // namespace navlet::server
