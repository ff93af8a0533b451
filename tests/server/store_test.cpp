// The store's rules on both back ends: SQLite always, PostgreSQL when the
// cluster services run (the server_cluster_test run of this file).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sqlite3.h>
#include <thread>

#include "server/store/store.h"
#include "tests/server/cluster_env.h"
#include "tests/support/scratch_dir.h"

namespace navlet::server {
namespace {

using test::ClusterServices;

class StoreTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (Postgres()) {
            auto services = ClusterServices();
            ASSERT_TRUE(services) << "NAVLET_CLUSTER_ENV names no running services";
            ASSERT_TRUE(services->EmptyPostgres());
            location = services->postgres;
        } else {
            location = (dir / "navlet.db").string();
        }
        store = Open();
        ASSERT_TRUE(store);
    }
    void TearDown() override { store.reset(); }
    bool Postgres() const { return GetParam() == "postgresql"; }
    std::unique_ptr<TStore> Open() {
        std::string error;
        auto s = TStore::Open(location, error);
        EXPECT_TRUE(s) << error;
        return s;
    }
    // Marks the database as written by a newer server.
    void MarkNewerSchema() {
        if (Postgres()) {
            ASSERT_TRUE(ClusterServices()->PostgresExec("UPDATE navlet_schema SET version = 99"));
            return;
        }
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(location.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    // One value of the store read behind its back; empty when there is none.
    std::string Query(const std::string& sql) {
        std::string out;
        if (Postgres()) {
            PGconn* conn = PQconnectdb(location.c_str());
            PGresult* r = PQexec(conn, sql.c_str());
            if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1)
                out = PQgetvalue(r, 0, 0);
            PQclear(r);
            PQfinish(conn);
            return out;
        }
        sqlite3* db = nullptr;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_open(location.c_str(), &db) == SQLITE_OK &&
            sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
        sqlite3_close(db);
        return out;
    }
    int SchemaVersion() {
        return std::atoi(
            Query(Postgres() ? "SELECT max(version) FROM navlet_schema" : "PRAGMA user_version")
                .c_str());
    }
    bool HasIndex(const std::string& name) {
        return Query(Postgres() ? "SELECT count(*) FROM pg_indexes WHERE indexname = '" + name + "'"
                                : "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                                  "name = '" +
                                      name + "'") == "1";
    }
    uint64_t Add(const std::string& nick) {
        TAccount a;
        EXPECT_EQ(store->AddAccount(nick, "pw", 'x', 0, &a), TAddAccountResult::Added);
        return a.id;
    }
    navlet::testing::TScratchDir scratch{"navlet-store-test"};
    const std::filesystem::path& dir = scratch.path;
    std::string location;
    std::unique_ptr<TStore> store;
};

TEST_P(StoreTest, AccountsKeepACanonicalNickAndAHashedPassword) {
    TAccount added;
    ASSERT_EQ(store->AddAccount("Alice", "secret", 'f', 3, &added), TAddAccountResult::Added);
    EXPECT_EQ(store->AddAccount("ALICE", "other", 'm', 1), TAddAccountResult::NickTaken);
    auto found = store->FindAccountByNick("aLiCe");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->nick, "Alice");
    EXPECT_EQ(found->id, added.id);
    EXPECT_EQ(found->gender, 'f');
    EXPECT_EQ(found->language, 3);
    EXPECT_EQ(found->passwordHash.find("secret"), std::string::npos);
    EXPECT_TRUE(VerifyPassword(found->passwordHash, "secret"));
    EXPECT_FALSE(VerifyPassword(found->passwordHash, "Secret"));
    ASSERT_TRUE(store->UpdateProfile(added.id, 'x', 0, "newpw"));
    found = store->FindAccountById(added.id);
    EXPECT_EQ(found->gender, 'x');
    EXPECT_TRUE(VerifyPassword(found->passwordHash, "newpw"));
}

TEST_P(StoreTest, InvalidInputIsRefused) {
    EXPECT_EQ(store->AddAccount("", "pw", 'x', 0), TAddAccountResult::InvalidNick);
    EXPECT_EQ(store->AddAccount("sixteen_chars_xx", "pw", 'x', 0), TAddAccountResult::InvalidNick);
    EXPECT_EQ(store->AddAccount("two words", "pw", 'x', 0), TAddAccountResult::InvalidNick);
    EXPECT_EQ(store->AddAccount("ok", "", 'x', 0), TAddAccountResult::InvalidPassword);
    EXPECT_EQ(store->AddAccount("ok", "tab\tpw", 'x', 0), TAddAccountResult::InvalidPassword);
    // The bar trims what is typed: these could never be sent.
    EXPECT_EQ(store->AddAccount("ok", "pw ", 'x', 0), TAddAccountResult::InvalidPassword);
    EXPECT_EQ(store->AddAccount("ok", " pw", 'x', 0), TAddAccountResult::InvalidPassword);
    EXPECT_EQ(store->AddAccount("ok", "caf\xe9", 'x', 0), TAddAccountResult::InvalidPassword);
    EXPECT_EQ(store->AddAccount("ok", "pw", 'q', 0), TAddAccountResult::InvalidProfile);
    EXPECT_EQ(store->AddAccount("ok", "pw", 'x', 14), TAddAccountResult::InvalidProfile);
    EXPECT_EQ(store->AddAccount("fifteen_chars_x", "fifteen_chars_x", 'm', 13),
              TAddAccountResult::Added);
}

TEST_P(StoreTest, SchemaVersionIsRecordedAndANewerFileIsRefused) {
    uint64_t id = Add("keeper");
    store.reset();
    store = Open();
    ASSERT_TRUE(store->FindAccountById(id));
    store.reset();
    MarkNewerSchema();
    std::string error;
    EXPECT_FALSE(TStore::Open(location, error));
    EXPECT_NE(error.find("newer"), std::string::npos);
}

TEST_P(StoreTest, FriendsRefuseSelfAndUnknownAccounts) {
    uint64_t a = Add("a"), b = Add("b");
    EXPECT_FALSE(store->AddFriend(a, a));
    EXPECT_FALSE(store->AddFriend(a, 9999));
    EXPECT_TRUE(store->AddFriend(a, b));
    EXPECT_TRUE(store->AddFriend(a, b)); // twice is once
    EXPECT_EQ(store->Friends(a), std::vector<uint64_t>{b});
    EXPECT_TRUE(store->Friends(b).empty());
    EXPECT_TRUE(store->RemoveFriend(a, b));
    EXPECT_FALSE(store->RemoveFriend(a, b));
}

// One mark per pair, changed in place; at most MAX_MARKS others, and a
// change of a mark already held always fits. Who blocks whom reads back
// from either side.
TEST_P(StoreTest, MarksAreOnePerPairAndBounded) {
    const uint64_t owner = Add("owner"), other = Add("other");
    EXPECT_FALSE(store->SetMark(owner, owner, STORED_IGNORE));
    EXPECT_FALSE(store->SetMark(owner, 99999, STORED_IGNORE));
    EXPECT_FALSE(store->SetMark(owner, other, 3));
    ASSERT_TRUE(store->SetMark(owner, other, STORED_IGNORE));
    ASSERT_TRUE(store->SetMark(owner, other, STORED_BLOCK));
    EXPECT_EQ(store->Marks(owner), (std::vector<TMark>{{other, STORED_BLOCK, "other"}}));
    EXPECT_EQ(store->BlockersOf(other), (std::vector<TMark>{{owner, STORED_BLOCK, "owner"}}));
    EXPECT_TRUE(store->Marks(other).empty());

    // Accounts made without hashing each password: the bound is what counts.
    const std::string hash = HashPassword("pw");
    std::vector<uint64_t> many;
    for (int i = 1; i < MAX_MARKS + 1; ++i) {
        TAccount a;
        ASSERT_EQ(store->AddAccountHashed("m" + std::to_string(i), hash, 'x', 0, &a),
                  TAddAccountResult::Added);
        many.push_back(a.id);
    }
    for (int i = 0; i < MAX_MARKS - 1; ++i)
        ASSERT_TRUE(store->SetMark(owner, many[size_t(i)], STORED_IGNORE)) << i;
    EXPECT_FALSE(store->SetMark(owner, many.back(), STORED_IGNORE));
    EXPECT_TRUE(store->SetMark(owner, other, STORED_IGNORE)); // held already
    EXPECT_TRUE(store->SetMark(owner, many.front(), 0));
    EXPECT_TRUE(store->SetMark(owner, many.back(), STORED_BLOCK));
    EXPECT_EQ(store->Marks(owner).size(), size_t(MAX_MARKS));
    EXPECT_TRUE(store->BlockersOf(other).empty());
}

// A store of the schema before the marks (and before the calls' times) gets
// their table and keeps its accounts.
TEST_P(StoreTest, AVersionTwoStoreGetsTheMarks) {
    const uint64_t a = Add("a"), b = Add("b");
    store.reset();
    if (Postgres()) {
        ASSERT_TRUE(ClusterServices()->PostgresExec(
            "DROP TABLE marks, restrictions, reports, privacy; "
            "ALTER TABLE kept_calls DROP COLUMN kept; UPDATE navlet_schema SET version = 2"));
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(location.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "DROP TABLE marks; DROP TABLE restrictions; DROP TABLE reports; "
                               "DROP TABLE privacy; DROP INDEX kept_calls_kept; "
                               "ALTER TABLE kept_calls DROP COLUMN kept; PRAGMA user_version=2",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    store = Open();
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->SetMark(a, b, STORED_IGNORE));
    EXPECT_EQ(store->Marks(a).size(), 1u);
}

// Restrictions outlive the store's reopening, end at their time, and go
// with a deleted account (its friends, marks and calls by the cascade).
TEST_P(StoreTest, RestrictionsAreKeptUntilTheirTimeAndGoWithTheAccount) {
    const uint64_t a = Add("a"), b = Add("b");
    const std::string subject = std::to_string(a);
    ASSERT_TRUE(store->PutRestriction({TRestrictionKind::UserBan, subject, 2000, "spam\x80"}));
    ASSERT_TRUE(store->PutRestriction({TRestrictionKind::UserBan, subject, 3000, "again"}));
    ASSERT_TRUE(store->PutRestriction({TRestrictionKind::AddressBan, "10.0.0.0/8", 0, ""}));
    ASSERT_TRUE(store->PutRestriction({TRestrictionKind::Disabled, subject, 0, ""}));
    store.reset();
    store = Open();
    auto all = store->Restrictions(2500);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 3u);
    EXPECT_EQ((*all)[0], (TRestriction{TRestrictionKind::UserBan, subject, 3000, "again"}));
    EXPECT_EQ(store->Restrictions(3000)->size(), 2u); // the ban has ended
    EXPECT_EQ(store->DropRestriction(TRestrictionKind::AddressBan, "10.0.0.0/8"), true);
    EXPECT_EQ(store->DropRestriction(TRestrictionKind::AddressBan, "10.0.0.0/8"), false);

    ASSERT_TRUE(store->AddFriend(b, a));
    ASSERT_TRUE(store->SetMark(b, a, STORED_BLOCK));
    EXPECT_TRUE(store->DeleteAccount(a));
    EXPECT_FALSE(store->DeleteAccount(a));
    EXPECT_FALSE(store->FindAccountById(a));
    EXPECT_TRUE(store->Friends(b).empty());
    EXPECT_TRUE(store->Marks(b).empty());
    EXPECT_TRUE(store->Restrictions(0)->empty());
}

// A store of the schema before the reports gets their tables and keeps its
// accounts and marks.
TEST_P(StoreTest, AStoreFromBeforeTheReportsGetsReportsAndPrivacy) {
    const uint64_t a = Add("a"), b = Add("b");
    ASSERT_TRUE(store->SetMark(a, b, STORED_BLOCK));
    store.reset();
    if (Postgres()) {
        ASSERT_TRUE(ClusterServices()->PostgresExec(
            "DROP TABLE reports, privacy; UPDATE navlet_schema SET version = 5"));
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(location.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "DROP TABLE reports; DROP TABLE privacy; PRAGMA user_version=5",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    store = Open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Marks(a).size(), 1u);
    EXPECT_EQ(store->Privacy(a), PRIVACY_DEFAULT);
    EXPECT_TRUE(store->SetPrivacy(a, PRIVACY_INVISIBLE));
    EXPECT_EQ(store->Privacy(a), PRIVACY_INVISIBLE);
    EXPECT_NE(store->AddReport(
                  TReport{0, a, "a", b, "b", 1000, REPORT_SPAM, "t", "x.org", "l\n", false, ""}),
              0u);
}

// The hourly bound counts the reporter's reports of the hour before the new
// one, whoever they named; texts and lines come back byte for byte.
TEST_P(StoreTest, ReportsAreBoundPerReporterAndHour) {
    const uint64_t a = Add("a"), b = Add("b"), c = Add("c");
    const std::string bytes = "caf\xe9 %\x01";
    for (int i = 0; i < REPORTS_PER_HOUR; ++i)
        ASSERT_NE(store->AddReport(TReport{0, a, "a", i % 2 ? b : c, "x", 10000 + i, REPORT_OTHER,
                                           bytes, "x.org", bytes + "\n", false, ""}),
                  0u);
    EXPECT_EQ(store->AddReport(TReport{0, a, "a", b, "b", 10000 + 3599, 0, "", "", "", false, ""}),
              0u);
    EXPECT_NE(store->AddReport(TReport{0, b, "b", a, "a", 10000 + 3599, 0, "", "", "", false, ""}),
              0u);
    EXPECT_NE(store->AddReport(TReport{0, a, "a", b, "b", 10000 + 3601, 0, "", "", "", false, ""}),
              0u);
    auto listed = store->Reports(/*all=*/false);
    ASSERT_EQ(listed.size(), size_t(REPORTS_PER_HOUR) + 2);
    EXPECT_GT(listed.front().id, listed.back().id); // newest first
    EXPECT_TRUE(listed.back().lines.empty());       // listings leave the lines out
    auto first = store->FindReport(listed.back().id);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, bytes);
    EXPECT_EQ(first->lines, bytes + "\n");
    EXPECT_TRUE(store->CloseReport(first->id, bytes));
    EXPECT_FALSE(store->CloseReport(first->id, "again"));
    EXPECT_FALSE(store->CloseReport(999999, ""));
    EXPECT_EQ(store->Reports(false).size(), size_t(REPORTS_PER_HOUR) + 1);
    EXPECT_EQ(store->FindReport(first->id)->closeText, bytes);
    EXPECT_TRUE(store->FindReport(first->id)->closed);
}

TEST_P(StoreTest, KeptCallsAreBoundedAndOnePerCaller) {
    uint64_t target = Add("target");
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(
            store->KeepCall({target, uint64_t(100 + i), "c" + std::to_string(i), "m", "l"}));
    ASSERT_TRUE(store->KeepCall({target, 107, "c7", "newer", "l"}));
    auto calls = store->TakeCalls(target);
    ASSERT_EQ(calls.size(), size_t(MAX_KEPT_CALLS));
    EXPECT_EQ(calls.front().callerNick, "c3"); // the oldest gave way
    EXPECT_EQ(calls.back().message, "newer");
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const TKeptCall& c) { return c.caller == 107; }),
              1);
    EXPECT_TRUE(store->TakeCalls(target).empty());
}

TEST_P(StoreTest, ADeletedAccountTakesEverythingKeptAboutItAndNothingElse) {
    uint64_t gone = Add("gone");
    uint64_t stays = Add("stays");
    uint64_t other = Add("other");
    ASSERT_TRUE(store->AddFriend(gone, stays));
    ASSERT_TRUE(store->AddFriend(stays, gone));
    ASSERT_TRUE(store->AddFriend(stays, other));
    ASSERT_TRUE(store->SetMark(stays, gone, STORED_BLOCK));
    ASSERT_TRUE(store->SetMark(gone, other, STORED_IGNORE));
    ASSERT_TRUE(store->KeepCall({gone, stays, "stays", "for gone", "l"}));
    ASSERT_TRUE(store->KeepCall({stays, gone, "gone", "from gone", "l"}));
    ASSERT_TRUE(store->KeepCall({stays, other, "other", "from other", "l"}));

    ASSERT_TRUE(store->DeleteAccount(gone));
    EXPECT_FALSE(store->FindAccountById(gone));
    EXPECT_FALSE(store->FindAccountByNick("GONE"));
    EXPECT_EQ(store->Friends(stays), std::vector<uint64_t>{other});
    EXPECT_TRUE(store->Marks(stays).empty());
    EXPECT_TRUE(store->BlockersOf(gone).empty());
    auto calls = store->TakeCalls(stays);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].callerNick, "other");
    EXPECT_TRUE(store->TakeCalls(gone).empty());
    EXPECT_EQ(Query("SELECT count(*) FROM kept_calls"), "0");
    // Once only; the nick is free again.
    EXPECT_FALSE(store->DeleteAccount(gone));
    EXPECT_FALSE(TStore::LastCallFailed());
    EXPECT_NE(Add("gone"), gone);
}

TEST_P(StoreTest, KeptCallsAreForgottenAfterThirtyDaysDeliveredOrNot) {
    uint64_t target = Add("target");
    uint64_t away = Add("away");
    ASSERT_TRUE(store->KeepCall({target, 100, "old", "m", "l"}));
    ASSERT_TRUE(store->KeepCall({target, 101, "young", "m", "l"}));
    ASSERT_TRUE(store->KeepCall({away, 100, "old", "m", "l"}));
    // Aged behind the store's back: one second past the promise.
    Query("UPDATE kept_calls SET kept = kept - " + std::to_string(KEPT_CALL_SECONDS + 1) +
          " WHERE caller_nick = 'old'");
    auto calls = store->TakeCalls(target);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].callerNick, "young");
    // Whoever never signs in again has theirs removed by anybody's next call.
    EXPECT_EQ(Query("SELECT count(*) FROM kept_calls WHERE target = " + std::to_string(away)), "1");
    ASSERT_TRUE(store->KeepCall({target, 102, "next", "m", "l"}));
    EXPECT_EQ(Query("SELECT count(*) FROM kept_calls WHERE target = " + std::to_string(away)), "0");
}

// Chat text and page addresses are the bar's bytes, not necessarily UTF-8.
TEST_P(StoreTest, KeptCallsKeepTheBarsBytes) {
    uint64_t target = Add("target");
    std::string message = "caf\xe9 \x01\xff", link = "example.com/\xe0";
    ASSERT_TRUE(store->KeepCall({target, 7, "caller", message, link}));
    auto calls = store->TakeCalls(target);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, message);
    EXPECT_EQ(calls[0].link, link);
}

// The service makes its calls from worker threads.
TEST_P(StoreTest, CallsFromSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<TAddAccountResult> results(6);
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] {
            uint64_t id = 0;
            TAccount a;
            results[i] = store->AddAccountHashed("t" + std::to_string(i), "hash", 'x', 0, &a);
            id = a.id;
            for (int k = 0; k < 5; ++k)
                store->KeepCall({id, uint64_t(k + 1), "c", "m", "l"});
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(std::count(results.begin(), results.end(), TAddAccountResult::Added), 6);
    EXPECT_EQ(store->AllAccounts().size(), 6u);
    for (const TAccount& a : store->AllAccounts())
        EXPECT_EQ(store->TakeCalls(a.id).size(), 5u) << a.nick;
}

// A store written by the previous schema comes up upgraded with every row:
// for SQLite the fixture the old binary made, for PostgreSQL today's schema
// taken back to version 1. Two servers start on it at once, as nodes do, and
// both must open it.
TEST_P(StoreTest, AVersionOneStoreIsUpgradedInPlaceOnceKeepingEveryRow) {
    store.reset();
    if (Postgres()) {
        auto services = ClusterServices();
        store = Open();
        uint64_t alice = 0;
        {
            TAccount a;
            ASSERT_EQ(store->AddAccount("Alice", "alice-pw", 'f', 3, &a), TAddAccountResult::Added);
            alice = a.id;
        }
        uint64_t bob = Add("bob"), carol = Add("carol.x");
        ASSERT_TRUE(store->AddFriend(alice, bob));
        ASSERT_TRUE(store->AddFriend(alice, carol));
        ASSERT_TRUE(store->AddFriend(bob, alice));
        ASSERT_TRUE(store->KeepCall({carol, alice, "Alice", "caff\xe8", "www.example.com"}));
        store.reset();
        ASSERT_TRUE(services->PostgresExec(
            "DROP TABLE marks, restrictions, reports, privacy; DROP INDEX friends_friend; "
            "ALTER TABLE kept_calls DROP COLUMN kept; UPDATE navlet_schema SET version = 1"));
    } else {
        std::filesystem::copy_file(NAVLET_STORE_V1_FIXTURE, location,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    // PostgreSQL: both openers are held where they read the version, then
    // let go together, so that without their lock both would upgrade.
    PGconn* holder = nullptr;
    if (Postgres()) {
        holder = PQconnectdb(location.c_str());
        PQclear(PQexec(holder, "BEGIN; LOCK TABLE navlet_schema IN ACCESS EXCLUSIVE MODE"));
    }
    std::unique_ptr<TStore> first, second;
    std::thread one([&] { first = Open(); });
    std::thread other([&] { second = Open(); });
    if (holder) {
        const char* waiting = "SELECT count(*) FROM pg_stat_activity WHERE "
                              "wait_event_type = 'Lock' AND datname = current_database()";
        for (int i = 0; i < 1000 && Query(waiting) != "2"; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Query(waiting), "2");
        PQclear(PQexec(holder, "COMMIT"));
        PQfinish(holder);
    }
    one.join();
    other.join();
    ASSERT_TRUE(first && second);
    second.reset();
    store = std::move(first);

    auto alice = store->FindAccountByNick("alice");
    auto bob = store->FindAccountByNick("BOB");
    auto carol = store->FindAccountByNick("carol.x");
    ASSERT_TRUE(alice && bob && carol);
    EXPECT_EQ(alice->nick, "Alice");
    EXPECT_EQ(alice->gender, 'f');
    EXPECT_EQ(alice->language, 3);
    EXPECT_TRUE(VerifyPassword(alice->passwordHash, "alice-pw"));
    EXPECT_EQ(store->AllAccounts().size(), 3u);
    EXPECT_EQ(store->Friends(alice->id), (std::vector<uint64_t>{bob->id, carol->id}));
    EXPECT_EQ(store->Friends(bob->id), std::vector<uint64_t>{alice->id});
    auto calls = store->TakeCalls(carol->id);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].message, "caff\xe8");
    EXPECT_EQ(calls[0].callerNick, "Alice");
    // New ids follow the old ones.
    uint64_t dave = Add("dave");
    EXPECT_GT(dave, carol->id);
    EXPECT_EQ(SchemaVersion(), STORE_SCHEMA_VERSION);
    EXPECT_TRUE(HasIndex("friends_friend"));
    if (Postgres())
        return;
    // The store as it was is kept, once, whole.
    location += ".schema-1.bak";
    EXPECT_EQ(SchemaVersion(), 1);
    EXPECT_EQ(Query("SELECT count(*) FROM accounts"), "3");
    EXPECT_EQ(Query("PRAGMA integrity_check"), "ok");
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest,
                         ::testing::Values(std::getenv("NAVLET_CLUSTER_ENV") ? "postgresql"
                                                                             : "sqlite"));

} // namespace
} // namespace navlet::server
