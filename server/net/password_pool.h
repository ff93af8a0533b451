// Password checks on a small pool of threads (one per core), so that the
// hash's cost never holds the event loop and uses every core. Checks wait in
// one queue per peer address and the addresses take turns, so that many
// attempts from a few addresses cannot push a real sign-in back; both the
// per-address and the total queue are bounded. Answers come back on the loop.
#pragma once

#include <asio.hpp>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "server/core/service.h"

namespace navlet::server {

struct TPasswordPoolLimits {
    size_t threads = 0;                // 0: one per core
    size_t maxQueued = 20000;          // all addresses together
    size_t maxQueuedPerAddress = 1000; // one address
};

class TPasswordPool final : public TPasswordVerifier {
  public:
    TPasswordPool(asio::io_context& io, TPasswordPoolLimits limits = {});
    // Drops what waits, lets running checks finish, and joins the threads.
    ~TPasswordPool() override;

    bool Verify(TPasswordCheck check) override;
    // Drops every waiting check (their `done` is never called); from any thread.
    void Stop();
    size_t Queued() const;

  private:
    void Work();
    // Under the lock: the next check in turn; false when none waits.
    bool TakeNext(TPasswordCheck& out);

    asio::io_context& io;
    TPasswordPoolLimits limits;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::unordered_map<std::string, std::deque<TPasswordCheck>> byAddress;
    std::deque<std::string> turns; // each address with checks waiting, once
    size_t queued = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace navlet::server
