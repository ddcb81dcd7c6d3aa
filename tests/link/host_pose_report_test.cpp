// The host pose report: its bytes, the devices it lists, and how often the hand roles are read.
#include "link/host_pose_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/provider_harness.h"

namespace vantrels {
namespace {

float F32At(const std::vector<uint8_t> &b, size_t offset) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(b.at(offset + i)) << (8 * i);
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

using testing::LivePose;

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

  // Header, headset valid and its pose, then the controller: valid, right hand, pose; x, y, z, w.
  std::vector<uint8_t> expected = {'V', 'N', 'T', 'R', 4, 2, 1, 0, 1, 0, 0, 0};
  for (float v : {0.5f, 1.7f, -0.25f, 0.0f, 0.0f, 0.0f, 1.0f}) testing::PutF32(expected, v);
  expected.insert(expected.end(), {1, 2, 0, 0});
  for (float v : {1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 0.0f, 1.0f}) testing::PutF32(expected, v);
  EXPECT_EQ(b, expected);
}

TEST(HostPoseReport, HeadsetOffAndLiveControllersInDeviceOrderAtMostSixteen) {
  Frame f;
  f.raw[0] = LivePose(1.0f, 1.0f, 1.0f);
  f.raw[0].bDeviceIsConnected = false;
  f.raw[1] = LivePose(1, 0, 0);  // not a controller (a tracker, say)
  for (uint32_t i = 2; i <= 21; ++i) {
    f.raw[i] = LivePose(static_cast<float>(i), 0.0f, 0.0f);
    f.roles[i] = kRoleLeftHand;
  }
  f.raw[3].bPoseIsValid = false;
  const std::vector<uint8_t> b = BuildHostPoseReport(CollectHostPoses(f.raw, f.roles));
  ASSERT_EQ(b.size(), 40u + 16u * 32u);
  EXPECT_EQ(b[6], 16);
  EXPECT_EQ(b[8], 0);
  for (size_t o = 12; o < 36; o += 4) EXPECT_EQ(F32At(b, o), 0.0f) << o;
  EXPECT_EQ(F32At(b, 36), 1.0f);
  const float expected[] = {2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(F32At(b, 40 + 32 * i + 4), expected[i]) << i;
    EXPECT_EQ(b[40 + 32 * i + 1], kRoleLeftHand);
  }
}

size_t ClassReads(const host::SubstituteHost &host) {
  const auto &reads = host.PropertyReads();
  return static_cast<size_t>(
      std::count_if(reads.begin(), reads.end(), [](const auto &r) { return r.prop == vr::Prop_DeviceClass_Int32; }));
}

// Through the provider with the substitute host's five controllers (the fifth's hint is neither hand):
// trackers are never listed, and the hand roles are read on the first and every 90th report only.
TEST(HostReport, ListsTheHostsControllersAndReadsTheirHandsEveryNinetiethReport) {
  host::HostOptions options;
  options.controllers = 5;
  options.headset = host::HostOptions::Headset::Moving;
  testing::ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(testing::MessageFor({1, 2}));
  h.Frame();
  EXPECT_EQ(ClassReads(h.host), 63u);
  h.host.SetControllerRoleHint(1, vr::TrackedControllerRole_RightHand);
  h.Send(testing::MessageFor({1, 2}));
  h.Frames(89);  // reports 2 to 90 reuse the roles
  EXPECT_EQ(ClassReads(h.host), 63u);
  EXPECT_EQ(h.provider.reportCount, 90u);
  ASSERT_EQ(h.link.sent.size(), 90u);
  const std::vector<uint8_t> &report = h.link.sent.back();
  ASSERT_EQ(report.size(), 40u + 5u * 32u);  // the two trackers have valid poses but are not listed
  EXPECT_EQ(report[6], 5);
  const vr::TrackedDevicePose_t headset = h.host.RawPose(0);
  const WireQuat q = MatrixToQuaternion(headset.mDeviceToAbsoluteTracking.m);
  EXPECT_EQ(report[8], 1);
  EXPECT_EQ(F32At(report, 12), headset.mDeviceToAbsoluteTracking.m[0][3]);
  EXPECT_EQ(F32At(report, 16), headset.mDeviceToAbsoluteTracking.m[1][3]);
  EXPECT_TRUE(F32At(report, 24) == q.x && F32At(report, 36) == q.w);
  const uint8_t roles[] = {1, 2, 1, 2, 0};
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(report[40 + 32 * i], 1);
    EXPECT_EQ(report[40 + 32 * i + 1], roles[i]) << i;
    EXPECT_EQ(F32At(report, 40 + 32 * i + 4), h.host.RawPose(i + 1).mDeviceToAbsoluteTracking.m[0][3]);
  }
  h.Frame();  // the 91st
  EXPECT_EQ(ClassReads(h.host), 126u);
  EXPECT_EQ(h.link.sent.back()[40 + 1], 2);
  h.Cleanup();
}

}  // namespace
}  // namespace vantrels
