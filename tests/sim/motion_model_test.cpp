#include <gtest/gtest.h>

#include <cmath>

#include "capture.h"
#include "motion_model.h"

namespace vantrels::sim {
namespace {

constexpr Motion kMotions[] = {Motion::Idle, Motion::Walk, Motion::Dance};

TEST(MotionModel, ParsesMotionNames) {
  EXPECT_EQ(ParseMotion("idle"), Motion::Idle);
  EXPECT_EQ(ParseMotion("walk"), Motion::Walk);
  EXPECT_EQ(ParseMotion("dance"), Motion::Dance);
  EXPECT_FALSE(ParseMotion("run").has_value());
  EXPECT_FALSE(ParseMotion("").has_value());
}

TEST(MotionModel, UnitRotationsAndPlausibleHeights) {
  for (Motion m : kMotions) {
    for (double t = 0.0; t < 20.0; t += 0.05) {
      const BodyPose b = SampleBody(m, t);
      SCOPED_TRACE(testing::Message() << "motion " << static_cast<int>(m) << " t " << t);
      for (const PointPose &p : b) {
        ASSERT_NEAR(Norm(p.rotation), 1.0, 1e-9);
        ASSERT_TRUE(std::isfinite(p.position.x) && std::isfinite(p.position.y) && std::isfinite(p.position.z));
      }
      ASSERT_GT(b[0].position.y, 1.45);  // eyes of a 1.75 m person
      ASSERT_LT(b[0].position.y, 1.75);
      for (int foot : {5, 6}) {
        ASSERT_GE(b[static_cast<size_t>(foot)].position.y, 0.0);
        ASSERT_LT(b[static_cast<size_t>(foot)].position.y, 0.35);
      }
      for (int knee : {3, 4}) {
        ASSERT_GT(b[static_cast<size_t>(knee)].position.y, 0.25);
        ASSERT_LT(b[static_cast<size_t>(knee)].position.y, 0.75);
      }
      // Top to bottom: head, neck, upper chest, chest, waist, hip.
      ASSERT_GT(b[0].position.y, b[9].position.y);
      ASSERT_GT(b[9].position.y, b[10].position.y);
      ASSERT_GT(b[10].position.y, b[1].position.y);
      ASSERT_GT(b[1].position.y, b[2].position.y);
      ASSERT_GT(b[2].position.y, b[11].position.y);
      ASSERT_GT(b[11].position.y, b[3].position.y);
    }
  }
}

TEST(MotionModel, RotationsFollowTheLimbs) {
  for (Motion m : kMotions) {
    for (double t = 0.0; t < 10.0; t += 0.37) {
      const BodyPose b = SampleBody(m, t);
      // The elbow carries the upper arm's rotation: its -y axis points from shoulder to elbow,
      // and the segment keeps its length.
      for (auto [shoulder, elbow] : {std::pair{12, 7}, std::pair{13, 8}}) {
        const Vec3 segment = b[static_cast<size_t>(elbow)].position - b[static_cast<size_t>(shoulder)].position;
        EXPECT_NEAR(Length(segment), 0.29, 1e-9);
        const Vec3 down = Rotate(b[static_cast<size_t>(elbow)].rotation, {0.0, -1.0, 0.0});
        EXPECT_NEAR(Dot(down, segment * (1.0 / Length(segment))), 1.0, 1e-9);
      }
      // The shin point sits on the shin below the knee, along the shin's -y axis.
      for (auto [knee, shin] : {std::pair{3, 18}, std::pair{4, 19}}) {
        const Vec3 segment = b[static_cast<size_t>(shin)].position - b[static_cast<size_t>(knee)].position;
        const Vec3 down = Rotate(b[static_cast<size_t>(shin)].rotation, {0.0, -1.0, 0.0});
        EXPECT_NEAR(Dot(down, segment * (1.0 / Length(segment))), 1.0, 1e-9);
      }
    }
  }
}

TEST(MotionModel, MovesContinuously) {
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
}

TEST(MotionModel, WalkGoesRoundIdleStays) {
  const Vec3 hips0 = SampleBody(Motion::Walk, 0.0)[11].position;
  const Vec3 hips3 = SampleBody(Motion::Walk, 3.0)[11].position;
  EXPECT_GT(Length(hips3 - hips0), 1.5);
  const Vec3 idle0 = SampleBody(Motion::Idle, 0.0)[11].position;
  const Vec3 idle3 = SampleBody(Motion::Idle, 3.0)[11].position;
  EXPECT_LT(Length(idle3 - idle0), 0.05);
  // The head turns while idling.
  EXPECT_GT(AngleBetween(SampleBody(Motion::Idle, 0.0)[0].rotation, SampleBody(Motion::Idle, 3.5)[0].rotation), 0.2);
}

TEST(Capture, BatteriesDrainChargeOrAreAbsent) {
  EXPECT_EQ(BatteryAt(kNoBatteryPoint, 0.0).percent, 255);
  EXPECT_EQ(BatteryAt(0, 5.0).percent, 255);
  const Battery charging0 = BatteryAt(kChargingPoint, 0.0);
  const Battery charging1 = BatteryAt(kChargingPoint, 60.0);
  EXPECT_TRUE(charging0.charging);
  EXPECT_GT(charging1.percent, charging0.percent);
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
  EXPECT_EQ(r[0].index, 0);
  EXPECT_FLOAT_EQ(r[0].headOffset[1], -0.08f);
  EXPECT_FLOAT_EQ(r[0].headOffset[2], 0.09f);
  EXPECT_EQ(r[1].headOffset[1], 0.0f);
  EXPECT_FALSE(r[1].headRelative);
  EXPECT_TRUE(r[2].headRelative);
  EXPECT_TRUE(r[3].valid);
  EXPECT_FLOAT_EQ(r[1].position[1], static_cast<float>(body[1].position.y));
  EXPECT_FLOAT_EQ(r[1].rotation[3], static_cast<float>(body[1].rotation.w));  // w last on the wire

  // Lost for 2 s around the middle of the run: [4 s, 6 s).
  EXPECT_TRUE(BuildRecords(config, body, 3.99)[3].valid);
  EXPECT_FALSE(BuildRecords(config, body, 4.0)[3].valid);
  EXPECT_FALSE(BuildRecords(config, body, 5.99)[3].valid);
  EXPECT_TRUE(BuildRecords(config, body, 6.0)[3].valid);
  EXPECT_TRUE(BuildRecords(config, body, 5.0)[1].valid) << "only the dropout point is lost";
  config.dropoutPoint = -1;
  EXPECT_TRUE(BuildRecords(config, body, 5.0)[3].valid);
}

TEST(Capture, BodyFollowsTheHeadset) {
  BodyPose body = SampleBody(Motion::Walk, 2.0);
  const Vec3 chestToEyes = body[0].position - body[1].position;
  const Quat headset = Normalized({0.9, 0.1, 0.3, 0.0});
  PlaceUnderHeadset(body, {3.0, 1.8, -2.0}, headset);
  EXPECT_NEAR(body[0].position.x, 3.0, 1e-12);
  EXPECT_NEAR(body[0].position.y, 1.8, 1e-12);
  EXPECT_NEAR(AngleBetween(body[0].rotation, headset), 0.0, 1e-9);
  EXPECT_NEAR(Length(body[0].position - body[1].position - chestToEyes), 0.0, 1e-12) << "the body moves as a whole";

  // Half way: half the distance, and the head rotation in between.
  BodyPose gliding = SampleBody(Motion::Walk, 2.0);
  const PointPose eyes = gliding[0];
  PlaceUnderHeadset(gliding, {3.0, 1.8, -2.0}, headset, 0.5);
  EXPECT_NEAR(Length(gliding[0].position - Lerp(eyes.position, {3.0, 1.8, -2.0}, 0.5)), 0.0, 1e-12);
  EXPECT_NEAR(AngleBetween(gliding[0].rotation, eyes.rotation), AngleBetween(gliding[0].rotation, headset), 1e-9);
  EXPECT_EQ(GlideWeight(-1.0), 0.0);
  EXPECT_EQ(GlideWeight(0.5), 0.5);
  EXPECT_EQ(GlideWeight(1.0), 1.0);
  EXPECT_EQ(GlideWeight(7.0), 1.0);
}

}  // namespace
}  // namespace vantrels::sim
