// A reload (SIGHUP) while bars sign in and the web site answers on its own
// threads: the new bounds and origins reach the sessions, the web site and
// the WebSocket upgrade without a race (this suite runs under the thread
// sanitizer too) and nothing stops serving.
#include <httplib.h>

#include <atomic>

#include "tests/server/server_fixture.h"

namespace navlet::test {
namespace {

class Reload : public TServerFixture {
  protected:
    void SetUp() override {
        TServerFixture::SetUp();
        config.web = "127.0.0.1:0";
        AddAccount("alice", "apw");
        StartServer();
    }
};

TEST_F(Reload, LiveKeysChangeWhileSessionsAndTheWebSiteAreBusy) {
    std::atomic<bool> done{false};
    std::atomic<int> pages{0};
    std::thread web([&] {
        httplib::Client site("127.0.0.1", server->WebPort());
        site.set_read_timeout(5);
        while (!done)
            if (auto r = site.Get("/newuser.asp"); r && r->status == 200)
                ++pages;
    });
    int signedIn = 0;
    for (int round = 0; round < 20; ++round) {
        server::TServerConfig next = config;
        next.limits.maxPerAddress = 50 + size_t(round);
        next.webLimits.http.maxPerAddress = 20 + size_t(round);
        next.webLimits.signUps.totalPerSecond = 1.0 + round;
        next.wsOrigins = {"https://r" + std::to_string(round) + ".example"};
        next.service.bannerIntervalMs = 1000 * (round + 1);
        OnLoop([&] {
            server->Reload("");
            server->ApplyLive(next);
            return 0;
        });
        TTestClient bar;
        signedIn += bar.Connect(Port()) && bar.Login("alice", "apw", "example.com") ? 1 : 0;
    }
    done = true;
    web.join();
    EXPECT_EQ(signedIn, 20);
    EXPECT_GT(pages.load(), 0);
}

} // namespace
} // namespace navlet::test
