// Cost of one tracker per host frame: the ApplyRecord calls of the records that arrived since the last
// frame and one SubmitFramePose, with the tracking server sending at 60 Hz and the host running frames at
// 90 Hz (two samples every three frames), prediction on, smoothing 20 ms, adaptive smoothing off or on.
// The head point moves and the tracker is head-relative or not. With host 1 the tracker is active in an
// in-process MinimalHost, so every frame also makes the TrackedDevicePoseUpdated call; with host 0 there
// is no host and the call is skipped.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

#include "host/minimal_host.h"
#include "link/poses_message.h"
#include "pose/pose_filter.h"
#include "pose/pose_intake.h"
#include "pose/pose_math.h"
#include "trackers/tracker_device.h"

namespace {

using vantrels::FilterSettings;
using vantrels::PointSample;
using vantrels::Vec3;

constexpr double kSamplePeriod = 1.0 / 60.0;
constexpr double kFramePeriod = 1.0 / 90.0;
// One period of the motion: 3 s, a whole number of samples and frames, so that wrapping around
// continues the motion without a jump.
constexpr size_t kSamples = 180;
constexpr size_t kFrames = 270;

struct Motion {
  PointSample record;
  Vec3 head;
};

Vec3 HeadAt(double t) {
  const double phase = 6.283185307179586 * t / 3.0;
  return {0.05 * std::sin(phase), 1.6 + 0.01 * std::cos(2.0 * phase), 0.03 * std::cos(phase)};
}

// The body point at sample j: a slow walk-like sway and turn, with a little sensor noise.
Motion SampleAt(size_t j, bool headRelative) {
  const double t = static_cast<double>(j) * kSamplePeriod;
  const double phase = 6.283185307179586 * t / 3.0;
  const double noise = 0.0005 * std::sin(static_cast<double>(j) * 12.9898);
  Motion m;
  m.head = HeadAt(t);
  PointSample &r = m.record;
  r.index = 3;
  r.valid = true;
  r.batteryPercent = 80;
  r.headRelative = headRelative;
  r.position[0] = static_cast<float>(0.3 * std::sin(phase) + noise);
  r.position[1] = static_cast<float>(1.0 + 0.1 * std::cos(2.0 * phase));
  r.position[2] = static_cast<float>(0.2 * std::sin(2.0 * phase) - noise);
  const vantrels::Quat q = vantrels::FromRotationVector({0.2 * std::sin(phase), 0.8 * std::cos(phase), 0.1});
  r.rotation[0] = static_cast<float>(q.x);
  r.rotation[1] = static_cast<float>(q.y);
  r.rotation[2] = static_cast<float>(q.z);
  r.rotation[3] = static_cast<float>(q.w);
  return m;
}

void ApplyRecordAndSubmit(benchmark::State &state) {
  const bool withHost = state.range(0) != 0;
  const bool adaptive = state.range(1) != 0;
  const bool headRelative = state.range(2) != 0;
  const FilterSettings settings{true, 0.02, adaptive};

  std::vector<Motion> samples;
  for (size_t j = 0; j < kSamples; ++j) samples.push_back(SampleAt(j, headRelative));

  vantrels::host::MinimalHost minimal;
  if (withHost) vr::InitServerDriverContext(&minimal);
  vantrels::TrackerDevice tracker(3);
  tracker.batteryPercent = 80;
  tracker.charging = 0;
  if (withHost) tracker.deviceIndex.store(1, std::memory_order_relaxed);  // as if activated; Activate itself would choose a render model

  size_t frame = 0;
  size_t nextSample = 0;
  double offset = 0.0;  // the motion repeats; time goes on
  Vec3 previousHead = HeadAt(0.0);
  auto runFrame = [&] {
    const double now = offset + static_cast<double>(frame) * kFramePeriod;
    // The samples that arrived since the last frame; each has been under way 5 ms.
    while (nextSample < kSamples && static_cast<double>(nextSample) * kSamplePeriod + 0.005 <= now - offset) {
      const Motion &m = samples[nextSample];
      vantrels::ApplyRecord(tracker, m.record, m.head, offset + static_cast<double>(nextSample) * kSamplePeriod, now,
                            settings);
      ++nextSample;
    }
    const Vec3 head = HeadAt(now);
    vantrels::SubmitFramePose(tracker, head, head - previousHead, {0.01, 0.0, 0.0}, now, kFramePeriod, settings);
    previousHead = head;
    if (++frame == kFrames) {
      frame = 0;
      nextSample = 0;
      offset += static_cast<double>(kFrames) * kFramePeriod;
    }
  };
  // One period first, so that every measured frame finds a running filter.
  for (size_t i = 0; i < kFrames; ++i) runFrame();
  const uint64_t updatesBefore = minimal.poseUpdates;
  for (auto _ : state) {
    runFrame();
    benchmark::DoNotOptimize(tracker.pose);
  }
  state.counters["samples_per_frame"] =
      benchmark::Counter(static_cast<double>(kSamples) / static_cast<double>(kFrames));
  state.SetItemsProcessed(state.iterations());
  if (withHost) {
    state.counters["submitted_per_frame"] =
        static_cast<double>(minimal.poseUpdates - updatesBefore) / static_cast<double>(state.iterations());
    vr::CleanupDriverContext();
  }
  if (tracker.stale || !tracker.filter.outputValid) state.SkipWithError("the tracker did not run");
}

}  // namespace

BENCHMARK(ApplyRecordAndSubmit)->ArgNames({"host", "adaptive", "headrel"})->ArgsProduct({{0, 1}, {0, 1}, {0, 1}});

BENCHMARK_MAIN();
