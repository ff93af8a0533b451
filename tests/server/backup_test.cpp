// navlet-server backup and restore, run as the operator runs them, against
// a store that another process keeps writing to, as the server does.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "server/store/store.h"
#include "tests/server/run_program.h"
#include "tests/support/scratch_dir.h"

namespace navlet::server {
namespace {

using testing::RunServer;
using testing::TRun;

// One text value read from a SQLite file; empty when there is none.
std::string Query(const std::string& path, const char* sql) {
    std::string out;
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

std::set<std::string> Nicks(const std::string& path) {
    std::string error;
    auto store = TStore::Open(path, error);
    EXPECT_TRUE(store) << error;
    std::set<std::string> out;
    if (store)
        for (const TAccount& a : store->AllAccounts())
            out.insert(a.nick);
    return out;
}

// As long as a real one: the rows, and so the pages to copy, are the size
// the server writes.
const std::string HASH(97, 'h');

class StoreBackup : public ::testing::Test {
  protected:
    std::string Db() const { return "--database '" + live + "' "; }

    navlet::testing::TScratchDir scratch{"navlet-backup-test"};
    const std::filesystem::path& dir = scratch.path;
    std::string live = (dir / "navlet.db").string();
    std::string copy = (dir / "copy.db").string();
};

TEST_F(StoreBackup, ACopyUnderSignUpLoadHoldsEveryAcknowledgedAccountAndRestores) {
    std::string error;
    auto store = TStore::Open(live, error);
    ASSERT_TRUE(store) << error;
    // Enough rows that the copy takes many steps.
    for (int i = 0; i < 4000; ++i)
        ASSERT_EQ(store->AddAccountHashed("seed" + std::to_string(i), HASH, 'x', 0),
                  TAddAccountResult::Added);
    std::atomic<int> acknowledged{0};
    std::atomic<bool> stop{false};
    std::thread signUps([&] {
        for (int i = 0; !stop && i < 1000000; ++i) {
            if (store->AddAccountHashed("u" + std::to_string(i), HASH, 'x', 0) !=
                TAddAccountResult::Added)
                return;
            acknowledged = i + 1;
        }
    });
    for (int i = 0; i < 5000 && acknowledged < 50; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int before = acknowledged;
    TRun backup = RunServer(Db() + "backup '" + copy + "'");
    stop = true;
    signUps.join();
    int after = acknowledged;
    ASSERT_EQ(backup.code, 0) << backup.output;
    ASSERT_GE(before, 50);

    EXPECT_EQ(Query(copy, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Query(copy, "PRAGMA journal_mode"), "delete"); // one file, no log beside it
    EXPECT_FALSE(std::filesystem::exists(copy + ".partial"));
    std::set<std::string> copied = Nicks(copy);
    for (int i = 0; i < before; ++i)
        ASSERT_TRUE(copied.count("u" + std::to_string(i))) << "u" << i << " of " << before;
    EXPECT_TRUE(copied.count("seed3999"));
    // Nothing but whole sign-ups: the copy is one moment of the store.
    int last = 0;
    while (copied.count("u" + std::to_string(last)))
        ++last;
    EXPECT_EQ(copied.size(), size_t(4000 + last));

    // Not over a store in use.
    TRun refused = RunServer(Db() + "restore '" + copy + "'");
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.output.find("in use"), std::string::npos) << refused.output;
    EXPECT_EQ(store->AllAccounts().size(), size_t(4000 + after));
    store.reset();

    TRun restored = RunServer(Db() + "restore '" + copy + "'");
    ASSERT_EQ(restored.code, 0) << restored.output;
    EXPECT_EQ(Nicks(live), copied);
    EXPECT_EQ(Query(live, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(Nicks(live + ".before-restore").size(), size_t(4000 + after));
}

TEST_F(StoreBackup, RestoreRefusesWhatIsNotAWholeStoreOfThisServer) {
    ASSERT_EQ(RunServer(Db() + "account add alice pw").code, 0);
    auto refused = [&](const std::string& file, const std::string& why) {
        TRun run = RunServer(Db() + "restore '" + file + "'");
        EXPECT_EQ(run.code, 1) << file;
        EXPECT_NE(run.output.find(why), std::string::npos) << run.output;
        EXPECT_EQ(Nicks(live), std::set<std::string>{"alice"}) << file;
    };
    std::string junk = (dir / "junk.db").string();
    FILE* f = std::fopen(junk.c_str(), "w");
    std::fputs("navlet-server backup of yesterday, I promise\n", f);
    std::fclose(f);
    refused(junk, "not a Navlet store");
    refused((dir / "missing.db").string(), "no backup");

    // Some other program's SQLite file.
    std::string other = (dir / "other.db").string();
    sqlite3* db = nullptr;
    sqlite3_open(other.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE notes(text)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    refused(other, "not a Navlet store");

    ASSERT_EQ(RunServer(Db() + "backup '" + copy + "'").code, 0);
    sqlite3_open(copy.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    refused(copy, "newer");

    // Backing up what is not a store leaves no copy behind.
    TRun backup = RunServer("--database '" + junk + "' backup '" + copy + ".2'");
    EXPECT_EQ(backup.code, 1);
    EXPECT_FALSE(std::filesystem::exists(copy + ".2"));
    EXPECT_EQ(RunServer("--database postgresql://u@127.0.0.1/db backup x").code, 1);

    // An older store is welcome: the server upgrades it when it opens it.
    TRun older = RunServer(Db() + "restore '" + NAVLET_STORE_V1_FIXTURE + "'");
    EXPECT_EQ(older.code, 0) << older.output;
    EXPECT_EQ(Nicks(live), (std::set<std::string>{"Alice", "bob", "carol.x"}));
}

} // namespace
} // namespace navlet::server
