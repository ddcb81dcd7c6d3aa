// Cost of one tracker's filter work per host frame: one AddSample and one Step, with samples arriving
// about every 11 ms with jitter, prediction and smoothing on, adaptive smoothing off (arg 0) or on (arg 1).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <random>
#include <vector>

#include "pose/pose_filter.h"
#include "pose/pose_math.h"

namespace {

using vantrels::FilterSettings;
using vantrels::PoseFilter;
using vantrels::Quat;
using vantrels::Vec3;

struct Recorded {
  double time;
  Vec3 position;
  Quat rotation;
  Vec3 head;
};

constexpr size_t kRecorded = 4096;
constexpr double kPeriod = 0.011;

// A periodic recording, so that wrapping around continues the motion without a jump.
std::vector<Recorded> Record() {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> jitter(-0.002, 0.002);
  std::vector<Recorded> out(kRecorded);
  for (size_t i = 0; i < kRecorded; ++i) {
    const double phase = 6.283185307179586 * static_cast<double>(i) / static_cast<double>(kRecorded) * 8.0;
    out[i].time = static_cast<double>(i) * kPeriod + jitter(rng);
    out[i].position = {0.3 * std::sin(phase), 1.0 + 0.1 * std::cos(phase), 0.2 * std::sin(2.0 * phase)};
    out[i].rotation = vantrels::FromRotationVector({0.2 * std::sin(phase), 0.8 * std::cos(phase), 0.1});
    out[i].head = {0.05 * std::sin(phase), 1.6, 0.02 * std::cos(phase)};
  }
  return out;
}

void AddSampleAndStep(benchmark::State &state) {
  const std::vector<Recorded> recording = Record();
  const FilterSettings settings{true, 0.04, state.range(0) != 0};
  PoseFilter filter;
  size_t i = 0;
  double offset = 0.0;
  Vec3 previousHead = recording[0].head;
  for (auto _ : state) {
    const Recorded &r = recording[i];
    const double sampleTime = r.time + offset;
    const double now = offset + static_cast<double>(i) * kPeriod + 0.004;  // the sample arrives a little late
    filter.AddSample(r.position, r.rotation, true, r.head, sampleTime, now, settings);
    filter.Step(r.head, r.head - previousHead, now, kPeriod, settings);
    previousHead = r.head;
    benchmark::DoNotOptimize(filter.smoothedPosition);
    benchmark::DoNotOptimize(filter.smoothedRotation);
    if (++i == kRecorded) {
      i = 0;
      offset += static_cast<double>(kRecorded) * kPeriod;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(AddSampleAndStep)->Arg(0)->Arg(1)->ArgName("adaptive");

BENCHMARK_MAIN();
