#include <chrono>

#include "driver/steady_clock.h"

namespace vantrels {

int64_t PlatformSteadyNowNs() {
  // CLOCK_MONOTONIC, already in nanoseconds.
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

}  // namespace vantrels
