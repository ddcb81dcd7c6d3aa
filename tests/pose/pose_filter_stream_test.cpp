// The filter over long pseudo-random streams (fixed seeds, so failures reproduce) with everything the
// field throws at it: late, repeated and ancient samples, jumps, bursts that fill the window, times too
// close for a slope, flag and settings changes, missing anchors and head points, rotations that are
// unnormalised, on the far hemisphere or zero, frame intervals of 0 and 0.1 s, and timeouts.
//
// The filter keeps the per-window part of its fits between operations; the direct evaluations, which fit
// from the samples on every call, must agree with it bit for bit after every operation. Around every operation the
// filter's own promises are checked: a new sample does not move the output at now, rotations stay unit length, numbers
// stay finite.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <random>

#include "pose/pose_filter.h"

namespace vantrels {
namespace {

// Bit for bit: the records are plain doubles.
template <typename T>
bool Same(const T &a, const T &b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}
double UnitError(const Quat &q) {
  return std::abs(std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z) - 1.0);
}

class Stream {
 public:
  explicit Stream(uint64_t seed) : rng_(seed) {}
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  bool Chance(double p) { return Uniform(0.0, 1.0) < p; }
  Vec3 Noise(double size) { return {Uniform(-size, size), Uniform(-size, size), Uniform(-size, size)}; }
  FilterSettings Settings() { return {!Chance(0.15), Chance(0.3) ? 0.0 : Uniform(0.0, 0.2), Chance(0.5)}; }

  // Runs `ops` random operations on a filter, checking it after each.
  void Run(int ops, uint64_t seed) {
    PoseFilter kept;
    FilterSettings settings;
    bool headRelative = false;
    int burst = 0, fitted = 0;
    for (int op = 0; op < ops; ++op) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << " op " << op);
      if (Chance(0.01)) settings = Settings();
      const FilterSettings s = Chance(0.05) ? Settings() : settings;
      if (Chance(0.003)) {
        kept.ResetFilter();
      } else if (burst > 0 || Chance(0.4)) {
        if (Chance(0.01)) headRelative = !headRelative;
        if (burst == 0 && Chance(0.005)) burst = 25;
        const double kind = Uniform(0.0, 1.0);
        double t;
        if (burst > 0) {
          --burst;
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
        newest_ = std::max(newest_, t);
        Quat q = FromRotationVector(rotation_);
        const double roll = Uniform(0.0, 1.0);
        if (roll < 0.1) q = {-q.w, -q.x, -q.y, -q.z};
        if (roll >= 0.1 && roll < 0.2) q = {q.w * 3.0, q.x * 3.0, q.y * 3.0, q.z * 3.0};
        if (roll >= 0.2 && roll < 0.21) q = {0.0, 0.0, 0.0, 0.0};
        const std::optional<Vec3> anchor = Chance(0.1) ? std::nullopt : std::optional<Vec3>(head_);
        const bool flag = Chance(0.05) ? !headRelative : headRelative;
        const double now = t + (Chance(0.1) ? -Uniform(0.0, 0.01) : Uniform(0.0, 0.1));
        const Vec3 p = position_ + Noise(0.002);
        // The output at now before the sample; unless the filter restarts, the sample must not move it.
        const bool had = kept.count > 0;
        const Vec3 before = had ? kept.PredictPosition(now, s) + kept.positionCorrection : Vec3{};
        const Quat turnBefore = had ? Multiply(kept.rotationCorrection, kept.PredictRotation(now, s)) : Quat{};
        const bool restart =
            had && (Length(before - p) > 0.5 || kept.samples[(kept.first + kept.count - 1) % 16].time > t + 1.0);
        kept.AddSample(p, q, flag, anchor, t, now, s);
        if (restart) {
          ASSERT_EQ(kept.count, 1);
          ASSERT_EQ(Length(kept.positionCorrection), 0.0);
        } else if (had) {
          ASSERT_LT(Length(kept.PredictPosition(now, s) + kept.positionCorrection - before), 1e-9);
          const Quat turn =
              Multiply(Multiply(kept.rotationCorrection, kept.PredictRotation(now, s)), Conjugate(turnBefore));
          ASSERT_LT(Length(ToRotationVector(turn)), 1e-9);
        }
        ASSERT_LT(UnitError(kept.samples[(kept.first + kept.count - 1) % 16].rotation), 1e-12);
      } else {
        const double roll = Uniform(0.0, 1.0);
        const double dt = roll < 0.1 ? 0.0 : roll < 0.2 ? 0.1 : roll < 0.8 ? 1.0 / 90.0 : Uniform(0.0, 0.1);
        const double now = newest_ + (Chance(0.1) ? -Uniform(0.0, 0.02) : Uniform(0.0, 0.12));
        const std::optional<Vec3> headNow = Chance(0.1) ? std::nullopt : std::optional<Vec3>(head_ + Noise(0.01));
        const Vec3 headStep = Chance(0.3) ? Vec3{} : Noise(0.005);
        kept.Step(headNow, headStep, now, dt, s);
        if (kept.outputValid) {
          ASSERT_LT(UnitError(kept.smoothedRotation), 1e-12);
          ASSERT_LT(UnitError(kept.rotationCorrection), 1e-12);
          ASSERT_TRUE(std::isfinite(kept.smoothedPosition.x) && std::isfinite(kept.linearSpeed) &&
                      std::isfinite(kept.angularSpeed));
        }
      }
      if (kept.windowFit.current && kept.windowFit.sloped) ++fitted;
      // The kept fit against the direct evaluations, on a copy so that the stream's filter is not refitted:
      // a fit kept across an operation that changed the window shows here.
      if (kept.count > 0) {
        PoseFilter probe = kept;
        const FilterSettings q{true, 0.0, false};
        const double t = kept.samples[(kept.first + kept.count - 1) % 16].time + Uniform(-0.02, 0.08);
        ASSERT_TRUE(Same(kept.FitPosition(t, q), probe.CachedFitPosition(t, q)));
        ASSERT_TRUE(Same(kept.PredictPosition(t, q), probe.CachedPredictPosition(t, q)));
        ASSERT_TRUE(Same(kept.PredictRotation(t, q), probe.CachedPredictRotation(t, q)));
      }
    }
    EXPECT_GT(fitted, ops / 6) << "the stream must reach the kept fit often, or this test shows nothing";
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
  double time_ = 50.0, newest_ = 50.0;
  Vec3 position_{0.2, 1.0, -0.3}, velocity_, rotation_{0.3, -1.0, 0.2}, head_{0.0, 1.6, 0.0};
};

TEST(PoseFilterStream, KeptFitMatchesTheDirectFitAndTheFilterKeepsItsPromises) {
  for (const uint64_t seed : {11u, 12u, 13u}) Stream(seed).Run(20000, seed);
}

}  // namespace
}  // namespace vantrels
