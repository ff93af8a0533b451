// The replacement lives apart from its callers so that no call of it is
// inlined beside the allocation it frees.
#include "tests/server/alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool counting = false;
std::atomic<uint64_t> counted{0};

} // namespace

namespace navlet::test {

void CountAllocationsOnThisThread() {
    counting = true;
}

uint64_t CountedAllocations() {
    return counted.load();
}

} // namespace navlet::test

void* operator new(std::size_t size) {
    if (counting)
        counted.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
