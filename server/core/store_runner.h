// Where the service's store calls run.
#pragma once

#include <functional>

namespace navlet::server {

// Runs store calls away from the service's thread (a slow database must not
// stall the sessions); `done`, when given, is then called on that thread.
class TStoreRunner {
  public:
    virtual ~TStoreRunner() = default;
    virtual void Run(std::function<void()> work, std::function<void()> done) = 0;
    // The same, but after every earlier RunOrdered has finished: writes that
    // one user made in turn (a friend added, then removed) land in turn.
    virtual void RunOrdered(std::function<void()> work, std::function<void()> done) {
        Run(std::move(work), std::move(done));
    }
};

// Runs both at once on the calling thread (tools and tests).
class TInlineStoreRunner final : public TStoreRunner {
  public:
    void Run(std::function<void()> work, std::function<void()> done) override {
        work();
        if (done)
            done();
    }
};

} // namespace navlet::server
