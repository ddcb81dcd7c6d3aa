// Properties of the filter over long pseudo-random streams (fixed seeds, so failures reproduce).
#include "pose/pose_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>

namespace vantrels {
namespace {

double QuatLength(const Quat &q) {
  return std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
}

// A tracker moving smoothly with sensor noise, sampled about every 11 ms with jitter, sometimes late,
// sometimes head-relative, under changing settings.
struct Stream {
  std::mt19937_64 rng;
  std::uniform_real_distribution<double> unit{-1.0, 1.0};
  double time = 10.0;
  Vec3 position{0.2, 1.0, -0.3};
  Vec3 velocity;
  Vec3 rotationVector;
  Vec3 head{0.0, 1.6, 0.0};

  explicit Stream(uint64_t seed) : rng(seed) {}
  double Uniform() { return unit(rng); }
  Vec3 Noise(double size) { return Vec3{Uniform(), Uniform(), Uniform()} * size; }

  void Advance(double dt) {
    time += dt;
    velocity = velocity * 0.9 + Noise(0.3);
    position = position + velocity * dt;
    rotationVector = rotationVector + Noise(0.05);
    head = head + Noise(0.002);
  }
  FilterSettings Settings() {
    return {Uniform() > -0.9, Uniform() > 0.0 ? 0.02 + 0.05 * (Uniform() + 1.0) : 0.0, Uniform() > 0.0};
  }
};

TEST(PoseFilterProperty, NewSampleDoesNotMoveOutputAtNow) {
  for (uint64_t seed : {1u, 2u, 3u}) {
    Stream s(seed);
    PoseFilter f;
    const FilterSettings settings{true, 0.05, true};
    bool headRelative = true;
    int restarts = 0;
    for (int i = 0; i < 3000; ++i) {
      s.Advance(0.011 + 0.004 * s.Uniform());
      const double sampleTime = s.Uniform() > 0.9 ? s.time - 0.02 : s.time;  // sometimes late
      const double now = s.time + 0.003 * (s.Uniform() + 1.0);
      if (s.Uniform() > 0.98) headRelative = !headRelative;
      const std::optional<Vec3> anchor = s.Uniform() > -0.95 ? std::optional<Vec3>(s.head) : std::nullopt;
      const Vec3 received = s.position + s.Noise(0.002);
      const int countBefore = f.count;
      const Vec3 pBefore = countBefore > 0 ? f.PredictPosition(now, settings) + f.positionCorrection : Vec3{};
      const Quat qBefore = countBefore > 0 ? Multiply(f.rotationCorrection, f.PredictRotation(now, settings)) : Quat{};
      const bool restart = countBefore > 0 && (Length(pBefore - received) > 0.5 ||
                                               f.samples[(f.first + countBefore - 1) % 16].time > sampleTime + 1.0);

      f.AddSample(received, FromRotationVector(s.rotationVector + s.Noise(0.01)), headRelative, anchor, sampleTime, now,
                  settings);

      if (restart) {
        ++restarts;
        ASSERT_EQ(1, f.count);
        ASSERT_EQ(0.0, Length(f.positionCorrection));
      } else if (countBefore > 0) {
        const Vec3 pAfter = f.PredictPosition(now, settings) + f.positionCorrection;
        ASSERT_NEAR(0.0, Length(pAfter - pBefore), 1e-9) << "seed " << seed << " sample " << i;
        const Quat qAfter = Multiply(f.rotationCorrection, f.PredictRotation(now, settings));
        const double angle = Length(ToRotationVector(Multiply(qAfter, Conjugate(qBefore))));
        ASSERT_NEAR(0.0, angle, 1e-9) << "seed " << seed << " sample " << i;
      }
      f.Step(anchor, s.Noise(0.001), now, 0.011, settings);
    }
    // Mostly continuous motion: restarts only where the head-relative reading changes.
    EXPECT_LT(restarts, 100) << "seed " << seed;
  }
}

TEST(PoseFilterProperty, OutputRotationsAreUnitLength) {
  Stream s(42);
  PoseFilter f;
  for (int i = 0; i < 5000; ++i) {
    const FilterSettings settings = s.Settings();
    s.Advance(0.011 + 0.006 * s.Uniform());
    if (s.Uniform() > 0.98) s.rotationVector = s.Noise(3.0);  // sudden turn
    const Quat received = FromRotationVector(s.rotationVector);
    // The server's rotations are only roughly normalised.
    const Quat sloppy{received.w * 1.01, received.x, received.y, received.z * 0.99};
    f.AddSample(s.position, sloppy, s.Uniform() > 0.0, s.head, s.time, s.time + 0.002, settings);
    ASSERT_NEAR(1.0, QuatLength(f.PredictRotation(s.time + 0.03, settings)), 1e-12);
    for (int frame = 0; frame < 2; ++frame) {
      const double dt = s.Uniform() > 0.9 ? 0.0 : 0.0055;
      f.Step(s.Uniform() > 0.5 ? std::optional<Vec3>(s.head) : std::nullopt, {}, s.time + 0.005 * frame, dt, settings);
      ASSERT_TRUE(f.outputValid);
      ASSERT_NEAR(1.0, QuatLength(f.smoothedRotation), 1e-12) << i;
      ASSERT_NEAR(1.0, QuatLength(f.rotationCorrection), 1e-12) << i;
      ASSERT_TRUE(std::isfinite(f.smoothedPosition.x) && std::isfinite(f.linearSpeed) && std::isfinite(f.angularSpeed));
    }
    if (s.Uniform() > 0.995) f.ResetFilter();
  }
}

}  // namespace
}  // namespace vantrels
