#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/host_pose_report.h"
#include "support/provider_harness.h"

namespace vantrels {
namespace {

using testing::MessageFor;
using testing::ProviderHarness;

float F32At(const std::vector<uint8_t> &b, size_t offset) {
  float v;
  std::memcpy(&v, b.data() + offset, 4);  // little-endian host
  return v;
}

size_t ClassReads(const host::SubstituteHost &host) {
  const auto &reads = host.PropertyReads();
  return static_cast<size_t>(
      std::count_if(reads.begin(), reads.end(), [](const auto &r) { return r.prop == vr::Prop_DeviceClass_Int32; }));
}

TEST(HostReport, ListsTheSimulatedControllersWithTheirHandsButNeverTrackers) {
  host::HostOptions options;
  options.controllers = 5;
  options.headset = host::HostOptions::Headset::Moving;
  ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({1, 2}));
  h.Frame();
  h.Send(MessageFor({1, 2}));
  h.Frame();
  ASSERT_EQ(h.link.sent.size(), 2u);
  const std::vector<uint8_t> &report = h.link.sent.back();
  ASSERT_EQ(report.size(), 40u + 5u * 32u);  // the two trackers have valid poses but are not listed
  EXPECT_EQ(report[6], 5);

  const vr::TrackedDevicePose_t headset = h.host.RawPose(0);
  EXPECT_EQ(report[8], 1);
  EXPECT_EQ(F32At(report, 12), headset.mDeviceToAbsoluteTracking.m[0][3]);
  EXPECT_EQ(F32At(report, 16), headset.mDeviceToAbsoluteTracking.m[1][3]);
  const WireQuat q = MatrixToQuaternion(headset.mDeviceToAbsoluteTracking.m);
  EXPECT_EQ(F32At(report, 24), q.x);
  EXPECT_EQ(F32At(report, 36), q.w);

  const uint8_t roles[] = {1, 2, 1, 2, 0};  // the fifth controller's hint is neither hand
  for (uint32_t i = 0; i < 5; ++i) {
    const uint8_t *r = report.data() + 40 + 32 * i;
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[1], roles[i]) << i;
    EXPECT_EQ(r[2] | r[3], 0);
    EXPECT_EQ(F32At(report, 40 + 32 * i + 4), h.host.RawPose(i + 1).mDeviceToAbsoluteTracking.m[0][3]);
  }
  h.Cleanup();
}

TEST(HostReport, RolesAreReadOnTheFirstAndEveryNinetiethReport) {
  host::HostOptions options;
  options.controllers = 2;
  ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({}));
  h.Frame();
  EXPECT_EQ(ClassReads(h.host), 63u);
  EXPECT_EQ(h.link.sent.back()[40 + 1], 1);

  h.host.SetControllerRoleHint(1, vr::TrackedControllerRole_RightHand);
  h.Frames(89);  // reports 2 to 90 reuse the roles
  EXPECT_EQ(ClassReads(h.host), 63u);
  EXPECT_EQ(h.link.sent.back()[40 + 1], 1);
  EXPECT_EQ(h.provider.reportCount, 90u);

  h.Frame();  // the 91st
  EXPECT_EQ(ClassReads(h.host), 126u);
  EXPECT_EQ(h.link.sent.back()[40 + 1], 2);
  h.Cleanup();
}

TEST(HostReport, HeadsetOffIsReportedAsNotValidAndCappedAtSixteenControllers) {
  host::HostOptions options;
  options.controllers = 20;
  options.headset = host::HostOptions::Headset::Off;
  ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(std::vector<uint8_t>{0});  // any datagram makes a peer
  h.Frame();
  ASSERT_EQ(h.link.sent.size(), 1u);
  const std::vector<uint8_t> &report = h.link.sent[0];
  EXPECT_EQ(report.size(), 40u + 16u * 32u);
  EXPECT_EQ(report[8], 0);
  EXPECT_EQ(F32At(report, 12), 0.0f);
  EXPECT_EQ(F32At(report, 36), 1.0f);
  // The first sixteen by device index.
  EXPECT_EQ(F32At(report, 40 + 32 * 15 + 4), h.host.RawPose(16).mDeviceToAbsoluteTracking.m[0][3]);
  h.Cleanup();
}

}  // namespace
}  // namespace vantrels
