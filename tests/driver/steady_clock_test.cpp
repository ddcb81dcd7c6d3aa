#include "driver/steady_clock.h"

#include <gtest/gtest.h>

namespace vantrels {
namespace {

TEST(SteadyClock, CounterConversionIsExactForCommonFrequencies) {
  EXPECT_EQ(CounterToNanoseconds(24'000'000, 24'000'000), 1'000'000'000);
  EXPECT_EQ(CounterToNanoseconds(3, 10'000'000), 300);
  EXPECT_EQ(CounterToNanoseconds(3'000'000'000, 3'000'000'000), 1'000'000'000);
  // A day of uptime at 3 GHz must not overflow the intermediate product.
  EXPECT_EQ(CounterToNanoseconds(int64_t{3'000'000'000} * 86'400 + 1'500'000'000, 3'000'000'000),
            int64_t{86'400} * 1'000'000'000 + 500'000'000);
}

}  // namespace
}  // namespace vantrels
