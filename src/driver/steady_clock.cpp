#include "driver/steady_clock.h"

namespace vantrels {

namespace {

int64_t (*clockOverride)() = nullptr;

}  // namespace

void OverrideSteadyClock(int64_t (*source)()) {
  clockOverride = source;
}

int64_t SteadyNowNs() {
  if (clockOverride != nullptr) return clockOverride();
  return PlatformSteadyNowNs();
}

int64_t CounterToNanoseconds(int64_t counter, int64_t frequency) {
  constexpr int64_t kNsPerSecond = 1'000'000'000;
  if (frequency == 10'000'000) return counter * 100;
  if (frequency == 24'000'000) return 41 * counter + (2 * counter) / 3;  // 41 2/3 ns per tick
  const int64_t whole = counter / frequency;
  const int64_t part = counter % frequency;
  return whole * kNsPerSecond + (part * kNsPerSecond) / frequency;
}

}  // namespace vantrels
