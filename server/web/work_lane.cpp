#include "server/web/work_lane.h"

#include <algorithm>

namespace navlet::web {

TWorkLane::TWorkLane(size_t threads, size_t maxWaiting) : maxWaiting(maxWaiting) {
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i)
        workers.emplace_back([this] { Work(); });
}

TWorkLane::~TWorkLane() {
    Stop();
}

bool TWorkLane::TakeFromBusiest(size_t than, TWaiting& out) {
    auto busiest = std::max_element(byAddress.begin(), byAddress.end(), [](auto& a, auto& b) {
        return a.second.size() < b.second.size();
    });
    if (busiest == byAddress.end() || busiest->second.size() <= than)
        return false;
    out = std::move(busiest->second.back());
    busiest->second.pop_back();
    --waiting;
    if (busiest->second.empty()) {
        std::erase(turns, busiest->first);
        byAddress.erase(busiest);
    }
    return true;
}

bool TWorkLane::Push(const std::string& address, TJob job, TJob refuse) {
    TWaiting displaced;
    {
        std::lock_guard lock(mutex);
        if (stopping)
            return false;
        if (waiting >= maxWaiting) {
            auto own = byAddress.find(address);
            size_t mine = own == byAddress.end() ? 0 : own->second.size();
            if (!TakeFromBusiest(mine + 1, displaced))
                return false;
        }
        auto& queue = byAddress[address];
        if (queue.empty())
            turns.push_back(address);
        queue.push_back(TWaiting{std::move(job), std::move(refuse)});
        ++waiting;
    }
    wake.notify_one();
    if (displaced.refuse)
        displaced.refuse();
    return true;
}

void TWorkLane::Stop() {
    {
        std::lock_guard lock(mutex);
        if (stopping && workers.empty())
            return;
        stopping = true;
        byAddress.clear();
        turns.clear();
        waiting = 0;
    }
    wake.notify_all();
    for (std::thread& worker : workers)
        worker.join();
    workers.clear();
}

void TWorkLane::Work() {
    for (;;) {
        TJob job;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopping || !turns.empty(); });
            if (stopping)
                return;
            std::string address = std::move(turns.front());
            turns.pop_front();
            auto& queue = byAddress[address];
            job = std::move(queue.front().job);
            queue.pop_front();
            --waiting;
            if (queue.empty())
                byAddress.erase(address);
            else
                turns.push_back(std::move(address)); // its next job waits for the others
        }
        job();
    }
}

} // namespace navlet::web
