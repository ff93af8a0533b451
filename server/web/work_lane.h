// A bounded pool of worker threads whose waiting jobs are shared fairly
// between peer addresses: the addresses take turns, and when the queue is
// full a newcomer from an address with fewer jobs waiting takes the place of
// the newest job of the address with the most. So a few busy addresses can
// neither fill the queue for everybody else nor go ahead of them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace navlet::web {

class TWorkLane {
  public:
    using TJob = std::function<void()>;

    TWorkLane(size_t threads, size_t maxWaiting);
    ~TWorkLane(); // stops
    TWorkLane(const TWorkLane&) = delete;
    TWorkLane& operator=(const TWorkLane&) = delete;

    // Queues `job` (run on a worker) under `address`. False when it finds
    // no fair place: nothing is called then. When it takes another job's
    // place, that job's `refuse` is called here, on the caller's thread.
    bool Push(const std::string& address, TJob job, TJob refuse);
    // Drops the waiting jobs (neither run nor refused), lets running ones
    // finish, joins the threads. Safe to call twice.
    void Stop();

  private:
    struct TWaiting {
        TJob job;
        TJob refuse;
    };
    void Work();
    // Under the lock: the newest job of the address with the most waiting,
    // when it has more than `than`; false when none has.
    bool TakeFromBusiest(size_t than, TWaiting& out);

    size_t maxWaiting;
    std::mutex mutex;
    std::condition_variable wake;
    std::unordered_map<std::string, std::deque<TWaiting>> byAddress;
    std::deque<std::string> turns; // each address with jobs waiting, once
    size_t waiting = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace navlet::web
