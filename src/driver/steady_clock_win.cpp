#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "driver/steady_clock.h"

namespace vantrels {

int64_t PlatformSteadyNowNs() {
  // The counter's frequency is fixed at boot; it is read once.
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? static_cast<int64_t>(f.QuadPart) : int64_t{10'000'000};
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return CounterToNanoseconds(static_cast<int64_t>(counter.QuadPart), frequency);
}

}  // namespace vantrels
