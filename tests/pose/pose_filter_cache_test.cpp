// The filter keeps the per-window part of its fits (means and slopes) between operations. These tests
// hold it to the straightforward evaluation bit for bit: the cached evaluations against FitPosition,
// PredictPosition and PredictRotation, which compute everything from the samples on every call, and a
// filter that keeps its fit against one whose fit is thrown away before every operation, over long
// pseudo-random streams that reach every path of AddSample and Step.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "pose/pose_filter.h"

namespace vantrels {
namespace {

bool Same(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}
bool Same(const Vec3 &a, const Vec3 &b) {
  return Same(a.x, b.x) && Same(a.y, b.y) && Same(a.z, b.z);
}
bool Same(const Quat &a, const Quat &b) {
  return Same(a.w, b.w) && Same(a.x, b.x) && Same(a.y, b.y) && Same(a.z, b.z);
}

Quat Yaw(double angle) {
  return {std::cos(angle / 2.0), 0.0, std::sin(angle / 2.0), 0.0};
}

// Every field a reader can see, bit for bit; the kept fit itself is not compared.
std::string Difference(const PoseFilter &a, const PoseFilter &b) {
  if (a.first != b.first || a.count != b.count) return "window";
  for (int32_t i = 0; i < PoseFilter::kWindowCapacity; ++i) {
    const PoseSample &s = a.samples[i];
    const PoseSample &t = b.samples[i];
    if (!Same(s.time, t.time) || !Same(s.position, t.position) || !Same(s.headAnchor, t.headAnchor) ||
        !Same(s.rotation, t.rotation))
      return "sample " + std::to_string(i);
  }
  if (a.headRelative != b.headRelative || a.outputValid != b.outputValid) return "flags";
  if (!Same(a.positionCorrection, b.positionCorrection)) return "positionCorrection";
  if (!Same(a.rotationCorrection, b.rotationCorrection)) return "rotationCorrection";
  if (!Same(a.smoothedPosition, b.smoothedPosition)) return "smoothedPosition";
  if (!Same(a.smoothedRotation, b.smoothedRotation)) return "smoothedRotation";
  if (!Same(a.lastPosition, b.lastPosition)) return "lastPosition";
  if (!Same(a.lastRotation, b.lastRotation)) return "lastRotation";
  if (!Same(a.linearSpeed, b.linearSpeed)) return "linearSpeed";
  if (!Same(a.angularSpeed, b.angularSpeed)) return "angularSpeed";
  return {};
}

// A tracker stream with everything the field throws at a filter: late, repeated and ancient samples,
// jumps, bursts that fill the window, times too close for a slope, flag and settings changes, missing
// anchors and head points, rotations that are unnormalised, on the far hemisphere or zero, frame
// intervals of 0 and 0.1 s, frames long after the newest sample, and timeouts.
class Stream {
 public:
  explicit Stream(uint64_t seed) : rng_(seed) {}

  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  bool Chance(double p) { return Uniform(0.0, 1.0) < p; }
  Vec3 Noise(double size) { return {Uniform(-size, size), Uniform(-size, size), Uniform(-size, size)}; }

  FilterSettings Settings() {
    const double smoothing = Chance(0.3) ? 0.0 : Uniform(0.0, 0.2);
    return {!Chance(0.15), smoothing, Chance(0.5)};
  }

  // Applies one random operation to every filter given.
  template <typename... Filters>
  void Next(Filters &...filters) {
    if (Chance(0.01)) settings_ = Settings();
    const FilterSettings s = Chance(0.05) ? Settings() : settings_;
    if (Chance(0.003)) {
      (filters.ResetFilter(), ...);
      return;
    }
    if (Chance(0.01)) headRelative_ = !headRelative_;
    if (burst_ > 0 || Chance(0.4)) {
      double t;
      if (burst_ == 0 && Chance(0.005)) burst_ = 25;
      const double kind = Uniform(0.0, 1.0);
      if (burst_ > 0) {
        --burst_;
        t = Advance(Uniform(0.0015, 0.003));
      } else if (kind < 0.75) {
        t = Advance(Chance(0.8) ? 1.0 / 60.0 : Uniform(0.0, 0.05));
      } else if (kind < 0.83) {
        t = newest_ - (Chance(0.5) ? 0.0 : Uniform(0.0, 0.03));  // repeated or late
      } else if (kind < 0.86) {
        t = newest_ + 5e-5;  // too close to the newest for a slope
      } else if (kind < 0.88) {
        t = newest_ - Uniform(1.0, 3.0);  // far in the past: restart
      } else if (kind < 0.90) {
        position_ = position_ + Vec3{0.8, -0.3, 0.2};  // a jump: restart
        t = Advance(1.0 / 60.0);
      } else {
        t = Advance(Uniform(0.1, 1.5));  // a pause
      }
      if (t > newest_) newest_ = t;
      Quat q = FromRotationVector(rotation_);
      const double roll = Uniform(0.0, 1.0);
      if (roll < 0.1)
        q = {-q.w, -q.x, -q.y, -q.z};
      else if (roll < 0.2)
        q = {q.w * 3.0, q.x * 3.0, q.y * 3.0, q.z * 3.0};
      else if (roll < 0.21)
        q = {0.0, 0.0, 0.0, 0.0};
      const std::optional<Vec3> anchor = Chance(0.1) ? std::nullopt : std::optional<Vec3>(head_);
      const bool flag = Chance(0.05) ? !headRelative_ : headRelative_;
      const double now = t + (Chance(0.1) ? -Uniform(0.0, 0.01) : Uniform(0.0, 0.1));
      const Vec3 p = position_ + Noise(0.002);
      (filters.AddSample(p, q, flag, anchor, t, now, s), ...);
    } else {
      const double roll = Uniform(0.0, 1.0);
      const double dt = roll < 0.1 ? 0.0 : roll < 0.2 ? 0.1 : roll < 0.8 ? 1.0 / 90.0 : Uniform(0.0, 0.1);
      const double now = newest_ + (Chance(0.1) ? -Uniform(0.0, 0.02) : Uniform(0.0, 0.12));
      const std::optional<Vec3> headNow = Chance(0.1) ? std::nullopt : std::optional<Vec3>(head_ + Noise(0.01));
      const Vec3 headStep = Chance(0.3) ? Vec3{} : Noise(0.005);
      (filters.Step(headNow, headStep, now, dt, s), ...);
    }
  }

 private:
  double Advance(double dt) {
    time_ += dt;
    velocity_ = velocity_ * 0.9 + Noise(0.5);
    position_ = position_ + velocity_ * dt;
    rotation_ = rotation_ + Noise(0.1);
    head_ = head_ + Noise(0.004);
    return time_;
  }

  std::mt19937_64 rng_;
  FilterSettings settings_;
  bool headRelative_ = false;
  int burst_ = 0;
  double time_ = 50.0;
  double newest_ = 50.0;
  Vec3 position_{0.2, 1.0, -0.3};
  Vec3 velocity_;
  Vec3 rotation_{0.3, -1.0, 0.2};
  Vec3 head_{0.0, 1.6, 0.0};
};

TEST(PoseFilterCache, CachedEvaluationsMatchTheDirectOnesBitForBit) {
  for (const uint64_t seed : {11u, 12u, 13u}) {
    Stream stream(seed);
    PoseFilter filter;
    for (int op = 0; op < 20000; ++op) {
      stream.Next(filter);
      if (filter.count == 0) continue;
      // Query a copy, so that the stream's own filter keeps the fit only where its operations kept it.
      PoseFilter probe = filter;
      for (int k = 0; k < 4; ++k) {
        const FilterSettings s{k % 2 == 0, 0.0, false};
        const double t = filter.samples[(filter.first + filter.count - 1) % 16].time + stream.Uniform(-0.02, 0.08);
        ASSERT_TRUE(Same(filter.FitPosition(t, s), probe.CachedFitPosition(t, s))) << "seed " << seed << " op " << op;
        ASSERT_TRUE(Same(filter.PredictPosition(t, s), probe.CachedPredictPosition(t, s)))
            << "seed " << seed << " op " << op;
        ASSERT_TRUE(Same(filter.PredictRotation(t, s), probe.CachedPredictRotation(t, s)))
            << "seed " << seed << " op " << op;
      }
    }
  }
}

// A fit kept across an operation that changed the window would show here: the other filter refits
// before every operation.
TEST(PoseFilterCache, KeptFitGivesTheSameFilterAsRefitting) {
  for (const uint64_t seed : {21u, 22u, 23u}) {
    Stream stream(seed);
    PoseFilter kept;
    PoseFilter refitted;
    struct Refitting {
      PoseFilter &f;
      void AddSample(const Vec3 &p, const Quat &q, bool flag, const std::optional<Vec3> &anchor, double t, double now,
                     const FilterSettings &s) {
        f.windowFit.current = false;
        f.AddSample(p, q, flag, anchor, t, now, s);
      }
      void Step(const std::optional<Vec3> &headNow, const Vec3 &headStep, double now, double dt,
                const FilterSettings &s) {
        f.windowFit.current = false;
        f.Step(headNow, headStep, now, dt, s);
      }
      void ResetFilter() { f.ResetFilter(); }
    } refitting{refitted};
    int fitted = 0;
    for (int op = 0; op < 30000; ++op) {
      stream.Next(kept, refitting);
      const std::string difference = Difference(kept, refitted);
      ASSERT_TRUE(difference.empty()) << difference << " differs, seed " << seed << " op " << op;
      if (kept.windowFit.current && kept.windowFit.sloped) ++fitted;
    }
    // The stream must reach the kept fit often, or this test shows nothing.
    EXPECT_GT(fitted, 5000) << "seed " << seed;
  }
}

// The fit the filter holds is the one a fresh fit of its window gives.
bool HoldsFreshFit(const PoseFilter &f, const FilterSettings &s) {
  PoseFilter fresh = f;
  fresh.windowFit.current = false;
  fresh.CachedFitPosition(0.0, s);
  const WindowFit &a = f.windowFit;
  const WindowFit &b = fresh.windowFit;
  return a.current && a.sloped == b.sloped && Same(a.newestTime, b.newestTime) && Same(a.timeMean, b.timeMean) &&
         Same(a.stt, b.stt) && Same(a.positionMean, b.positionMean) && Same(a.positionStp, b.positionStp) &&
         Same(a.rotationMean, b.rotationMean) && Same(a.rotationStr, b.rotationStr);
}

TEST(PoseFilterCache, EveryWindowChangeRefitsTheWindow) {
  const FilterSettings predict{true, 0.0, false};
  PoseFilter f;
  f.AddSample({0, 0, 0}, Quat{}, false, std::nullopt, 1.0, 1.0, predict);
  f.AddSample({0.01, 0, 0}, Yaw(0.1), false, std::nullopt, 1.01, 1.01, predict);
  f.Step(std::nullopt, {}, 1.02, 0.011, predict);
  ASSERT_TRUE(HoldsFreshFit(f, predict));
  // A late sample replaces the newest one: count and first stay, the window changes.
  f.AddSample({0.02, 0, 0}, Yaw(0.2), false, std::nullopt, 1.005, 1.02, predict);
  EXPECT_TRUE(HoldsFreshFit(f, predict));
  // Only the head-relative reading changes, and with it every relative position.
  f.AddSample({0.02, 0, 0}, Yaw(0.2), true, Vec3{0, 0.1, 0}, 1.005, 1.02, predict);
  EXPECT_TRUE(HoldsFreshFit(f, predict));
  EXPECT_EQ(-0.1 / 2.0, f.windowFit.positionMean.y);  // the older sample came without an anchor
  // A sample with prediction off leaves no fit behind that a later sample could take for current.
  f.AddSample({0.03, 0, 0}, Yaw(0.3), true, Vec3{0, 0.1, 0}, 1.02, 1.03, FilterSettings{false, 0.0, false});
  EXPECT_FALSE(f.windowFit.current);
  f.Step(std::nullopt, {}, 1.03, 0.011, predict);
  EXPECT_TRUE(HoldsFreshFit(f, predict));
  f.ResetFilter();
  EXPECT_FALSE(f.windowFit.current);
}

}  // namespace
}  // namespace vantrels
