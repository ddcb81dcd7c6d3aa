#pragma once

#include <cstdint>

namespace vantrels {

// The monotonic clock all driver timing reads, in nanoseconds. Only differences mean anything.
int64_t SteadyNowNs();

// The platform's own monotonic clock, which SteadyNowNs reads unless a test replaced it. One
// implementation per platform.
int64_t PlatformSteadyNowNs();

// Replaces the clock with another source (null: the real clock again). For tests that run
// frames on their own time line; the driver never calls it.
void OverrideSteadyClock(int64_t (*source)());

// Converts a performance-counter reading to nanoseconds without overflowing for any counter
// value a machine reaches, exact for the two common frequencies (10 MHz and 24 MHz). Used
// where the platform clock is a counter with a frequency rather than nanoseconds.
int64_t CounterToNanoseconds(int64_t counter, int64_t frequency);

}  // namespace vantrels
