#include "server/store/store.h"

#include <atomic>

#include <sodium.h>

#include "server/log/counters.h"
#include "server/log/log.h"
#include "server/store/pg_store.h"
#include "server/store/sqlite_store.h"

namespace navlet::server {
namespace {

// Enough to make guessing expensive, small enough that a sign-in costs a few
// milliseconds on the verifier thread.
constexpr unsigned long long PWHASH_OPSLIMIT = 2;
constexpr size_t PWHASH_MEMLIMIT = 8u << 20;

thread_local bool lastCallFailed = false;
// Whether the latest call on any thread reached the database: the log tells
// each change once, however many calls fail meanwhile.
std::atomic<bool> reachable{true};

} // namespace

bool TStore::LastCallFailed() {
    return lastCallFailed;
}

void TStore::NoteCall(bool failed) {
    lastCallFailed = failed;
    if (failed)
        counters::StoreError();
    if (reachable.exchange(!failed) == !failed)
        return;
    if (failed)
        log::Error("store", "database lost", {{"why", "unreachable, or no answer in time"}});
    else
        log::Info("store", "database back");
}

bool TStore::Reachable() {
    return reachable.load();
}

bool IsValidGender(char gender) {
    return gender == 'm' || gender == 'f' || gender == 'x';
}
bool IsValidLanguage(int language) {
    return language >= 0 && language <= MAX_LANGUAGE;
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

std::string RandomPassword() {
    static constexpr char ALPHABET[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    if (sodium_init() < 0)
        return {};
    std::string out;
    for (int i = 0; i < 12; ++i)
        out += ALPHABET[randombytes_uniform(sizeof ALPHABET - 1)];
    return out;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    if (hash.empty() || sodium_init() < 0)
        return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool IsPostgresLocation(std::string_view location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::unique_ptr<TStore> TStore::Open(const std::string& location, std::string& error) {
    if (IsPostgresLocation(location))
        return TPgStore::Open(location, error);
    return TSqliteStore::Open(location, error);
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
    uint64_t id = 0;
    switch (InsertAccount(nick, hash, gender, language, id)) {
    case TInsertResult::Duplicate:
        return TAddAccountResult::NickTaken;
    case TInsertResult::Failed:
        return TAddAccountResult::Failed;
    case TInsertResult::Done:
        break;
    }
    if (added)
        *added = TAccount{id, std::string(nick), gender, language, hash};
    return TAddAccountResult::Added;
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
    return WriteProfile(id, gender, language, newHash);
}

bool TStore::AddFriend(uint64_t owner, uint64_t friendId) {
    if (owner == friendId || !FindAccountById(friendId))
        return false;
    if (Friends(owner).size() >= MAX_FRIENDS)
        return false;
    return InsertFriend(owner, friendId);
}

bool TStore::SetMark(uint64_t owner, uint64_t target, uint8_t kind) {
    if (kind > STORED_BLOCK || owner == target || !FindAccountById(target))
        return false;
    if (kind == 0)
        return DeleteMark(owner, target);
    return WriteMark(owner, target, kind, MAX_MARKS);
}

} // namespace navlet::server
