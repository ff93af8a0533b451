#include "server/service_web_backend.h"

#include <algorithm>
#include <fstream>
#include <future>
#include <memory>

namespace navlet::server {

namespace {

// A call posted to the loop is begun by the loop or given up by the waiting
// worker, whichever comes first; the other side then knows.
enum TCallState : int { WAITING, BEGUN, GIVEN_UP };
// A banner page goes out as it is, so a larger file is refused, not cut.
constexpr size_t MAX_BANNER_PAGE = 256u << 10;

web::TProfile ProfileOf(const TAccount& account) {
    return web::TProfile{account.id, account.nick, account.gender, account.language};
}

} // namespace

template <typename R, typename F> std::optional<R> TServiceWebBackend::OnLoop(F work) {
    if (stopping)
        return std::nullopt;
    auto promise = std::make_shared<std::promise<R>>();
    auto state = std::make_shared<std::atomic<int>>(WAITING);
    std::future<R> answer = promise->get_future();
    asio::post(io, [promise, state, work = std::move(work)]() mutable {
        int waiting = WAITING;
        if (state->compare_exchange_strong(waiting, BEGUN))
            promise->set_value(work());
    });
    if (answer.wait_for(loopAnswerTimeout) == std::future_status::ready)
        return answer.get();
    int waiting = WAITING;
    if (state->compare_exchange_strong(waiting, GIVEN_UP))
        return std::nullopt;
    // Begun just now: its effect stands, so its answer is the truth. Work on
    // the loop is short, so this wait is too.
    return answer.get();
}

// The service's copy of an account follows the store when the loop comes to
// it; never dropped, or a busy moment would leave the copy stale for good.
void TServiceWebBackend::Tell(const TAccount& account) {
    asio::post(io, [&service = service, account] { service.AccountStored(account); });
}

web::TCreateOutcome TServiceWebBackend::CreateAccount(const web::TNewAccount& account) {
    web::TCreateOutcome refused{web::TCreateResult::Invalid, 0};
    if (!IsValidNewPassword(account.password))
        return refused;
    std::string hash = HashPassword(account.password);
    if (hash.empty())
        return refused;
    // The store is thread-safe: the database is written from this thread,
    // and the loop only hears the result.
    if (stopping)
        return web::TCreateOutcome{web::TCreateResult::Busy, 0};
    TAccount added;
    switch (service.Store().AddAccountHashed(account.nick, hash, account.gender, account.language,
                                             &added)) {
    case TAddAccountResult::Added:
        Tell(added);
        return web::TCreateOutcome{web::TCreateResult::Created, added.id};
    case TAddAccountResult::NickTaken:
        return web::TCreateOutcome{web::TCreateResult::NickTaken, 0};
    case TAddAccountResult::Failed:
        if (TStore::LastCallFailed())
            return web::TCreateOutcome{web::TCreateResult::Unavailable, 0};
        return refused;
    default:
        return web::TCreateOutcome{web::TCreateResult::Invalid, 0};
    }
}

std::optional<web::TProfile> TServiceWebBackend::FindProfile(UserId id) {
    if (stopping)
        return std::nullopt;
    std::optional<TAccount> account = service.Store().FindAccountById(id);
    if (!account)
        return std::nullopt;
    return ProfileOf(*account);
}

std::optional<web::TUpdateOutcome> TServiceWebBackend::CheckOwner(UserId id,
                                                                  std::string_view password,
                                                                  const std::string& address,
                                                                  TAccount& account) {
    using web::TUpdateResult;
    if (stopping)
        return web::TUpdateOutcome{TUpdateResult::Busy};
    // Guesses through the profile forms count with the bars' failed sign-ins
    // of the account; a held-back check is no wrong password and says so.
    if (int64_t waitMs = service.PasswordCheckWaitMs(id, address); waitMs > 0)
        return web::TUpdateOutcome{TUpdateResult::TooManyAttempts, int((waitMs + 999) / 1000)};
    std::optional<TAccount> stored = service.Store().FindAccountById(id);
    if (!stored)
        return web::TUpdateOutcome{TStore::LastCallFailed() ? TUpdateResult::Unavailable
                                                            : TUpdateResult::NoSuchUser};
    if (stored->passwordHash.empty())
        return web::TUpdateOutcome{TUpdateResult::WrongPassword};
    bool matches = VerifyPassword(stored->passwordHash, password);
    service.NotePasswordCheck(id, address, matches);
    if (!matches)
        return web::TUpdateOutcome{TUpdateResult::WrongPassword};
    account = std::move(*stored);
    return std::nullopt;
}

web::TUpdateOutcome TServiceWebBackend::UpdateProfile(UserId id, std::string_view password,
                                                      const std::string& address,
                                                      const web::TProfileChange& change) {
    using web::TUpdateResult;
    TAccount account;
    if (std::optional<web::TUpdateOutcome> refused = CheckOwner(id, password, address, account))
        return *refused;
    TStore& store = service.Store();
    std::string newHash;
    if (!change.newPassword.empty()) {
        if (!IsValidNewPassword(change.newPassword))
            return {TUpdateResult::Invalid};
        newHash = HashPassword(change.newPassword);
        if (newHash.empty())
            return {TUpdateResult::Invalid};
    }
    bool updated = store.UpdateProfileHashed(id, change.gender, change.language, newHash);
    if (!updated && TStore::LastCallFailed())
        return {TUpdateResult::Unavailable};
    if (std::optional<TAccount> changed = updated ? store.FindAccountById(id) : std::nullopt)
        Tell(*changed);
    return {updated ? TUpdateResult::Updated : TUpdateResult::Invalid};
}

web::TUpdateOutcome TServiceWebBackend::DeleteAccount(UserId id, std::string_view password,
                                                      const std::string& address) {
    using web::TUpdateResult;
    TAccount account;
    if (std::optional<web::TUpdateOutcome> refused = CheckOwner(id, password, address, account))
        return *refused;
    // The store is shared by every node: the rows are gone everywhere at
    // once; the sessions end as after the operator's DELETE, on every node.
    if (!service.Store().DeleteAccount(id))
        return {TStore::LastCallFailed() ? TUpdateResult::Unavailable : TUpdateResult::NoSuchUser};
    account.passwordHash.clear();
    asio::post(io, [&service = service, account] { service.AccountDeleted(account); });
    return {TUpdateResult::Updated};
}

std::optional<std::vector<web::TMarkedPerson>> TServiceWebBackend::MarkedPeople(UserId owner) {
    if (stopping)
        return std::nullopt;
    std::vector<TMark> marks = service.Store().Marks(owner);
    if (TStore::LastCallFailed())
        return std::nullopt;
    std::vector<web::TMarkedPerson> out;
    for (const TMark& mark : marks)
        out.push_back(web::TMarkedPerson{mark.other, mark.nick,
                                         mark.kind == STORED_BLOCK ? web::TMarkKind::Blocked
                                                                   : web::TMarkKind::Ignored});
    std::sort(out.begin(), out.end(), [](const web::TMarkedPerson& a, const web::TMarkedPerson& b) {
        return FoldCase(a.nick) < FoldCase(b.nick);
    });
    return out;
}

// Written here, as the bar's change is written off the loop; the loop then
// takes the same path as the bar's, so that both accounts' sessions follow
// on every node.
web::TUnmarkResult TServiceWebBackend::Unmark(UserId owner, UserId other, web::TMarkKind kind) {
    using web::TUnmarkResult;
    if (stopping)
        return TUnmarkResult::Unavailable;
    TStore& store = service.Store();
    const uint8_t stored = kind == web::TMarkKind::Blocked ? STORED_BLOCK : STORED_IGNORE;
    std::vector<TMark> marks = store.Marks(owner);
    if (TStore::LastCallFailed())
        return TUnmarkResult::Unavailable;
    if (std::none_of(marks.begin(), marks.end(),
                     [&](const TMark& m) { return m.other == other && m.kind == stored; }))
        return TUnmarkResult::NotMarked;
    std::optional<TAccount> ownerAccount = store.FindAccountById(owner);
    std::optional<TAccount> target = ownerAccount ? store.FindAccountById(other) : std::nullopt;
    if (!target || !store.SetMark(owner, other, MARK_NONE))
        return TStore::LastCallFailed() ? TUnmarkResult::Unavailable : TUnmarkResult::NotMarked;
    ownerAccount->passwordHash.clear();
    target->passwordHash.clear();
    asio::post(io, [&service = service, owner = *ownerAccount, target = *target] {
        service.MarkStored(owner, target, MARK_NONE);
    });
    return TUnmarkResult::Done;
}

std::vector<web::TSiteLoad> TServiceWebBackend::BusiestSites(int limit) {
    if (limit <= 0)
        return {};
    auto sites = OnLoop<std::vector<web::TSiteLoad>>([this, limit] {
        std::vector<web::TSiteLoad> out;
        for (const TSiteCount& site : service.BusiestSites(size_t(limit)))
            out.push_back(web::TSiteLoad{site.host, int(site.users)});
        return out;
    });
    return sites.value_or(std::vector<web::TSiteLoad>{});
}

web::TServerHealth TServiceWebBackend::Health() {
    auto health = OnLoop<web::TServerHealth>([this] {
        web::TServerHealth out;
        if (const TClusterLink* cluster = service.Cluster()) {
            TClusterStatus status = cluster->Status();
            out = web::TServerHealth{true, status.redisUp, status.nodes};
        }
        return out;
    });
    // A loop too busy to answer says nothing about Redis.
    return health.value_or(web::TServerHealth{});
}

// The banner set changes when the operator changes the folder, so its path
// comes from the loop; the file is read here.
std::optional<std::string> TServiceWebBackend::BannerBody(int32_t id) {
    auto path = OnLoop<std::string>([this, id] { return service.Banners().PathOf(id); });
    if (!path || path->empty())
        return std::nullopt;
    std::ifstream in(*path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string body(MAX_BANNER_PAGE + 1, '\0');
    in.read(body.data(), std::streamsize(body.size()));
    body.resize(size_t(in.gcount()));
    if (body.size() > MAX_BANNER_PAGE)
        return std::nullopt;
    return body;
}

} // namespace navlet::server
