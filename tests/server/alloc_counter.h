// Counts the allocations (operator new) made on the threads that ask for it.
// Linking alloc_counter.cpp replaces the program's operator new: a test
// binary of its own.
#pragma once

#include <cstdint>

namespace navlet::test {

// From now on, allocations on the calling thread are counted.
void CountAllocationsOnThisThread();
// Allocations counted so far, on every counting thread together.
uint64_t CountedAllocations();

} // namespace navlet::test
