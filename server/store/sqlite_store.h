// The embedded back end: one SQLite file in WAL mode. One connection behind a
// lock, so calls from several threads take turns.
#pragma once

#include <mutex>

#include "server/store/store.h"

struct sqlite3;

namespace navlet::server {

class TSqliteStore final : public TStore {
  public:
    static std::unique_ptr<TStore> Open(const std::string& path, std::string& error);
    ~TSqliteStore() override;

    std::optional<TAccount> FindAccountByNick(std::string_view nick) override;
    std::optional<TAccount> FindAccountById(uint64_t id) override;
    std::vector<TAccount> AllAccounts() override;
    bool RemoveFriend(uint64_t owner, uint64_t friendId) override;
    std::vector<uint64_t> Friends(uint64_t owner) override;
    std::vector<TMark> Marks(uint64_t owner) override;
    std::vector<TMark> BlockersOf(uint64_t target) override;
    bool PutRestriction(const TRestriction& restriction) override;
    std::optional<bool> DropRestriction(TRestrictionKind kind, std::string_view subject) override;
    std::optional<std::vector<TRestriction>> Restrictions(int64_t nowS) override;
    bool DeleteAccount(uint64_t id) override;
    uint64_t AddReport(const TReport& report) override;
    std::vector<TReport> Reports(bool all) override;
    std::optional<TReport> FindReport(uint64_t id) override;
    bool CloseReport(uint64_t id, std::string_view text) override;
    uint8_t Privacy(uint64_t account) override;
    bool SetPrivacy(uint64_t account, uint8_t flags) override;
    bool KeepCall(const TKeptCall& call) override;
    std::vector<TKeptCall> TakeCalls(uint64_t target) override;

  protected:
    TInsertResult InsertAccount(std::string_view nick, const std::string& hash, char gender,
                                int language, uint64_t& id) override;
    bool WriteProfile(uint64_t id, char gender, int language, const std::string& newHash) override;
    bool InsertFriend(uint64_t owner, uint64_t friendId) override;
    bool WriteMark(uint64_t owner, uint64_t target, uint8_t kind, int bound) override;
    bool DeleteMark(uint64_t owner, uint64_t target) override;

  private:
    explicit TSqliteStore(sqlite3* db) : db(db) {}
    bool Exec(const char* sql);
    // Marks read by `sql`, whose one parameter is `account`: the other side, the kind, its nick.
    std::vector<TMark> ReadMarks(const char* sql, uint64_t account);
    // PRAGMA user_version; -1 when it cannot be read.
    int64_t SchemaVersion();
    bool Migrate(std::string& error);
    std::optional<TAccount> FindAccountWhere(const char* sql, std::string_view nick, int64_t id);

    std::mutex lock;
    sqlite3* db;
};

} // namespace navlet::server
