// An in-memory TWebBackend for the web site's tests.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

#include "server/web/account_rules.h"
#include "server/web/web_backend.h"

namespace navlet::web {

class TFakeWebBackend : public TWebBackend {
  public:
    TCreateOutcome CreateAccount(const TNewAccount& account) override {
        if (beforeCreate)
            beforeCreate(); // a slow password hash, as the test plays it
        std::lock_guard lock(mutex);
        ++creates;
        for (const auto& [id, stored] : accounts) {
            if (EqualsFolded(stored.profile.nick, account.nick))
                return {TCreateResult::NickTaken, 0};
        }
        UserId id = nextId++;
        accounts[id] = {{id, account.nick, account.gender, account.language}, account.password};
        return {TCreateResult::Created, id};
    }

    // Accounts made whose nick starts with `prefix`: one test's sign-ups
    // apart from another's still finishing on the workers.
    int CreatedWithPrefix(const std::string& prefix) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (const auto& [id, stored] : accounts)
            n += stored.profile.nick.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    std::optional<TProfile> FindProfile(UserId id) override {
        std::lock_guard lock(mutex);
        auto it = accounts.find(id);
        if (it == accounts.end())
            return std::nullopt;
        return it->second.profile;
    }

    TUpdateOutcome UpdateProfile(UserId id, std::string_view password, const std::string&,
                                 const TProfileChange& change) override {
        std::lock_guard lock(mutex);
        auto it = accounts.find(id);
        if (it == accounts.end())
            return {TUpdateResult::NoSuchUser};
        if (heldBackSeconds > 0)
            return {TUpdateResult::TooManyAttempts, heldBackSeconds};
        if (it->second.password != password)
            return {TUpdateResult::WrongPassword};
        it->second.profile.gender = change.gender;
        it->second.profile.language = change.language;
        if (!change.newPassword.empty())
            it->second.password = change.newPassword;
        return {TUpdateResult::Updated};
    }

    TUpdateOutcome DeleteAccount(UserId id, std::string_view password,
                                 const std::string&) override {
        std::lock_guard lock(mutex);
        auto it = accounts.find(id);
        if (it == accounts.end())
            return {TUpdateResult::NoSuchUser};
        if (heldBackSeconds > 0)
            return {TUpdateResult::TooManyAttempts, heldBackSeconds};
        if (it->second.password != password)
            return {TUpdateResult::WrongPassword};
        accounts.erase(it);
        return {TUpdateResult::Updated};
    }

    std::optional<std::vector<TMarkedPerson>> MarkedPeople(UserId owner) override {
        std::lock_guard lock(mutex);
        if (marksUnreadable)
            return std::nullopt;
        std::vector<TMarkedPerson> out;
        for (const auto& [key, person] : marks)
            if (key.first == owner)
                out.push_back(person);
        return out;
    }

    TUnmarkResult Unmark(UserId owner, UserId other, TMarkKind kind) override {
        std::lock_guard lock(mutex);
        auto it = marks.find({owner, other});
        if (it == marks.end() || it->second.kind != kind)
            return TUnmarkResult::NotMarked;
        marks.erase(it);
        return TUnmarkResult::Done;
    }

    void SetMark(UserId owner, UserId other, const std::string& nick, TMarkKind kind) {
        std::lock_guard lock(mutex);
        marks[{owner, other}] = TMarkedPerson{other, nick, kind};
    }
    bool Marks(UserId owner, UserId other) {
        std::lock_guard lock(mutex);
        return marks.count({owner, other}) > 0;
    }
    void MarksUnreadable(bool unreadable) {
        std::lock_guard lock(mutex);
        marksUnreadable = unreadable;
    }

    std::vector<TSiteLoad> BusiestSites(int limit) override {
        std::lock_guard lock(mutex);
        std::vector<TSiteLoad> out(sites.begin(), sites.end());
        if (out.size() > size_t(limit))
            out.resize(size_t(limit));
        return out;
    }

    std::optional<std::string> BannerBody(int32_t id) override {
        std::lock_guard lock(mutex);
        auto it = banners.find(id);
        if (it == banners.end())
            return std::nullopt;
        return it->second;
    }

    // An account the site's rules would refuse, as older or foreign data may hold.
    UserId AddAccountDirect(const TProfile& profile, const std::string& password) {
        std::lock_guard lock(mutex);
        UserId id = nextId++;
        accounts[id] = {profile, password};
        accounts[id].profile.id = id;
        return id;
    }

    std::string PasswordOf(UserId id) {
        std::lock_guard lock(mutex);
        return accounts.at(id).password;
    }

    TServerHealth Health() override {
        std::lock_guard lock(mutex);
        return health;
    }
    void SetHealth(TServerHealth value) {
        std::lock_guard lock(mutex);
        health = value;
    }
    // The service's own slow-down (the bar port's failures) holds checks back.
    void HoldBack(int seconds) {
        std::lock_guard lock(mutex);
        heldBackSeconds = seconds;
    }

    std::vector<TSiteLoad> sites;
    std::map<int32_t, std::string> banners;
    std::function<void()> beforeCreate; // set before the site starts
    std::atomic<int> creates{0};

  private:
    struct TAccount {
        TProfile profile;
        std::string password;
    };
    std::mutex mutex;
    TServerHealth health;
    int heldBackSeconds = 0;
    std::map<UserId, TAccount> accounts;
    std::map<std::pair<UserId, UserId>, TMarkedPerson> marks; // by owner, other
    bool marksUnreadable = false;
    UserId nextId = 1000;
};

} // namespace navlet::web
