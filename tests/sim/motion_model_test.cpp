#include <gtest/gtest.h>

#include <cmath>

#include "capture.h"
#include "motion_model.h"

namespace vantrels::sim {
namespace {

constexpr Motion kMotions[] = {Motion::Idle, Motion::Walk, Motion::Dance};

TEST(MotionModel, UnitRotationsPlausibleHeightsAndLimbs) {
  for (Motion m : kMotions) {
    for (double t = 0.0; t < 20.0; t += 0.05) {
      const BodyPose b = SampleBody(m, t);
      SCOPED_TRACE(testing::Message() << "motion " << static_cast<int>(m) << " t " << t);
      const auto y = [&b](size_t point) { return b[point].position.y; };
      for (const PointPose &p : b) {
        ASSERT_NEAR(Norm(p.rotation), 1.0, 1e-9);
        ASSERT_TRUE(std::isfinite(p.position.x) && std::isfinite(p.position.y) && std::isfinite(p.position.z));
      }
      ASSERT_GT(y(0), 1.45);  // eyes of a 1.75 m person
      ASSERT_LT(y(0), 1.75);
      for (size_t foot : {5, 6}) ASSERT_TRUE(y(foot) >= 0.0 && y(foot) < 0.35) << foot;
      for (size_t knee : {3, 4}) ASSERT_TRUE(y(knee) > 0.25 && y(knee) < 0.75) << knee;
      // Top to bottom: head, neck, upper chest, chest, waist, hip.
      for (auto [upper, lower] : {std::pair{0, 9}, {9, 10}, {10, 1}, {1, 2}, {2, 11}, {11, 3}}) {
        ASSERT_GT(y(static_cast<size_t>(upper)), y(static_cast<size_t>(lower))) << upper;
      }
      // The elbow and the shin point carry their segment's rotation: the -y axis points along
      // the segment; the upper arm keeps its length.
      for (auto [from, to] : {std::pair{12, 7}, {13, 8}, {3, 18}, {4, 19}}) {
        const Vec3 segment = b[static_cast<size_t>(to)].position - b[static_cast<size_t>(from)].position;
        if (to < 18) {
          ASSERT_NEAR(Length(segment), 0.29, 1e-9);
        }
        const Vec3 down = Rotate(b[static_cast<size_t>(to)].rotation, {0.0, -1.0, 0.0});
        ASSERT_NEAR(Dot(down, segment * (1.0 / Length(segment))), 1.0, 1e-9) << to;
      }
    }
  }
}

TEST(MotionModel, MovesContinuouslyWalkGoesRoundIdleStays) {
  for (Motion m : kMotions) {
    BodyPose previous = SampleBody(m, 0.0);
    for (double t = 0.001; t < 17.0; t += 0.001) {
      const BodyPose b = SampleBody(m, t);
      for (size_t i = 0; i < b.size(); ++i) {
        // Below 10 m/s and 20 rad/s: no jumps, also across the dance's turns.
        ASSERT_LT(Length(b[i].position - previous[i].position), 0.010) << "point " << i << " t " << t;
        ASSERT_LT(AngleBetween(b[i].rotation, previous[i].rotation), 0.020) << "point " << i << " t " << t;
      }
      previous = b;
    }
  }
  const auto hips = [](Motion m, double t) { return SampleBody(m, t)[11].position; };
  EXPECT_GT(Length(hips(Motion::Walk, 3.0) - hips(Motion::Walk, 0.0)), 1.5);
  EXPECT_LT(Length(hips(Motion::Idle, 3.0) - hips(Motion::Idle, 0.0)), 0.05);
  // The head turns while idling.
  EXPECT_GT(AngleBetween(SampleBody(Motion::Idle, 0.0)[0].rotation, SampleBody(Motion::Idle, 3.5)[0].rotation), 0.2);
}

TEST(Capture, BatteriesDrainChargeOrAreAbsent) {
  EXPECT_EQ(BatteryAt(kNoBatteryPoint, 0.0).percent, 255);
  EXPECT_EQ(BatteryAt(0, 5.0).percent, 255);
  EXPECT_TRUE(BatteryAt(kChargingPoint, 0.0).charging);
  EXPECT_GT(BatteryAt(kChargingPoint, 60.0).percent, BatteryAt(kChargingPoint, 0.0).percent);
  EXPECT_LE(BatteryAt(kChargingPoint, 1e6).percent, 100);
  for (uint8_t i = 3; i < kPointCount; ++i) {
    const Battery b0 = BatteryAt(i, 0.0);
    EXPECT_FALSE(b0.charging);
    EXPECT_LE(b0.percent, 100);
    EXPECT_LT(BatteryAt(i, 100.0).percent, b0.percent) << "point " << static_cast<int>(i);
    EXPECT_EQ(BatteryAt(i, 1e6).percent, 0);
  }
}

TEST(Capture, RecordsCarryFlagsHeadOffsetAndDropout) {
  CaptureConfig config;
  config.points = {0, 1, 9, 16};
  config.headRelative = {9};
  config.runSeconds = 10.0;
  config.dropoutPoint = 16;
  config.dropoutSeconds = 2.0;
  const BodyPose body = SampleBody(Motion::Idle, 1.0);
  std::vector<PointRecord> r = BuildRecords(config, body, 1.0);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_FLOAT_EQ(r[0].headOffset[1], -0.08f);
  EXPECT_FLOAT_EQ(r[0].headOffset[2], 0.09f);
  EXPECT_EQ(r[1].headOffset[1], 0.0f);
  EXPECT_FALSE(r[1].headRelative);
  EXPECT_TRUE(r[2].headRelative);
  EXPECT_FLOAT_EQ(r[1].position[1], static_cast<float>(body[1].position.y));
  EXPECT_FLOAT_EQ(r[1].rotation[3], static_cast<float>(body[1].rotation.w));  // w last on the wire

  // Lost for 2 s around the middle of the run: [4 s, 6 s).
  for (auto [t, valid] : {std::pair{1.0, true}, {3.99, true}, {4.0, false}, {5.99, false}, {6.0, true}}) {
    EXPECT_EQ(BuildRecords(config, body, t)[3].valid, valid) << t;
  }
  EXPECT_TRUE(BuildRecords(config, body, 5.0)[1].valid) << "only the dropout point is lost";
  config.dropoutPoint = -1;
  EXPECT_TRUE(BuildRecords(config, body, 5.0)[3].valid);
}

TEST(Capture, BodyFollowsTheHeadset) {
  BodyPose body = SampleBody(Motion::Walk, 2.0);
  const BodyPose start = body;
  const Vec3 chestToEyes = body[0].position - body[1].position;
  const Quat headset = Normalized({0.9, 0.1, 0.3, 0.0});
  const Vec3 target{3.0, 1.8, -2.0};
  PlaceUnderHeadset(body, target, headset);
  EXPECT_NEAR(Length(body[0].position - target), 0.0, 1e-12);
  EXPECT_NEAR(AngleBetween(body[0].rotation, headset), 0.0, 1e-9);
  EXPECT_NEAR(Length(body[0].position - body[1].position - chestToEyes), 0.0, 1e-12) << "the body moves as a whole";

  // Half way: half the distance, and the head rotation in between.
  BodyPose gliding = start;
  PlaceUnderHeadset(gliding, target, headset, 0.5);
  EXPECT_NEAR(Length(gliding[0].position - Lerp(start[0].position, target, 0.5)), 0.0, 1e-12);
  EXPECT_NEAR(AngleBetween(gliding[0].rotation, start[0].rotation), AngleBetween(gliding[0].rotation, headset), 1e-9);
  EXPECT_EQ(GlideWeight(-1.0), 0.0);  // the glide neither starts early nor overshoots
  EXPECT_EQ(GlideWeight(7.0), 1.0);
}

}  // namespace
}  // namespace vantrels::sim
