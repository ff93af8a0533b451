// The cluster's back end: a PostgreSQL database that every node shares.
// A small pool of connections, each with the store's statements prepared
// once; a connection that broke is reset and prepared again on its next use.
// When the server cannot be reached, or does not answer a statement within
// two seconds, the calls fail (finds return nothing, LastCallFailed says
// why), and the next call tries again.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "server/store/store.h"

typedef struct pg_conn PGconn;

namespace navlet::server {

inline constexpr size_t PG_POOL_SIZE = 4;

class TPgStore final : public TStore {
  public:
    static std::unique_ptr<TStore> Open(const std::string& address, std::string& error,
                                        size_t poolSize = PG_POOL_SIZE);
    ~TPgStore() override;

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
    bool Ping() override;
    std::vector<TKeptCall> TakeCalls(uint64_t target) override;

    class TLease; // one borrowed connection

  protected:
    TInsertResult InsertAccount(std::string_view nick, const std::string& hash, char gender,
                                int language, uint64_t& id) override;
    bool WriteProfile(uint64_t id, char gender, int language, const std::string& newHash) override;
    bool InsertFriend(uint64_t owner, uint64_t friendId) override;
    bool WriteMark(uint64_t owner, uint64_t target, uint8_t kind, int bound) override;
    bool DeleteMark(uint64_t owner, uint64_t target) override;

  private:
    explicit TPgStore(std::string address) : address(std::move(address)) {}
    PGconn* Connect(std::string& error);
    PGconn* Borrow();
    void Return(PGconn* conn);
    // Closes a connection that is in no state to reuse; its place is free.
    void Discard(PGconn* conn);

    std::string address;
    std::mutex lock;
    std::condition_variable returned;
    std::vector<PGconn*> idle;
    size_t total = 0;
    size_t limit = PG_POOL_SIZE;
};

} // namespace navlet::server
