#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

TEST_F(TimeBase, FollowsTheServerClockAndRestartsWhenItGoesBackMoreThanASecond) {
  Message(Stamped(5'000'000));
  const ServerClock &c = h.provider.serverClock;
  EXPECT_TRUE(c.hasStamp);
  EXPECT_EQ(c.serverTime, Now(h));
  const double first = c.serverTime;

  Message(Stamped(5'250'000));
  EXPECT_DOUBLE_EQ(c.serverTime, first + 0.25);

  Message(Stamped(4'250'000));  // back by exactly one second: still followed
  EXPECT_DOUBLE_EQ(c.serverTime, first - 0.75);

  Message(Stamped(3'249'999));  // back by 1,000,001 us: a new time base
  EXPECT_EQ(c.serverTime, Now(h));
  EXPECT_DOUBLE_EQ(c.minDelay, kFrameSeconds * 0.001);  // restarted at 0, then one frame's creep
  EXPECT_EQ(c.lastStampUs, 3'249'999u);
}

TEST_F(TimeBase, StampWrapsAroundAsOneMicrosecond) {
  Message(Stamped(4'294'967'295u));
  const double before = h.provider.serverClock.serverTime;
  Message(Stamped(0));
  EXPECT_DOUBLE_EQ(h.provider.serverClock.serverTime, before + 1e-6);
}

TEST_F(TimeBase, MinimumDelayTracksTheFastestMessageAndCreepsUp) {
  Message(Stamped(1'000'000));
  const double start = h.provider.serverClock.minDelay;
  EXPECT_EQ(start, 0.0);
  // The next message claims to be 50 ms later but arrives one frame (11.1 ms) later: the first
  // one had 38.9 ms more transit delay, so the delay to subtract falls below zero.
  Message(Stamped(1'050'000));
  EXPECT_NEAR(h.provider.serverClock.minDelay, 0.011111111 * 0.001 + (0.011111111 - 0.05), 1e-9);
  const double afterMessage = h.provider.serverClock.minDelay;
  h.Frame();
  EXPECT_NEAR(h.provider.serverClock.minDelay, afterMessage + 0.011111111 * 0.001, 1e-12);
}

TEST_F(TimeBase, OlderProtocolVersionsDropTheStampAndSwitchPredictionOff) {
  Message(Stamped(1'000'000));
  EXPECT_TRUE(h.provider.settings.prediction);
  Poses v3 = MessageFor({1}, 3);
  v3.smoothingMs = 30;
  Message(v3);
  EXPECT_FALSE(h.provider.serverClock.hasStamp);
  EXPECT_DOUBLE_EQ(h.provider.serverClock.minDelay, kFrameSeconds * 0.001);
  EXPECT_FALSE(h.provider.settings.prediction);
  EXPECT_DOUBLE_EQ(h.provider.settings.smoothingSeconds, 0.03);
  // The next stamped message starts a new time base.
  Message(Stamped(77));
  EXPECT_EQ(h.provider.serverClock.serverTime, Now(h));
}

TEST_F(TimeBase, RestartsAfterASilenceLongEnoughForTheStampToWrap) {
  Message(Stamped(1'000'000));
  // 4,295 s later the 32-bit stamp has wrapped and reads as a small step forward.
  h.Frame(4'295'000'000'000);
  Message(Stamped(1'000'000 + 32'704));
  EXPECT_EQ(h.provider.serverClock.serverTime, Now(h));
  EXPECT_DOUBLE_EQ(h.provider.serverClock.minDelay, kFrameSeconds * 0.001);
  // A gap below the limit is still followed.
  const double base = h.provider.serverClock.serverTime;
  h.Frame(1'999'000'000'000);
  Message(Stamped(1'032'704 + 500));
  EXPECT_DOUBLE_EQ(h.provider.serverClock.serverTime, base + 0.0005);
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

  Record invalid = Head(0, 1.7f, 0, false);
  invalid.headOffset[1] = -0.3f;
  m.records = {invalid};
  Message(m);
  EXPECT_DOUBLE_EQ(h.provider.headOffset.y, static_cast<double>(-0.1f));

  // A single broken head record must not poison the offset for the rest of the session.
  for (int field = 0; field < 3; ++field) {
    Record broken = Head(0, 1.7f, 0);
    broken.headOffset[1] = -0.3f;
    if (field == 0) broken.position[0] = std::numeric_limits<float>::quiet_NaN();
    if (field == 1) broken.headOffset[2] = std::numeric_limits<float>::infinity();
    if (field == 2) broken.rotation[3] = 0.0f;  // squared norm below 1e-6
    m.records = {broken};
    Message(m);
    EXPECT_DOUBLE_EQ(h.provider.headOffset.y, static_cast<double>(-0.1f)) << field;
  }

  Poses v2 = MessageFor({}, 2);
  Record moved = Head(0, 1.7f, 0);
  moved.headOffset[1] = -0.3f;
  v2.records = {moved};
  Message(v2);  // version 2 carries no head anchor
  EXPECT_DOUBLE_EQ(h.provider.headOffset.y, static_cast<double>(-0.1f));
}

vr::TrackedDevicePose_t Headset(float x, float y, float z) {
  vr::TrackedDevicePose_t pose{};
  pose.mDeviceToAbsoluteTracking.m[0][0] = pose.mDeviceToAbsoluteTracking.m[1][1] =
      pose.mDeviceToAbsoluteTracking.m[2][2] = 1.0f;
  pose.mDeviceToAbsoluteTracking.m[0][3] = x;
  pose.mDeviceToAbsoluteTracking.m[1][3] = y;
  pose.mDeviceToAbsoluteTracking.m[2][3] = z;
  pose.bPoseIsValid = pose.bDeviceIsConnected = true;
  pose.eTrackingResult = vr::TrackingResult_Running_OK;
  return pose;
}

// A head-relative chest with no smoothing follows the headset: its submitted position is the
// head point now plus where it was relative to the head point of its message.
TEST_F(TimeBase, HeadRelativeTrackerFollowsTheHeadsetAndItsVelocity) {
  Poses m = MessageFor({1}, 4);
  m.flags = 0x00;  // prediction off: the pose is the sample itself
  m.records[0].flags = 0x05;
  m.records[0].position[1] = 1.2f;
  m.records.insert(m.records.begin(), Head(0, 1.7f, 0));
  h.host.SetRawPose(0, Headset(0, 1.7f, 0));
  Message(m);
  const auto first = h.PosesOf(h.provider.trackerSlots[1]->deviceIndex);
  ASSERT_FALSE(first.empty());
  EXPECT_NEAR(first.back().pose.vecPosition[1], 1.2, 1e-6);

  vr::TrackedDevicePose_t moved = Headset(0.5f, 1.7f, 0);
  moved.vVelocity.v[0] = 2.0f;
  h.host.SetRawPose(0, moved);
  h.Frame();
  const auto second = h.PosesOf(h.provider.trackerSlots[1]->deviceIndex);
  EXPECT_NEAR(second.back().pose.vecPosition[0], 0.5, 1e-6);
  EXPECT_NEAR(second.back().pose.vecPosition[1], 1.2, 1e-6);
  EXPECT_NEAR(second.back().pose.vecVelocity[0], 2.0, 1e-6);

  // A headset pose with a non-finite number counts as absent: the tracker falls back to the
  // head point of its message instead of turning into NaN.
  for (int field = 0; field < 2; ++field) {
    vr::TrackedDevicePose_t broken = Headset(0.5f, 1.7f, 0);
    (field == 0 ? broken.mDeviceToAbsoluteTracking.m[1][3] : broken.vAngularVelocity.v[2]) = NAN;
    h.host.SetRawPose(0, broken);
    h.Frame();
    const auto third = h.PosesOf(h.provider.trackerSlots[1]->deviceIndex);
    EXPECT_NEAR(third.back().pose.vecPosition[0], 0.0, 1e-6);
    EXPECT_NEAR(third.back().pose.vecPosition[1], 1.2, 1e-6);
    EXPECT_EQ(third.back().pose.vecVelocity[0], 0.0);
    EXPECT_FALSE(h.provider.havePrevHeadNow);
  }

  // The first frame after the headset returns has no step to carry.
  h.host.SetRawPose(0, Headset(0.2f, 1.7f, 0));
  h.Frame();
  EXPECT_TRUE(h.provider.havePrevHeadNow);
  EXPECT_NEAR(h.provider.prevHeadNow.x, 0.2, 1e-6);
}

// The head's own movement passes through the smoothing at once; the rest is smoothed.
TEST_F(TimeBase, HeadStepPassesThroughTheSmoothing) {
  Poses m = MessageFor({1}, 4);
  m.flags = 0x00;
  m.smoothingMs = 50;
  m.records[0].flags = 0x05;
  m.records.insert(m.records.begin(), Head(0, 1.7f, 0));
  h.host.SetRawPose(0, Headset(0, 1.7f, 0));
  Message(m);
  h.Frame();
  h.host.SetRawPose(0, Headset(0.25f, 1.7f, 0.125f));
  h.Frame();
  const auto poses = h.PosesOf(h.provider.trackerSlots[1]->deviceIndex);
  EXPECT_NEAR(poses.back().pose.vecPosition[0], 0.25, 1e-6);
  EXPECT_NEAR(poses.back().pose.vecPosition[2], 0.125, 1e-6);
}

TEST_F(TimeBase, HeadsetOffOrDisconnectedGivesNoHeadPoint) {
  h.host.SetRawPose(0, Headset(0, 1.7f, 0));
  h.Frame();
  EXPECT_FALSE(h.provider.havePrevHeadNow);  // no head offset received yet
  Poses m = MessageFor({});
  m.records = {Head(0, 1.7f, 0)};
  Message(m);
  vr::TrackedDevicePose_t off = Headset(0, 1.7f, 0);
  off.bDeviceIsConnected = false;
  h.host.SetRawPose(0, off);
  h.Frame();
  EXPECT_FALSE(h.provider.havePrevHeadNow);
  h.host.SetRawPose(0, Headset(0, 1.7f, 0));
  h.Frame();
  EXPECT_TRUE(h.provider.havePrevHeadNow);
  EXPECT_NEAR(h.provider.prevHeadNow.y, 1.6, 1e-6);
}

}  // namespace
}  // namespace vantrels
