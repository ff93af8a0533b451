#include "server/service_web_backend.h"

#include <fstream>
#include <future>
#include <memory>

namespace navlet::server {

namespace {

constexpr auto LOOP_ANSWER_TIMEOUT = std::chrono::seconds(5);
constexpr size_t MAX_BANNER_PAGE = 64u << 10;

web::TProfile ProfileOf(const TAccount& account) {
    return web::TProfile{account.id, account.nick, account.gender, account.language};
}

} // namespace

template <typename R, typename F> R TServiceWebBackend::OnLoop(F work) {
    if (stopping)
        return R{};
    auto promise = std::make_shared<std::promise<R>>();
    std::future<R> answer = promise->get_future();
    asio::post(io, [promise, work = std::move(work)]() mutable { promise->set_value(work()); });
    if (answer.wait_for(LOOP_ANSWER_TIMEOUT) != std::future_status::ready)
        return R{};
    return answer.get();
}

web::TCreateOutcome TServiceWebBackend::CreateAccount(const web::TNewAccount& account) {
    web::TCreateOutcome refused{web::TCreateResult::Invalid, 0};
    if (!IsValidNewPassword(account.password))
        return refused;
    std::string hash = HashPassword(account.password);
    if (hash.empty())
        return refused;
    return OnLoop<web::TCreateOutcome>([this, account, hash] {
        TAccount added;
        switch (service.AddAccountHashed(account.nick, hash, account.gender, account.language,
                                         &added)) {
        case TAddAccountResult::Added:
            return web::TCreateOutcome{web::TCreateResult::Created, added.id};
        case TAddAccountResult::NickTaken:
            return web::TCreateOutcome{web::TCreateResult::NickTaken, 0};
        default:
            return web::TCreateOutcome{web::TCreateResult::Invalid, 0};
        }
    });
}

std::optional<web::TProfile> TServiceWebBackend::FindProfile(UserId id) {
    return OnLoop<std::optional<web::TProfile>>([this, id]() -> std::optional<web::TProfile> {
        std::optional<TAccount> account = service.FindAccount(id);
        if (!account)
            return std::nullopt;
        return ProfileOf(*account);
    });
}

web::TUpdateResult TServiceWebBackend::UpdateProfile(UserId id, std::string_view password,
                                                     const web::TProfileChange& change) {
    // Guesses through the profile form count with the bars' failed sign-ins
    // of the account; a held-back check answers as a wrong password.
    std::optional<TAccount> account =
        OnLoop<std::optional<TAccount>>([this, id]() -> std::optional<TAccount> {
            if (service.PasswordCheckHeldBack(id, /*address=*/""))
                return TAccount{};
            return service.FindAccount(id);
        });
    if (!account)
        return web::TUpdateResult::NoSuchUser;
    if (account->passwordHash.empty())
        return web::TUpdateResult::WrongPassword;
    bool matches = VerifyPassword(account->passwordHash, password);
    OnLoop<bool>([this, id, matches] {
        service.NotePasswordCheck(id, /*address=*/"", matches);
        return true;
    });
    if (!matches)
        return web::TUpdateResult::WrongPassword;
    std::string newHash;
    if (!change.newPassword.empty()) {
        if (!IsValidNewPassword(change.newPassword))
            return web::TUpdateResult::Invalid;
        newHash = HashPassword(change.newPassword);
        if (newHash.empty())
            return web::TUpdateResult::Invalid;
    }
    bool updated = OnLoop<bool>([this, id, change, newHash] {
        return service.UpdateProfileHashed(id, change.gender, change.language, newHash);
    });
    return updated ? web::TUpdateResult::Updated : web::TUpdateResult::Invalid;
}

std::vector<web::TSiteLoad> TServiceWebBackend::BusiestSites(int limit) {
    if (limit <= 0)
        return {};
    return OnLoop<std::vector<web::TSiteLoad>>([this, limit] {
        std::vector<web::TSiteLoad> out;
        for (const TSiteCount& site : service.BusiestSites(size_t(limit)))
            out.push_back(web::TSiteLoad{site.host, int(site.users)});
        return out;
    });
}

// The banner set does not change after start, so its paths are read here.
std::optional<std::string> TServiceWebBackend::BannerBody(int32_t id) {
    std::string path = service.Banners().PathOf(id);
    if (path.empty())
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string body(MAX_BANNER_PAGE, '\0');
    in.read(body.data(), std::streamsize(body.size()));
    body.resize(size_t(in.gcount()));
    return body;
}

} // namespace navlet::server
