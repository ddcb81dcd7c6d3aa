// Counts the heap allocations of the whole process while counting is switched on: every
// allocation function, the C library's (malloc, calloc, realloc and the aligned ones) and every
// operator new, whose library versions end in them, the driver module's own statically linked
// runtime included. A deterministic count, for the tests and the frame benchmark.
//
// Linux only. Link the object library vantrels_allocation_counter into the program: under the
// sanitizers it listens to their allocator, otherwise it takes the place of the C library's
// allocation functions for the whole process.
#pragma once

#include <cstdint>

namespace vantrels::host {

void CountAllocations(bool on);
uint64_t AllocationsCounted();

}  // namespace vantrels::host
