// The service's web site: an HTTP server on its own port, serving the pages of
// pages.h from what a TWebBackend answers.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "server/web/http_server.h"
#include "server/web/owner_sessions.h"
#include "server/web/signup_limit.h"
#include "server/web/web_backend.h"

namespace navlet::web {

struct TWebSiteLimits {
    THttpLimits http;      // a sign-up form is a few dozen bytes: the default 8 KiB body is ample
    int busiestShown = 10; // rows of the home page's table
    TSignUpRules signUps;
};

class TWebSite {
  public:
    // The backend must outlive the site.
    explicit TWebSite(TWebBackend& backend, TWebSiteLimits limits = {});
    ~TWebSite(); // stops the site
    TWebSite(const TWebSite&) = delete;
    TWebSite& operator=(const TWebSite&) = delete;

    // Before Start only: requests for `path` leave the site (see THttpUpgrade).
    void RouteUpgrade(const std::string& path, THttpUpgrade upgrade);
    // Binds `host`:`port` (0 picks a free port) and serves on a thread of its
    // own. Returns false, with `error` set, when it cannot bind.
    bool Start(const std::string& host, int port, std::string& error);
    // The bound port after a successful Start.
    int Port() const;
    // Closes the listener and waits for the serving thread. Safe to call twice.
    void Stop();
    // A reload's new bounds: connections per address, trusted proxies and
    // the sign-up rates. Thread-safe.
    void SetLimits(const TWebSiteLimits& next);

  private:
    void AddRoutes();
    void HandleSignUp(const THttpRequest& req, THttpResponse& res);
    void HandleViewProfile(const THttpRequest& req, THttpResponse& res);
    void HandleUpdateForm(const THttpRequest& req, THttpResponse& res);
    void HandleUpdate(const THttpRequest& req, THttpResponse& res);
    void HandleDelete(const THttpRequest& req, THttpResponse& res);
    void HandleUnmark(const THttpRequest& req, THttpResponse& res);
    void HandleBanner(const THttpRequest& req, THttpResponse& res);
    // The profile a request's address names, with the address's locale; an
    // error answer when the address is bad or there is no such profile.
    struct TAddressedProfile {
        TProfile profile;
        int locale = 0;
    };
    std::optional<TAddressedProfile> ReadProfile(const THttpRequest& req, THttpResponse& res);
    // Hands the browser a cookie that shows `user` as signed in to the site.
    void SignInOwner(UserId user, THttpResponse& res);

    TWebBackend& backend;
    TWebSiteLimits limits;
    TSignUpLimit signUps;
    TOwnerSessions owners;
    std::unique_ptr<THttpServer> http;
};

} // namespace navlet::web
