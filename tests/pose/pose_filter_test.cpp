#include "pose/pose_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "pose_expect.h"

namespace vantrels {
namespace {

constexpr double kEps = 1e-9;
const FilterSettings kPredict{true, 0.0, false};
const FilterSettings kNoPredict{false, 0.0, false};
const std::nullopt_t kNoHead = std::nullopt;

void ExpectVecNear(const Vec3 &expected, const Vec3 &actual, double eps = kEps) {
  testing::ExpectVecNear(expected, actual, eps);
}
using testing::Yaw;

// Adds a sample with an identity rotation whose time is also the present moment.
void Add(PoseFilter &f, const Vec3 &p, double t, const FilterSettings &s = kPredict) {
  f.AddSample(p, Quat{}, false, kNoHead, t, t, s);
}

const PoseSample &Oldest(const PoseFilter &f) {
  return f.samples[f.first];
}

TEST(PoseFilter, OneSampleOrNoPredictionGivesNewestSample) {
  PoseFilter f;
  f.AddSample({1, 2, 3}, {2, 0, 0, 0}, true, Vec3{0.5, 0.5, 0.5}, 1.0, 1.0, kPredict);
  ExpectVecNear({1, 2, 3}, f.PredictPosition(7.0, kPredict));
  ExpectVecNear({0.5, 1.5, 2.5}, f.FitPosition(7.0, kPredict));
  EXPECT_EQ(1.0, f.PredictRotation(7.0, kPredict).w);  // stored normalised

  f.AddSample({1.1, 2, 3}, Yaw(0.1), true, Vec3{0.5, 0.5, 0.5}, 1.01, 1.01, kPredict);
  ExpectVecNear({1.1, 2, 3}, f.PredictPosition(1.05, kNoPredict));
  EXPECT_DOUBLE_EQ(Yaw(0.1).y, f.PredictRotation(1.05, kNoPredict).y);
  ExpectVecNear({1.5, 2, 3}, f.PredictPosition(1.05, kPredict));  // 10 m/s carried on for 40 ms
}

TEST(PoseFilter, ExtrapolatesLinearMotionAtMost50MsPastNewest) {
  PoseFilter f;
  for (int i = 0; i < 4; ++i) {
    const double t = 0.01 * i;
    f.AddSample({t, -2 * t, 1}, Yaw(t), false, kNoHead, t, t, kPredict);
  }
  ExpectVecNear({0.04, -0.08, 1}, f.PredictPosition(0.04, kPredict));
  EXPECT_NEAR(Yaw(0.045).y, f.PredictRotation(0.045, kPredict).y, kEps);
  // 80 ms after the newest sample the line is evaluated at 50 ms.
  ExpectVecNear({0.08, -0.16, 1}, f.PredictPosition(0.11, kPredict));
  EXPECT_NEAR(Yaw(0.08).y, f.PredictRotation(0.11, kPredict).y, kEps);
}

TEST(PoseFilter, TinyTimeSpreadFallsBackToNewest) {
  PoseFilter f;
  Add(f, {0, 0, 0}, 1.0);
  Add(f, {0.01, 0, 0}, 1.0001);  // Stt = 5e-9
  EXPECT_EQ(2, f.count);
  ExpectVecNear({0.01, 0, 0}, f.FitPosition(1.05, kPredict), 0.0);
  PoseFilter g;
  Add(g, {0, 0, 0}, 1.0);
  Add(g, {0.01, 0, 0}, 1.0002);  // Stt = 2e-8: fitted
  EXPECT_GT(g.FitPosition(1.05, kPredict).x, 0.1);
}

TEST(PoseFilter, LateSampleReplacesNewestAndVeryOldOneRestarts) {
  PoseFilter f;
  Add(f, {0, 0, 0}, 5.0);
  Add(f, {0.01, 0, 0}, 5.01);
  f.AddSample({0.02, 0, 0}, Quat{}, false, kNoHead, 5.005, 5.01, kPredict);  // earlier than the newest
  EXPECT_EQ(2, f.count);
  EXPECT_EQ(5.005, f.samples[(f.first + 1) % 16].time);
  Add(f, {0.02, 0, 0}, 5.005);  // equal time
  EXPECT_EQ(2, f.count);

  f.AddSample({0.02, 0, 0}, Quat{}, false, kNoHead, 4.0, 5.01, kPredict);  // 1.005 s older
  EXPECT_EQ(1, f.count);
  EXPECT_EQ(4.0, f.samples[f.first].time);
  ExpectVecNear({0, 0, 0}, f.positionCorrection, 0.0);
}

// The window keeps the samples of the last 40 ms, never fewer than two, at most 16.
TEST(PoseFilter, WindowKeepsFortyMillisecondsAtLeastTwoAtMostSixteen) {
  PoseFilter f;
  for (int i = 0; i < 17; ++i) Add(f, {0.001 * i, 0, 0}, 0.002 * i);
  EXPECT_EQ(16, f.count);
  EXPECT_EQ(0.002, Oldest(f).time);
  // At 45 ms the 16th entry is dropped again before the trim, which then takes the sample at 4 ms.
  Add(f, {0.022, 0, 0}, 0.045);
  EXPECT_DOUBLE_EQ(0.006, Oldest(f).time);
  EXPECT_EQ(15, f.count);

  PoseFilter h;
  Add(h, {0, 0, 0}, 0.0);
  Add(h, {0.01, 0, 0}, 0.1);
  EXPECT_EQ(2, h.count);
  Add(h, {0.02, 0, 0}, 0.2);
  EXPECT_EQ(2, h.count);
  EXPECT_EQ(0.1, Oldest(h).time);
  // A sample exactly 40 ms old stays.
  PoseFilter g;
  for (double t : {0.0, 0.02, 0.04}) Add(g, {t, 0, 0}, t);
  EXPECT_EQ(3, g.count);
}

TEST(PoseFilter, FarSampleRestartsNearSampleIsCarriedByCorrection) {
  PoseFilter far;
  Add(far, {0, 0, 0}, 0.0);
  Add(far, {0.6, 0, 0}, 0.011);
  EXPECT_EQ(1, far.count);
  ExpectVecNear({0, 0, 0}, far.positionCorrection, 0.0);

  PoseFilter f;
  Add(f, {0, 0, 0}, 0.0);
  f.Step(kNoHead, {}, 0.0, 0.011, kPredict);
  f.AddSample({0.4, 0, 0}, Yaw(0.3), false, kNoHead, 0.011, 0.011, kPredict);
  EXPECT_EQ(2, f.count);
  // The output at now does not move: the whole jump is in the corrections.
  ExpectVecNear({0, 0, 0}, f.PredictPosition(0.011, kPredict) + f.positionCorrection);
  EXPECT_NEAR(0.0, Multiply(f.rotationCorrection, f.PredictRotation(0.011, kPredict)).y, kEps);
  const double before = f.positionCorrection.x;
  EXPECT_NEAR(-0.4, before, kEps);
  f.Step(kNoHead, {}, 0.011, 0.011, kPredict);
  EXPECT_NEAR(before * std::exp(-0.55), f.positionCorrection.x, kEps);
  EXPECT_NEAR(-0.3 * std::exp(-0.55), 2.0 * std::asin(f.rotationCorrection.y), kEps);
  // With prediction off the next frame drops the corrections.
  f.Step(kNoHead, {}, 0.011, 0.011, kNoPredict);
  ExpectVecNear({0, 0, 0}, f.positionCorrection, 0.0);
  EXPECT_EQ(1.0, f.rotationCorrection.w);
}

// A head-relative point 10 cm further and a head 5 cm higher: no restart, the jump is carried by the
// corrections, and each frame's output is the line at now, plus the decayed corrections, plus the head
// point (the headset's now, else the newest sample's anchor).
TEST(PoseFilter, OutputIsTheLinePlusTheCorrectionsPlusTheHeadPoint) {
  PoseFilter f;
  f.AddSample({0, 1.2, 0}, Quat{}, true, Vec3{0, 1.6, 0}, 0.0, 0.0, kPredict);
  f.Step(Vec3{0, 1.6, 0}, {}, 0.0, 0.011, kPredict);
  f.AddSample({0.1, 1.25, 0}, Yaw(0.2), true, Vec3{0, 1.65, 0}, 0.011, 0.011, kPredict);
  ASSERT_EQ(2, f.count);
  ExpectVecNear({-0.1, -0.05, 0}, f.positionCorrection);
  const double k = std::exp(-0.55);
  // Relative x runs 0, 0.1 (10 m/s) to 0.2 at 22 ms; the rotation runs on to 0.4 and carries -0.2 k.
  f.Step(Vec3{0.02, 1.7, 0}, {}, 0.022, 0.011, kPredict);
  ExpectVecNear({0.2 - 0.1 * k + 0.02, -0.4 - 0.05 * k + 1.7, 0}, f.smoothedPosition);
  EXPECT_NEAR(Yaw(0.4 - 0.2 * k).y, f.smoothedRotation.y, kEps);
  f.Step(kNoHead, {}, 0.022, 0.011, kPredict);
  ExpectVecNear({0.2 - 0.1 * k * k, -0.4 - 0.05 * k * k + 1.65, 0}, f.smoothedPosition);
}

TEST(PoseFilter, ZeroFrameIntervalKeepsCorrectionsAndSpeeds) {
  const FilterSettings smooth{true, 0.05, true};
  PoseFilter f;
  f.AddSample({0, 0, 0}, Quat{}, true, Vec3{0, 1.6, 0}, 0.0, 0.0, smooth);
  f.Step(Vec3{0, 1.6, 0}, {}, 0.0, 0.011, smooth);
  f.AddSample({0.1, 0, 0}, Quat{}, true, Vec3{0, 1.6, 0}, 0.011, 0.011, smooth);
  f.Step(Vec3{0, 1.6, 0}, {}, 0.011, 0.011, smooth);
  const PoseFilter before = f;
  f.Step(Vec3{0, 1.7, 0}, {0, 0.1, 0}, 0.011, 0.0, smooth);
  ExpectVecNear(before.positionCorrection, f.positionCorrection, 0.0);
  EXPECT_EQ(before.linearSpeed, f.linearSpeed);
  EXPECT_EQ(before.angularSpeed, f.angularSpeed);
  ExpectVecNear(before.smoothedPosition + Vec3{0, 0.1, 0}, f.smoothedPosition);
}

TEST(PoseFilter, WithoutSmoothingOutputIsUnsmoothedPose) {
  PoseFilter f;
  for (int i = 0; i < 15; ++i) {
    const double t = 0.011 * i;
    f.AddSample({t, 0, 0}, Yaw(3 * t), false, kNoHead, t, t, kPredict);
    f.Step(kNoHead, {}, t + 0.005, 0.011, kPredict);
    ExpectVecNear(f.lastPosition, f.smoothedPosition, 0.0);
    EXPECT_EQ(f.lastRotation.y, f.smoothedRotation.y);
  }
  EXPECT_NEAR(1.0, f.linearSpeed, 0.1);
  EXPECT_NEAR(3.0, f.angularSpeed, 0.3);
}

// Without prediction the unsmoothed output is the newest sample, so the smoother shows by itself.
TEST(PoseFilter, SmoothingFollowsAndAJumpOverHalfAMetreReinitialises) {
  const FilterSettings smooth{false, 0.05, false};
  PoseFilter f;
  Add(f, {0.2, 0, 0}, 0.0, smooth);
  f.Step(kNoHead, {}, 0.0, 0.011, smooth);
  Add(f, {0.5, 0, 0}, 0.011, smooth);
  f.Step(kNoHead, {}, 0.011, 0.011, smooth);
  const double smoothed = 0.2 + 0.3 * SmoothingAlpha(0.011, 0.05);
  EXPECT_NEAR(smoothed, f.smoothedPosition.x, kEps);
  Add(f, {smoothed + 0.51, 0, 0}, 0.022, smooth);
  f.Step(kNoHead, {}, 0.022, 0.011, smooth);
  ExpectVecNear({smoothed + 0.51, 0, 0}, f.smoothedPosition, 0.0);
}

TEST(PoseFilter, AdaptiveSmoothingShortensTheTimeConstantsWithSpeed) {
  const FilterSettings adaptive{false, 0.05, true};
  PoseFilter f;
  Add(f, {0, 0, 0}, 0.0, adaptive);
  f.Step(kNoHead, {}, 0.0, 0.011, adaptive);
  f.AddSample({0.1, 0, 0}, Yaw(0.2), false, kNoHead, 0.011, 0.011, adaptive);
  f.Step(kNoHead, {}, 0.011, 0.011, adaptive);
  const double a = SmoothingAlpha(0.011, 0.03);
  EXPECT_NEAR(0.1 / 0.011 * a, f.linearSpeed, kEps);
  EXPECT_NEAR(0.2 / 0.011 * a, f.angularSpeed, kEps);
  const double tauP = AdaptiveTimeConstant(0.05, f.linearSpeed, 20.0);
  const double tauQ = AdaptiveTimeConstant(0.05, f.angularSpeed, 10.0);
  EXPECT_NEAR(0.1 * SmoothingAlpha(0.011, tauP), f.smoothedPosition.x, kEps);
  EXPECT_NEAR(Slerp(Quat{}, Yaw(0.2), SmoothingAlpha(0.011, tauQ)).y, f.smoothedRotation.y, kEps);
}

TEST(PoseFilter, FlagSwitchRereadsWholeWindow) {
  const Vec3 head{0, 1, 0};
  PoseFilter f;
  f.AddSample({0, 1, 0}, Quat{}, true, head, 0.0, 0.0, kPredict);
  f.AddSample({0.01, 1, 0}, Quat{}, true, head, 0.01, 0.01, kPredict);
  ExpectVecNear({0.01, 0, 0}, f.FitPosition(0.01, kPredict));
  // Flag clear: every stored position counts absolute; the anchor is still stored when given.
  f.AddSample({0.02, 1, 0}, Quat{}, false, head, 0.02, 0.02, kPredict);
  EXPECT_FALSE(f.headRelative);
  ExpectVecNear({0.02, 1, 0}, f.FitPosition(0.02, kPredict));
  ExpectVecNear(head, f.samples[(f.first + 2) % 16].headAnchor, 0.0);
  // The flag without an anchor does not make a sample head-relative either.
  f.AddSample({0.03, 1, 0}, Quat{}, true, kNoHead, 0.03, 0.03, kPredict);
  EXPECT_FALSE(f.headRelative);
  // Head-relative again: the anchors are applied again, and the sample stored without one stays absolute
  // (y of 0, 0, 0, 1, 0 fits to 0.4 at the newest time).
  f.AddSample({0.04, 1, 0}, Quat{}, true, head, 0.04, 0.04, kPredict);
  EXPECT_TRUE(f.headRelative);
  ExpectVecNear({0.04, 0.4, 0}, f.FitPosition(0.04, kPredict));
}

}  // namespace
}  // namespace vantrels
