#include "link/host_pose_report.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vantrels {
namespace {

float F32At(const std::vector<uint8_t> &b, size_t offset) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(b.at(offset + i)) << (8 * i);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

vr::TrackedDevicePose_t LivePose(float x, float y, float z) {
  vr::TrackedDevicePose_t pose{};
  pose.mDeviceToAbsoluteTracking.m[0][0] = 1.0f;
  pose.mDeviceToAbsoluteTracking.m[1][1] = 1.0f;
  pose.mDeviceToAbsoluteTracking.m[2][2] = 1.0f;
  pose.mDeviceToAbsoluteTracking.m[0][3] = x;
  pose.mDeviceToAbsoluteTracking.m[1][3] = y;
  pose.mDeviceToAbsoluteTracking.m[2][3] = z;
  pose.bPoseIsValid = true;
  pose.bDeviceIsConnected = true;
  return pose;
}

struct Frame {
  vr::TrackedDevicePose_t raw[vr::k_unMaxTrackedDeviceCount]{};
  std::array<int8_t, vr::k_unMaxTrackedDeviceCount> roles{};
  Frame() { roles.fill(kRoleNotController); }
};

TEST(HostPoseReport, ExactBytesWithPaddingZero) {
  Frame f;
  f.raw[0] = LivePose(0.5f, 1.7f, -0.25f);
  f.raw[3] = LivePose(1.0f, 2.0f, 3.0f);
  f.roles[3] = kRoleRightHand;
  std::vector<uint8_t> b(600, 0xEE);  // stale content must not survive
  BuildHostPoseReport(CollectHostPoses(f.raw, f.roles), b);

  ASSERT_EQ(b.size(), 72u);
  EXPECT_EQ(std::memcmp(b.data(), "VNTR", 4), 0);
  EXPECT_EQ(b[4], 4);
  EXPECT_EQ(b[5], 2);
  EXPECT_EQ(b[6], 1);
  EXPECT_EQ(b[7], 0);
  EXPECT_EQ(b[8], 1);
  EXPECT_EQ(b[9] | b[10] | b[11], 0);
  EXPECT_EQ(F32At(b, 12), 0.5f);
  EXPECT_EQ(F32At(b, 16), 1.7f);
  EXPECT_EQ(F32At(b, 20), -0.25f);
  EXPECT_EQ(F32At(b, 24), 0.0f);  // identity rotation x, y, z, w
  EXPECT_EQ(F32At(b, 36), 1.0f);
  EXPECT_EQ(b[40], 1);
  EXPECT_EQ(b[41], 2);
  EXPECT_EQ(b[42] | b[43], 0);
  EXPECT_EQ(F32At(b, 44), 1.0f);
  EXPECT_EQ(F32At(b, 52), 3.0f);
  EXPECT_EQ(F32At(b, 68), 1.0f);
}

TEST(HostPoseReport, HeadsetNotAvailableIsSentAsZeroWithIdentity) {
  Frame f;
  f.raw[0] = LivePose(1.0f, 1.0f, 1.0f);
  f.raw[0].bDeviceIsConnected = false;
  const std::vector<uint8_t> b = BuildHostPoseReport(CollectHostPoses(f.raw, f.roles));
  ASSERT_EQ(b.size(), 40u);
  EXPECT_EQ(b[6], 0);
  EXPECT_EQ(b[8], 0);
  for (size_t o = 12; o < 36; o += 4) EXPECT_EQ(F32At(b, o), 0.0f) << o;
  EXPECT_EQ(F32At(b, 36), 1.0f);
}

TEST(HostPoseReport, AtMostSixteenControllersInDeviceOrder) {
  Frame f;
  for (uint32_t i = 1; i <= 20; ++i) {
    f.raw[i] = LivePose(static_cast<float>(i), 0.0f, 0.0f);
    f.roles[i] = kRoleNone;
  }
  const HostPoses poses = CollectHostPoses(f.raw, f.roles);
  ASSERT_EQ(poses.controllerCount, 16u);
  EXPECT_EQ(poses.controllers[0].position[0], 1.0f);
  EXPECT_EQ(poses.controllers[15].position[0], 16.0f);
  const std::vector<uint8_t> b = BuildHostPoseReport(poses);
  EXPECT_EQ(b.size(), 40u + 16u * 32u);
  EXPECT_EQ(b[6], 16);
}

TEST(HostPoseReport, OnlyLiveControllersAreListed) {
  Frame f;
  f.raw[1] = LivePose(1, 0, 0);  // not a controller (a tracker, say)
  f.raw[2] = LivePose(2, 0, 0);
  f.roles[2] = kRoleLeftHand;
  f.raw[3] = LivePose(3, 0, 0);
  f.raw[3].bPoseIsValid = false;
  f.roles[3] = kRoleLeftHand;
  const HostPoses poses = CollectHostPoses(f.raw, f.roles);
  ASSERT_EQ(poses.controllerCount, 1u);
  EXPECT_EQ(poses.controllers[0].role, kRoleLeftHand);
  EXPECT_EQ(poses.controllers[0].position[0], 2.0f);
}

TEST(ControllerRoleCode, FromClassAndHint) {
  const int32_t controller = vr::TrackedDeviceClass_Controller, tracker = vr::TrackedDeviceClass_GenericTracker;
  const int32_t left = 1, right = 2, optOut = 3, stylus = 5;
  EXPECT_EQ(ControllerRoleCode(nullptr, &left), kRoleNotController);
  EXPECT_EQ(ControllerRoleCode(&tracker, &left), kRoleNotController);
  EXPECT_EQ(ControllerRoleCode(&controller, nullptr), kRoleNone);
  EXPECT_EQ(ControllerRoleCode(&controller, &left), kRoleLeftHand);
  EXPECT_EQ(ControllerRoleCode(&controller, &right), kRoleRightHand);
  EXPECT_EQ(ControllerRoleCode(&controller, &optOut), kRoleNone);
  EXPECT_EQ(ControllerRoleCode(&controller, &stylus), kRoleNone);
}

}  // namespace
}  // namespace vantrels
