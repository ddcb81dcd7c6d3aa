#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "support/provider_harness.h"
#include "trackers/tracker_device.h"

namespace vantrels {
namespace {

using testing::MessageFor;
using testing::Poses;
using testing::ProviderHarness;
using testing::Record;

Poses Stamped(uint32_t stampUs, std::initializer_list<uint8_t> indices = {1}) {
  Poses m = MessageFor(indices);
  m.serverTimeUs = stampUs;
  return m;
}

constexpr double kFrameSeconds = static_cast<double>(testing::kFrameNs) / 1e9;

double Now(const ProviderHarness &h) {
  return static_cast<double>(h.t - h.provider.startTime) / 1e9;
}

class TimeBase : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(h.Init(), vr::VRInitError_None); }
  void TearDown() override { h.Cleanup(); }
  void Message(const Poses &m) {
    h.Send(m);
    h.Frame();
  }
  ProviderHarness h;
};

// Each stamp, the time since the previous frame, and how far serverTime moves (none: a new time base
// at now, with the smallest delay back at 0 before the frame's creep).
TEST_F(TimeBase, FollowsTheServerClockWrapsAndRestarts) {
  const struct {
    uint32_t stamp;
    int64_t afterNs;
    std::optional<double> step;
  } steps[] = {
      {5'000'000, testing::kFrameNs, std::nullopt},
      {5'250'000, testing::kFrameNs, 0.25},
      {4'250'000, testing::kFrameNs, -1.0},          // back by exactly one second: still followed
      {3'249'999, testing::kFrameNs, std::nullopt},  // back by 1,000,001 us: a new time base
      {4'294'967'295u, testing::kFrameNs, std::nullopt},
      {0, testing::kFrameNs, 1e-6},  // wraps around as one microsecond
      // After 4,295 s the 32-bit stamp may have wrapped and read as a small step: a new time base.
      {32'704, 4'295'000'000'000, std::nullopt},
      {33'204, 1'999'000'000'000, 0.0005},  // a gap below the limit is still followed
  };
  const ServerClock &c = h.provider.serverClock;
  bool first = true;  // the first frame has no interval, so no creep
  for (const auto &step : steps) {
    const double before = c.serverTime;
    h.Send(Stamped(step.stamp));
    h.Frame(step.afterNs);
    EXPECT_TRUE(c.hasStamp);
    EXPECT_EQ(c.lastStampUs, step.stamp);
    if (step.step) {
      EXPECT_DOUBLE_EQ(c.serverTime, before + *step.step) << step.stamp;
    } else {
      EXPECT_EQ(c.serverTime, Now(h)) << step.stamp;
      const double creep = first ? 0.0 : std::min(static_cast<double>(step.afterNs) / 1e9, 0.1) * 0.001;
      EXPECT_DOUBLE_EQ(c.minDelay, creep) << step.stamp;
    }
    first = false;
  }
}

// The next message claims to be 50 ms later but arrives one frame (11.1 ms) later: the first one had
// 38.9 ms more transit delay, so the delay to subtract falls below zero; each frame then raises it by a
// thousandth of the frame interval. A version 3 message drops the stamp and switches prediction off.
TEST_F(TimeBase, SmallestDelayFollowsTheFastestMessageAndOlderVersionsDropTheStamp) {
  Message(Stamped(1'000'000));
  EXPECT_EQ(h.provider.serverClock.minDelay, 0.0);
  Message(Stamped(1'050'000));
  EXPECT_NEAR(h.provider.serverClock.minDelay, kFrameSeconds * 0.001 + (kFrameSeconds - 0.05), 1e-9);
  const double afterMessage = h.provider.serverClock.minDelay;
  h.Frame();
  EXPECT_NEAR(h.provider.serverClock.minDelay, afterMessage + kFrameSeconds * 0.001, 1e-12);
  EXPECT_TRUE(h.provider.settings.prediction);
  Poses v3 = MessageFor({1}, 3);
  v3.smoothingMs = 30;
  Message(v3);
  EXPECT_FALSE(h.provider.serverClock.hasStamp);
  EXPECT_DOUBLE_EQ(h.provider.serverClock.minDelay, kFrameSeconds * 0.001);
  EXPECT_FALSE(h.provider.settings.prediction);
  EXPECT_DOUBLE_EQ(h.provider.settings.smoothingSeconds, 0.03);
  Message(Stamped(77));  // the next stamped message starts a new time base
  EXPECT_EQ(h.provider.serverClock.serverTime, Now(h));
}

Record Head(float x, float y, float z, bool valid = true) {
  Record r;
  r.index = 0;
  r.flags = valid ? 0x01 : 0x00;
  r.position[0] = x;
  r.position[1] = y;
  r.position[2] = z;
  r.headOffset[1] = -0.1f;
  r.headOffset[2] = 0.05f;
  return r;
}

TEST_F(TimeBase, HeadRecordSetsTheOffsetOnlyWhenValidAndUsable) {
  Poses m = MessageFor({}, 3);  // from version 3 on, the head record counts
  m.records = {Head(0, 1.7f, 0)};
  Message(m);
  EXPECT_TRUE(h.provider.haveHeadOffset);
  EXPECT_DOUBLE_EQ(h.provider.headOffset.y, static_cast<double>(-0.1f));

  // Not valid, not usable (one broken head record must not poison the offset for the rest of the
  // session), or from version 2, which carries no head anchor: the offset stays.
  for (int kind = 0; kind < 5; ++kind) {
    Poses other = MessageFor({}, kind == 4 ? 2 : 3);
    Record r = Head(0, 1.7f, 0, kind != 0);
    r.headOffset[1] = -0.3f;
    if (kind == 1) r.position[0] = NAN;
    if (kind == 2) r.headOffset[2] = INFINITY;
    if (kind == 3) r.rotation[3] = 0.0f;  // squared norm below 1e-6
    other.records = {r};
    Message(other);
    EXPECT_DOUBLE_EQ(h.provider.headOffset.y, static_cast<double>(-0.1f)) << kind;
  }
}

vr::TrackedDevicePose_t Headset(float x, float y, float z) {
  return testing::LivePose(x, y, z);
}

// A head-relative chest with no smoothing follows the headset: its submitted position is the head point
// now plus where it was relative to the head point of its message. A turning headset carries the head
// point around: the offset turns with it, and the point's velocity is the headset's plus the turn's
// (angular velocity × turned offset). The record's own rotation reaches the host as sent, w, x, y, z.
TEST_F(TimeBase, HeadRelativeTrackerFollowsATurningHeadsetAndKeepsItsOwnRotation) {
  Poses m = MessageFor({1}, 4);
  m.flags = 0x00;  // prediction off: the pose is the sample itself
  Record &chest = m.records[0];
  chest.flags = 0x05;
  chest.position[0] = 0.1f, chest.position[1] = 1.2f, chest.position[2] = 0.3f;  // 0.1, -0.4, 0.25 from the head
  chest.rotation[0] = 0.1f, chest.rotation[1] = 0.2f, chest.rotation[2] = 0.3f, chest.rotation[3] = std::sqrt(0.86f);
  m.records.insert(m.records.begin(), Head(0, 1.7f, 0));
  h.host.SetRawPose(0, Headset(0, 1.7f, 0));
  h.Frame();
  EXPECT_FALSE(h.provider.havePrevHeadNow);  // no head offset received yet
  Message(m);
  auto expect = [&](const double(&position)[3], const double(&velocity)[3], int what) {
    const vr::DriverPose_t pose = h.PosesOf(h.provider.trackerSlots[1]->deviceIndex).back().pose;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(pose.vecPosition[i], position[i], 1e-6) << what << " " << i;
      EXPECT_NEAR(pose.vecVelocity[i], velocity[i], 1e-6) << what << " " << i;
    }
    const double rotation[4] = {pose.qRotation.w, pose.qRotation.x, pose.qRotation.y, pose.qRotation.z};
    EXPECT_TRUE(std::abs(rotation[0] - std::sqrt(0.86)) < 1e-6 && std::abs(rotation[1] - 0.1) < 1e-6 &&
                std::abs(rotation[2] - 0.2) < 1e-6 && std::abs(rotation[3] - 0.3) < 1e-6)
        << what;
  };
  expect({0.1, 1.2, 0.3}, {0, 0, 0}, -1);

  vr::TrackedDevicePose_t turned = Headset(0.3f, 1.7f, -0.2f);
  const float yaw90[3][3] = {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}};  // x to -z, z to x
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) turned.mDeviceToAbsoluteTracking.m[row][col] = yaw90[row][col];
  turned.vVelocity.v[0] = 0.5f;
  turned.vAngularVelocity.v[1] = 2.0f;
  h.host.SetRawPose(0, turned);
  h.Frame();
  // The offset 0, -0.1, 0.05 turned is 0.05, -0.1, 0: the head point is at 0.35, 1.6, -0.2.
  expect({0.45, 1.2, 0.05}, {0.5, 0.0, -0.1}, -2);

  // A headset that is disconnected, or whose pose has a non-finite number anywhere (a huge rotation
  // overflows into one), counts as absent: the tracker falls back to the head point of its message.
  for (int field = 0; field < 10; ++field) {
    vr::TrackedDevicePose_t broken = turned;
    auto &t = broken.mDeviceToAbsoluteTracking.m;
    auto &v = broken.vVelocity.v;
    auto &w = broken.vAngularVelocity.v;
    float *numbers[] = {&t[1][3], &t[0][1], &t[2][2], &t[1][0], &v[0], &v[2], &w[0], &w[1], &w[2]};
    if (field == 0) broken.bDeviceIsConnected = false;
    if (field > 0) *numbers[field - 1] = field == 4 ? 3e38f : field % 2 ? NAN : INFINITY;
    if (field == 4) t[0][1] = -3e38f;
    h.host.SetRawPose(0, broken);
    h.Frame();
    expect({0.1, 1.2, 0.3}, {0, 0, 0}, field);
    EXPECT_FALSE(h.provider.havePrevHeadNow) << field;
  }

  // The first frame after the headset returns has no step to carry; the head point is the offset away.
  h.host.SetRawPose(0, Headset(0.2f, 1.7f, 0));
  h.Frame();
  EXPECT_TRUE(h.provider.havePrevHeadNow);
  EXPECT_NEAR(h.provider.prevHeadNow.x, 0.2, 1e-6);
  EXPECT_NEAR(h.provider.prevHeadNow.y, 1.6, 1e-6);
}

// The head's own movement passes through the smoothing at once; the rest is smoothed. The head point
// starts away from the origin on every axis, so the step is a difference of two points.
TEST_F(TimeBase, HeadStepPassesThroughTheSmoothing) {
  Poses m = MessageFor({1}, 4);
  m.flags = 0x00;
  m.smoothingMs = 50;
  m.records[0].flags = 0x05;
  m.records.insert(m.records.begin(), Head(0.5f, 1.7f, -0.4f));
  h.host.SetRawPose(0, Headset(0.5f, 1.7f, -0.4f));
  Message(m);
  h.Frame();
  h.host.SetRawPose(0, Headset(0.75f, 1.8f, -0.275f));
  h.Frame();
  const auto poses = h.PosesOf(h.provider.trackerSlots[1]->deviceIndex);
  const double step[3] = {0.25, 0.1, 0.125};
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(poses.back().pose.vecPosition[i], poses[poses.size() - 2].pose.vecPosition[i] + step[i], 1e-6) << i;
}

}  // namespace
}  // namespace vantrels
