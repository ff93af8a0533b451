// The store's rules on both back ends: SQLite always, PostgreSQL when the
// cluster services run (the server_cluster_test run of this file).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sqlite3.h>
#include <thread>

#include "server/store/store.h"
#include "tests/server/cluster_env.h"

namespace navlet::server {
namespace {

using test::ClusterServices;

class StoreTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("navlet-store-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
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
    void TearDown() override {
        store.reset();
        std::filesystem::remove_all(dir);
    }
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
    uint64_t Add(const std::string& nick) {
        TAccount a;
        EXPECT_EQ(store->AddAccount(nick, "pw", 'x', 0, &a), TAddAccountResult::Added);
        return a.id;
    }
    std::filesystem::path dir;
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

// A database of the first schema gets the marks' table and keeps its accounts.
TEST_P(StoreTest, AnOlderSchemaIsBroughtUpToDate) {
    const uint64_t a = Add("a"), b = Add("b");
    store.reset();
    if (Postgres()) {
        ASSERT_TRUE(ClusterServices()->PostgresExec(
            "DROP TABLE marks; DELETE FROM navlet_schema WHERE version = 2"));
    } else {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(location.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(db, "DROP TABLE marks; PRAGMA user_version=1", nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
    }
    store = Open();
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->SetMark(a, b, STORED_IGNORE));
    EXPECT_EQ(store->Marks(a).size(), 1u);
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

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest,
                         ::testing::Values(std::getenv("NAVLET_CLUSTER_ENV") ? "postgresql"
                                                                             : "sqlite"));

} // namespace
} // namespace navlet::server
