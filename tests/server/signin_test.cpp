// Sign-in without sockets: passwords checked lately go through without a
// second hash run, failed attempts slow further ones per address and per
// account, and the owner's own address is not held back.
#include <asio.hpp>
#include <thread>

#include "server/net/password_pool.h"
#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

// Store calls answered later, as a database on other threads does.
struct TDeferredStoreRunner : TStoreRunner {
    std::vector<std::pair<std::function<void()>, std::function<void()>>> waiting;
    void Run(std::function<void()> work, std::function<void()> done) override {
        waiting.emplace_back(std::move(work), std::move(done));
    }
    void RunAll() {
        auto batch = std::move(waiting);
        waiting.clear();
        for (auto& [work, done] : batch) {
            work();
            if (done)
                done();
        }
    }
};

class SignInTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        Make({});
        ASSERT_EQ(store->AddAccount("alice", "right", 'f', 1), TAddAccountResult::Added);
    }

    // One connection's login from `address`; the client stays for the test.
    TClient& Attempt(const std::string& password, const std::string& address) {
        sinks.push_back(std::make_unique<TFakeSink>());
        clients.push_back(std::make_unique<TClient>(*sinks.back()));
        TClient& client = *clients.back();
        client.address = address;
        TLoginRequest login;
        login.nick = "alice";
        login.password = password;
        login.site = "example.com";
        service->Login(client, login);
        return client;
    }

    const TFakeSink& SinkOf(const TClient& client) {
        return static_cast<const TFakeSink&>(client.sink);
    }

    void TearDown() override {
        for (auto& client : clients)
            service->Disconnect(*client);
        ServiceTest::TearDown();
    }

    std::vector<std::unique_ptr<TFakeSink>> sinks;
    std::vector<std::unique_ptr<TClient>> clients;
    TDeferredStoreRunner runner; // outlives the service, which may hold it
};

TEST_F(SignInTest, ARecentlyCheckedPasswordSignsInWithoutAnotherCheck) {
    TClient& first = Attempt("right", "10.0.0.1");
    ASSERT_EQ(verifier.waiting.size(), 1u);
    verifier.RunAll();
    ASSERT_TRUE(first.SignedIn());

    // Another window, or the same bar after a network blip.
    EXPECT_TRUE(Attempt("right", "10.0.0.2").SignedIn());
    EXPECT_TRUE(verifier.waiting.empty());
    // A wrong password is never taken from the cache.
    Attempt("wrong", "10.0.0.2");
    EXPECT_EQ(verifier.waiting.size(), 1u);
    verifier.RunAll();

    // A password change forgets it.
    uint64_t id = first.Id();
    ASSERT_TRUE(service->UpdateProfileHashed(id, 'f', 1, HashPassword("newer")));
    EXPECT_FALSE(Attempt("right", "10.0.0.1").SignedIn());
    EXPECT_EQ(verifier.waiting.size(), 1u);
    verifier.RunAll();
    TClient& renewed = Attempt("newer", "10.0.0.1");
    verifier.RunAll();
    ASSERT_TRUE(renewed.SignedIn());

    // And so do a few hours.
    clock.Advance(TSignInCache::LIFETIME_MS + 1);
    EXPECT_FALSE(Attempt("newer", "10.0.0.1").SignedIn());
    EXPECT_EQ(verifier.waiting.size(), 1u);
}

// The web site's form (or another node) writes a new password to the store
// without this service's cache hearing of it: the old one must not sign in.
TEST_F(SignInTest, APasswordChangedElsewhereIsNotTakenFromTheCache) {
    TClient& first = Attempt("right", "10.0.0.1");
    verifier.RunAll();
    ASSERT_TRUE(first.SignedIn());
    uint64_t id = first.Id();
    ASSERT_TRUE(store->UpdateProfileHashed(id, 'f', 1, HashPassword("newer")));
    service->AccountStored(*store->FindAccountById(id));

    TClient& old = Attempt("right", "10.0.0.2");
    EXPECT_FALSE(old.SignedIn());
    verifier.RunAll();
    EXPECT_FALSE(old.SignedIn());
    EXPECT_EQ(SinkOf(old).reason, REASON_REFUSED);
    // The new one is checked once, then known.
    TClient& renewed = Attempt("newer", "10.0.0.1");
    verifier.RunAll();
    ASSERT_TRUE(renewed.SignedIn());
    EXPECT_TRUE(Attempt("newer", "10.0.0.1").SignedIn());
    EXPECT_TRUE(verifier.waiting.empty());
}

TEST_F(SignInTest, AnAddressThatKeepsGuessingIsHeldBackForAWhile) {
    for (int i = 0; i < 10; ++i) {
        Attempt("guess" + std::to_string(i), "10.6.6.6");
        verifier.RunAll();
    }
    // Refused at once, with the reason, and without a hash run.
    TClient& held = Attempt("guess", "10.6.6.6");
    EXPECT_TRUE(verifier.waiting.empty());
    EXPECT_TRUE(SinkOf(held).ended);
    EXPECT_EQ(SinkOf(held).reason, REASON_GUESSING);
    // Others are not slowed: the owner signs in from elsewhere.
    TClient& owner = Attempt("right", "10.0.0.1");
    verifier.RunAll();
    EXPECT_TRUE(owner.SignedIn());
    // The hold drains: a guesser that stops is let back soon.
    clock.Advance(13000);
    Attempt("again", "10.6.6.6");
    EXPECT_EQ(verifier.waiting.size(), 1u);
}

// The cache saves a hash run, never the slow-down: a guesser held back
// learns nothing from the password the owner used lately.
TEST_F(SignInTest, AHeldBackGuesserIsRefusedEvenTheCachedPassword) {
    TClient& owner = Attempt("right", "10.0.0.1");
    verifier.RunAll();
    ASSERT_TRUE(owner.SignedIn());
    for (int i = 0; i < 10; ++i) {
        Attempt("guess" + std::to_string(i), "10.6.6.6");
        verifier.RunAll();
    }
    TClient& lucky = Attempt("right", "10.6.6.6");
    verifier.RunAll();
    EXPECT_FALSE(lucky.SignedIn());
    EXPECT_EQ(SinkOf(lucky).reason, REASON_GUESSING);
    // Once let through, the cached password goes in without a hash run.
    clock.Advance(20000);
    TClient& later = Attempt("right", "10.6.6.6");
    EXPECT_TRUE(verifier.waiting.empty());
    EXPECT_TRUE(later.SignedIn());
}

TEST_F(SignInTest, GuessesFromManyAddressesHoldBackTheAccountButNotItsOwner) {
    TClient& owner = Attempt("right", "10.0.0.1");
    verifier.RunAll();
    ASSERT_TRUE(owner.SignedIn());
    clock.Advance(TSignInCache::LIFETIME_MS + 1); // the cache no longer helps
    for (int i = 0; i < 20; ++i) {
        Attempt("guess", "10.7.0." + std::to_string(i));
        verifier.RunAll();
    }
    TClient& stranger = Attempt("guess", "10.8.0.1");
    EXPECT_TRUE(verifier.waiting.empty());
    EXPECT_EQ(SinkOf(stranger).reason, REASON_GUESSING);
    // The owner's address signed in with the right password: it is checked.
    TClient& again = Attempt("right", "10.0.0.1");
    verifier.RunAll();
    EXPECT_TRUE(again.SignedIn());
    // Anyone else waits only a few seconds once the guessing stops.
    clock.Advance(7000);
    Attempt("another guess", "10.9.0.1");
    EXPECT_EQ(verifier.waiting.size(), 1u);
}

// Three guessers that each try whenever their address is let through keep
// the account held back for good; it still has a spare attempt every few
// seconds for an address that has not failed, so the owner signing in from a
// new place waits seconds, and the guessers' own addresses get no spare.
TEST(SignInGuard, TheOwnerFromANewAddressGetsInWhileGuessersKeepOn) {
    TSignInGuard guard;
    int64_t now = 1000000;
    int guesses = 0;
    auto guess = [&] {
        for (int g = 0; g < 3; ++g) {
            std::string address = "10.7.0." + std::to_string(g);
            if (guard.WaitMs(7, address, now) == 0) {
                guard.Failed(7, address, now);
                ++guesses;
            }
        }
    };
    for (int i = 0; i < 60; ++i, now += 1000)
        guess();
    // Each second the guessers try first, as they would the moment they may.
    int64_t waited = 0;
    for (; waited < 36000; waited += 1000, now += 1000) {
        guess();
        if (guard.WaitMs(7, "10.0.0.1", now) == 0)
            break;
    }
    EXPECT_LE(waited, TSignInGuard::SPARE_EVERY_MS);
    // The guessers gained no more than the slow-down's steady pace.
    EXPECT_LE(guesses, 30 + int((60000 + waited) / 2000));
    // One spare per period for all clean addresses together.
    guard.Failed(7, "10.0.0.1", now);
    EXPECT_GT(guard.WaitMs(7, "10.0.0.2", now), 0);
}

// The pool on real threads: checks of connections that went are skipped,
// and its queues refuse past their bounds.
TEST(PasswordPool, SkipsAbandonedChecksAndRefusesPastItsBounds) {
    asio::io_context io;
    auto work = asio::make_work_guard(io);
    std::string hash = HashPassword("pw");
    TPasswordPoolLimits limits;
    limits.threads = 1;
    limits.maxQueued = 6;
    limits.maxQueuedPerAddress = 3;
    TPasswordPool pool(io, limits);
    int answered = 0, matched = 0;
    auto check = [&](const std::string& address, bool gone) {
        auto abandoned = std::make_shared<std::atomic<bool>>(gone);
        return pool.Verify(TPasswordCheck{address, hash, "pw", abandoned, [&](bool ok) {
                                              ++answered;
                                              matched += ok;
                                          }});
    };
    // The worker may hold the first check at once: at most one more fits
    // beyond the bound of one address, never two.
    int accepted = 0;
    for (int i = 0; i < 6; ++i)
        accepted += check("10.0.0.1", /*gone=*/i > 0);
    EXPECT_GE(accepted, 3);
    EXPECT_LE(accepted, 4);
    // Another address has a queue of its own; the total bound holds.
    int other = 0;
    for (int i = 0; i < 6; ++i)
        other += check("10.0.0.2", /*gone=*/true);
    EXPECT_LE(accepted + other, 7);
    EXPECT_GE(other, 1);
    for (int turn = 0; turn < 50 && answered < 1; ++turn)
        io.run_one_for(std::chrono::milliseconds(200));
    io.run_for(std::chrono::milliseconds(300));
    EXPECT_EQ(answered, 1); // every abandoned check was skipped
    EXPECT_EQ(matched, 1);
    pool.Stop();
    EXPECT_FALSE(check("10.0.0.3", false));
}

TEST_F(SignInTest, ThePasswordCheckWaitsForTheStoreAndIsSkippedForAGoneConnection) {
    service->SetStoreRunner(runner);
    TClient& waiting = Attempt("right", "10.0.0.1");
    EXPECT_TRUE(verifier.waiting.empty()); // nothing to check before the account is read
    runner.RunAll();
    ASSERT_EQ(verifier.waiting.size(), 1u);
    verifier.RunAll();
    EXPECT_TRUE(waiting.SignedIn());

    TClient& gone = Attempt("wrong", "10.0.0.2");
    service->Disconnect(gone);
    runner.RunAll();
    EXPECT_TRUE(verifier.waiting.empty());
    // The cache still answers a password checked lately, once the store has.
    TClient& again = Attempt("right", "10.0.0.3");
    EXPECT_FALSE(again.SignedIn());
    runner.RunAll();
    EXPECT_TRUE(again.SignedIn());
    EXPECT_TRUE(verifier.waiting.empty());
}

TEST_F(SignInTest, WebSiteGuessesFromAnotherThreadHoldBackTheAccount) {
    uint64_t id = store->FindAccountByNick("alice")->id;
    std::thread web([&] {
        for (int i = 0; i < 40; ++i)
            service->NotePasswordCheck(id, "10.66.0." + std::to_string(i), false);
    });
    web.join();
    EXPECT_GT(service->PasswordCheckWaitMs(id, "10.66.0.1"), 0);
    // A bar from a new address is held back too, before any hash run.
    TClient& bar = Attempt("right", "10.0.0.9");
    EXPECT_FALSE(bar.SignedIn());
    EXPECT_TRUE(verifier.waiting.empty());
}

} // namespace
} // namespace navlet::server
