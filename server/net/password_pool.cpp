#include "server/net/password_pool.h"

#include <chrono>

#include "server/log/counters.h"

namespace navlet::server {

TPasswordPool::TPasswordPool(asio::io_context& io, TPasswordPoolLimits limits)
    : io(io), limits(limits) {
    size_t threads = limits.threads ? limits.threads : std::thread::hardware_concurrency();
    threads = std::max<size_t>(threads, 1);
    for (size_t i = 0; i < threads; ++i)
        workers.emplace_back([this] { Work(); });
}

TPasswordPool::~TPasswordPool() {
    Stop();
    for (std::thread& worker : workers)
        worker.join();
}

bool TPasswordPool::Verify(TPasswordCheck check) {
    std::lock_guard lock(mutex);
    if (stopping || queued >= limits.maxQueued)
        return false;
    auto& waiting = byAddress[check.address];
    if (waiting.size() >= limits.maxQueuedPerAddress)
        return false;
    if (waiting.empty())
        turns.push_back(check.address);
    // Timed from here to the answer on the loop: the wait in the queue is
    // what a bar feels.
    check.done = [done = std::move(check.done), since = std::chrono::steady_clock::now()](bool ok) {
        counters::Observe(
            counters::TLatency::PasswordCheck,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count());
        done(ok);
    };
    waiting.push_back(std::move(check));
    ++queued;
    wake.notify_one();
    return true;
}

void TPasswordPool::Stop() {
    std::lock_guard lock(mutex);
    stopping = true;
    byAddress.clear();
    turns.clear();
    queued = 0;
    wake.notify_all();
}

size_t TPasswordPool::Queued() const {
    std::lock_guard lock(mutex);
    return queued;
}

bool TPasswordPool::TakeNext(TPasswordCheck& out) {
    while (!turns.empty()) {
        std::string address = std::move(turns.front());
        turns.pop_front();
        auto it = byAddress.find(address);
        if (it == byAddress.end() || it->second.empty())
            continue;
        out = std::move(it->second.front());
        it->second.pop_front();
        --queued;
        if (it->second.empty())
            byAddress.erase(it);
        else
            turns.push_back(std::move(address)); // its next check waits for the others
        return true;
    }
    return false;
}

void TPasswordPool::Work() {
    for (;;) {
        TPasswordCheck check;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopping || !turns.empty(); });
            if (stopping)
                return;
            if (!TakeNext(check))
                continue;
        }
        // A connection that went while its check waited costs no hash run.
        if (check.abandoned && *check.abandoned)
            continue;
        bool matches = VerifyPassword(check.hash, check.password);
        asio::post(io, [done = std::move(check.done), matches] { done(matches); });
    }
}

} // namespace navlet::server
