// The web site's view of the service. The site calls from its own worker
// threads; every touch of the service is posted to the event loop and waited
// for (bounded), and password hashing runs on the calling worker so that it
// never holds the loop. Work the loop has not begun when the wait gives up is
// never done: a page that says "not saved" means it.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>

#include "server/core/service.h"
#include "server/web/web_backend.h"

namespace navlet::server {

class TServiceWebBackend final : public web::TWebBackend {
  public:
    TServiceWebBackend(asio::io_context& io, TService& service,
                       std::chrono::milliseconds loopAnswerTimeout = std::chrono::seconds(5))
        : io(io), service(service), loopAnswerTimeout(loopAnswerTimeout) {}

    // From now on every call answers at once as a failure: the loop is going.
    void Stop() { stopping = true; }

    web::TCreateOutcome CreateAccount(const web::TNewAccount& account) override;
    std::optional<web::TProfile> FindProfile(UserId id) override;
    web::TUpdateOutcome UpdateProfile(UserId id, std::string_view password,
                                      const std::string& address,
                                      const web::TProfileChange& change) override;
    web::TUpdateOutcome DeleteAccount(UserId id, std::string_view password,
                                      const std::string& address) override;
    std::optional<std::vector<web::TMarkedPerson>> MarkedPeople(UserId owner) override;
    web::TUnmarkResult Unmark(UserId owner, UserId other, web::TMarkKind kind) override;
    std::vector<web::TSiteLoad> BusiestSites(int limit) override;
    web::TServerHealth Health() override;
    // The restrictions' list takes readers on any thread.
    bool AddressBarred(const std::string& address) override {
        return service.Restrictions().AddressBarred(address);
    }
    bool LastCallUnavailable() override { return TStore::LastCallFailed(); }
    std::optional<std::string> BannerBody(int32_t id) override;

  private:
    // Runs `work` on the loop and returns its result, or nothing when the loop
    // does not begin it in time or is stopping; then it never runs.
    template <typename R, typename F> std::optional<R> OnLoop(F work);
    void Tell(const TAccount& account);
    // The owner's password checked behind the guessing slow-down: the
    // account when it matches, else the outcome to answer with.
    std::optional<web::TUpdateOutcome> CheckOwner(UserId id, std::string_view password,
                                                  const std::string& address, TAccount& account);

    asio::io_context& io;
    TService& service;
    std::chrono::milliseconds loopAnswerTimeout;
    std::atomic<bool> stopping{false};
};

} // namespace navlet::server
