// Raw poses of the simulated devices and of the driver's devices, pose submissions and events.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/pose_convert.h"
#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

bool AllZero(const void *data, size_t size) {
  const auto *p = static_cast<const uint8_t *>(data);
  return std::all_of(p, p + size, [](uint8_t b) { return b == 0; });
}

double Translation(const vr::TrackedDevicePose_t &pose, int axis) {
  return static_cast<double>(pose.mDeviceToAbsoluteTracking.m[axis][3]);
}

TEST(RawPosesTest, StillOffAndBoundedFills) {
  SubstituteHost host;
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  vr::TrackedDevicePose_t poses[70];
  std::memset(poses, 0x5A, sizeof poses);
  server->GetRawTrackedDevicePoses(0.0f, poses, 2);
  EXPECT_TRUE(poses[0].bPoseIsValid && poses[0].bDeviceIsConnected);
  const float identity[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 1.7f}, {0, 0, 1, 0}};
  EXPECT_EQ(std::memcmp(poses[0].mDeviceToAbsoluteTracking.m, identity, sizeof identity), 0);
  EXPECT_TRUE(AllZero(&poses[1], sizeof poses[1]));                  // nothing at index 1
  EXPECT_EQ(reinterpret_cast<const uint8_t *>(&poses[2])[0], 0x5A);  // not asked for: untouched
  server->GetRawTrackedDevicePoses(0.0f, poses, 70);
  EXPECT_TRUE(AllZero(&poses[63], sizeof poses[63]));
  EXPECT_EQ(reinterpret_cast<const uint8_t *>(&poses[64])[0], 0x5A);  // never more than 64
  server->GetRawTrackedDevicePoses(0.0f, nullptr, 64);                // survives
  EXPECT_EQ(host.RawPoseFetches(), 3u);

  HostOptions options;
  options.headset = HostOptions::Headset::Off;
  SubstituteHost off(options);
  Interface<vr::IVRServerDriverHost>(off, vr::IVRServerDriverHost_Version)->GetRawTrackedDevicePoses(0.0f, poses, 1);
  EXPECT_TRUE(AllZero(&poses[0], sizeof poses[0]));
}

TEST(RawPosesTest, MovingHeadsetVelocitiesMatchItsMotion) {
  HostOptions options;
  options.headset = HostOptions::Headset::Moving;
  SubstituteHost host(options);
  const double h = 1e-3;
  for (double t : {0.3, 1.7, 4.2}) {
    host.BeginFrame(t - h);
    const auto before = host.RawPose(0);
    host.BeginFrame(t + h);
    const auto after = host.RawPose(0);
    host.BeginFrame(t);
    const auto now = host.RawPose(0);
    ASSERT_TRUE(now.bPoseIsValid);
    EXPECT_NEAR(Translation(now, 1), 1.7, 0.05);
    for (int axis = 0; axis < 3; ++axis) {
      const double numeric = (Translation(after, axis) - Translation(before, axis)) / (2 * h);
      EXPECT_NEAR(static_cast<double>(now.vVelocity.v[axis]), numeric, 2e-3) << "t " << t << " axis " << axis;
    }
    // dR/dt * R^T is the skew matrix of the world angular velocity.
    const auto &a = after.mDeviceToAbsoluteTracking.m, &b = before.mDeviceToAbsoluteTracking.m,
               &r = now.mDeviceToAbsoluteTracking.m;
    double w[3][3] = {};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        for (int k = 0; k < 3; ++k) w[i][j] += static_cast<double>(a[i][k] - b[i][k]) / (2 * h) * r[j][k];
      }
    }
    EXPECT_NEAR(static_cast<double>(now.vAngularVelocity.v[0]), w[2][1], 5e-3) << t;
    EXPECT_NEAR(static_cast<double>(now.vAngularVelocity.v[1]), w[0][2], 5e-3) << t;
    EXPECT_NEAR(static_cast<double>(now.vAngularVelocity.v[2]), w[1][0], 5e-3) << t;
  }
}

TEST(RawPosesTest, ControllersMoveInFrontOfTheBody) {
  HostOptions options;
  options.controllers = 3;
  SubstituteHost host(options);
  host.BeginFrame(2.0);
  const auto left = host.RawPose(1), right = host.RawPose(2);
  EXPECT_TRUE(left.bPoseIsValid);
  EXPECT_LT(Translation(left, 0), 0.0);
  EXPECT_GT(Translation(right, 0), 0.0);
  EXPECT_LT(Translation(left, 2), 0.0);  // -z is forward
  host.BeginFrame(2.5);
  EXPECT_NE(Translation(host.RawPose(1), 1), Translation(left, 1));
  EXPECT_FALSE(host.RawPose(4).bPoseIsValid);
}

TEST(PoseUpdatesTest, SubmittedPosesAreStoredTimedAndReportedBack) {
  FakeSession session;
  session.Frames(3);
  const auto &updates = session.host->PoseUpdates();
  ASSERT_EQ(updates.size(), 6u);
  for (size_t i = 1; i < updates.size(); ++i) EXPECT_GE(updates[i].monotonicNs, updates[i - 1].monotonicNs);
  const auto raw = session.host->RawPose(2);
  EXPECT_TRUE(raw.bPoseIsValid);
  EXPECT_NEAR(Translation(raw, 0), 0.2, 1e-6);
  EXPECT_NEAR(Translation(raw, 1), 1.0, 1e-6);
  EXPECT_NEAR(Translation(raw, 2), -0.5, 1e-6);

  // A submission of some other struct size is noted, not stored.
  SubstituteHost host;
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  StubDevice device;
  ASSERT_TRUE(server->TrackedDeviceAdded("VT-1", vr::TrackedDeviceClass_GenericTracker, &device));
  vr::DriverPose_t pose{};
  pose.qRotation.w = pose.qWorldFromDriverRotation.w = pose.qDriverFromHeadRotation.w = 1;
  pose.poseIsValid = true;
  server->TrackedDevicePoseUpdated(1, pose, 64);
  EXPECT_TRUE(host.PoseUpdates().empty());
  EXPECT_FALSE(host.RawPose(1).bPoseIsValid);
  EXPECT_EQ(host.Anomalies().size(), 1u);
  server->TrackedDevicePoseUpdated(1, pose, sizeof pose);
  EXPECT_TRUE(host.RawPose(1).bPoseIsValid);
}

TEST(PoseConvertTest, WorldFromDriverAndHeadOffsetsAreApplied) {
  vr::DriverPose_t pose{};
  const double s = std::sqrt(0.5);
  pose.qWorldFromDriverRotation = {s, 0, s, 0};  // 90 degrees about +y
  pose.vecWorldFromDriverTranslation[1] = 1.0;
  pose.qRotation = {1, 0, 0, 0};
  pose.qDriverFromHeadRotation = {1, 0, 0, 0};
  pose.vecPosition[0] = 1.0;
  pose.vecDriverFromHeadTranslation[2] = 0.5;
  pose.vecVelocity[0] = 2.0;
  pose.poseIsValid = true;
  const auto world = WorldPoseFrom(pose);
  // (1, 0, 0.5) rotated 90 degrees about y is (0.5, 0, -1); plus (0, 1, 0).
  EXPECT_NEAR(world.mDeviceToAbsoluteTracking.m[0][3], 0.5, 1e-6);
  EXPECT_NEAR(world.mDeviceToAbsoluteTracking.m[1][3], 1.0, 1e-6);
  EXPECT_NEAR(world.mDeviceToAbsoluteTracking.m[2][3], -1.0, 1e-6);
  EXPECT_NEAR(world.vVelocity.v[2], -2.0, 1e-6);
  EXPECT_NEAR(world.mDeviceToAbsoluteTracking.m[0][2], 1.0, 1e-6);
}

TEST(EventsTest, QueuedEventsReachTheDriverInOrder) {
  FakeSession session({}, {"driver_fakedrv.devices=0"});
  session.host->QueueEvent(vr::VREvent_TrackedDeviceActivated, 3);
  session.host->QueueEvent(vr::VREvent_TrackedDeviceUpdated, 0);
  session.Frames(2);
  const auto &lines = session.host->LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "fake: event 100 device 3");
  EXPECT_EQ(lines[2], "fake: event 102 device 0");
  EXPECT_EQ(session.host->EventPolls(), 4u);  // 3 polls in frame 1 (two events, then false), 1 in frame 2
}

TEST(EventsTest, PollNeverWritesBeyondOneEventOrTheGivenSize) {
  SubstituteHost host;
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  host.QueueEvent(vr::VREvent_TrackedDeviceActivated, 1);
  uint8_t buffer[sizeof(vr::VREvent_t) + 8];
  std::memset(buffer, 0x5A, sizeof buffer);
  auto *event = reinterpret_cast<vr::VREvent_t *>(buffer);
  EXPECT_FALSE(server->PollNextEvent(event, 10));  // too small: not taken, not written
  EXPECT_EQ(buffer[0], 0x5A);
  EXPECT_FALSE(server->PollNextEvent(nullptr, sizeof(vr::VREvent_t)));
  // A caller declaring more than one record (64 on Linux) gets exactly one record written.
  EXPECT_TRUE(server->PollNextEvent(event, sizeof(vr::VREvent_t) + 4));
  EXPECT_EQ(event->trackedDeviceIndex, 1u);
  for (size_t i = sizeof(vr::VREvent_t); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0x5A) << i;
  EXPECT_FALSE(server->PollNextEvent(event, sizeof(vr::VREvent_t)));
}

}  // namespace
}  // namespace vantrels::host::test
