// The live view's pure parts: who gets what, and the snapshot taken from the host's observations.
#include <gtest/gtest.h>

#include <cmath>

#include "host/pose_convert.h"
#include "host/view_assets.h"
#include "host/view_state.h"

namespace vantrels::host {
namespace {

TEST(ViewRoutes, OnlyOurOwnFilesForOurOwnAddress) {
  const struct {
    const char *method, *target, *host;
    int status;
    ViewRoute::Kind kind;
  } cases[] = {
      {"GET", "/", "127.0.0.1:4000", 200, ViewRoute::File},
      {"GET", "/three/three.min.js?v=1", "localhost:4000", 200, ViewRoute::File},
      {"GET", "/stream", "127.0.0.1:4000", 200, ViewRoute::Stream},
      {"GET", "/../host.jsonl", "127.0.0.1:4000", 404, ViewRoute::Refused},
      {"GET", "/three/../view.js", "127.0.0.1:4000", 404, ViewRoute::Refused},
      {"GET", "/%2e%2e/etc/passwd", "127.0.0.1:4000", 404, ViewRoute::Refused},
      {"GET", "http://127.0.0.1:4000/", "127.0.0.1:4000", 404, ViewRoute::Refused},
      {"GET", "/view.js/", "127.0.0.1:4000", 404, ViewRoute::Refused},
      {"POST", "/", "127.0.0.1:4000", 405, ViewRoute::Refused},
      {"GET", "/", "evil.example:4000", 403, ViewRoute::Refused},
      {"GET", "/", "127.0.0.1:4001", 403, ViewRoute::Refused},
      {"GET", "/", "127.0.0.1", 403, ViewRoute::Refused},
      {"GET", "/", "", 403, ViewRoute::Refused},
      {"GET", "/", "localhost:4000.evil.example", 403, ViewRoute::Refused},
  };
  for (const auto &c : cases) {
    const ViewRoute route = RouteViewRequest(c.method, c.target, c.host, 4000);
    EXPECT_EQ(route.status, c.status) << c.method << ' ' << c.target << ' ' << c.host;
    EXPECT_EQ(route.kind, c.kind) << c.target;
  }
  EXPECT_EQ(RouteViewRequest("GET", "/three/LICENSE", "localhost:4000", 4000).file->file, "three/LICENSE");
}

TEST(ViewState, QuaternionOfMatrixUndoesMatrixFrom) {
  const double h = std::sqrt(0.5);
  const double rotations[][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0},
                                 {0, 0, 0, 1}, {h, 0, h, 0}, {0.5, -0.5, 0.5, 0.5}};
  for (const auto &q : rotations) {
    const std::array<double, 4> back = QuaternionOfMatrix(MatrixFrom(q, {1, 2, 3}));
    const double dot = back[0] * q[0] + back[1] * q[1] + back[2] * q[2] + back[3] * q[3];
    EXPECT_NEAR(std::fabs(dot), 1.0, 1e-6) << q[0] << ' ' << q[1] << ' ' << q[2] << ' ' << q[3];
  }
}

struct Device : vr::ITrackedDeviceServerDriver {
  vr::EVRInitError Activate(uint32_t) override { return vr::VRInitError_None; }
  void Deactivate() override {}
  void EnterStandby() override {}
  void *GetComponent(const char *) override { return nullptr; }
  void DebugRequest(const char *, char *, uint32_t) override {}
  vr::DriverPose_t GetPose() override { return {}; }
};

TEST(ViewState, SnapshotShowsWorldPosesRolesBatteriesRatesAndTheLogTail) {
  HostOptions options;
  options.controllers = 2;
  SubstituteHost h(options);
  auto *driverHost =
      static_cast<vr::IVRServerDriverHost *>(h.GetGenericInterface(vr::IVRServerDriverHost_Version, nullptr));
  auto *settings = static_cast<vr::IVRSettings *>(h.GetGenericInterface(vr::IVRSettings_Version, nullptr));
  auto *log = static_cast<vr::IVRDriverLog *>(h.GetGenericInterface(vr::IVRDriverLog_Version, nullptr));
  vr::CVRPropertyHelpers properties(
      static_cast<vr::IVRProperties *>(h.GetGenericInterface(vr::IVRProperties_Version, nullptr)));
  Device foot, waist;
  ASSERT_TRUE(driverHost->TrackedDeviceAdded("FOOT", vr::TrackedDeviceClass_GenericTracker, &foot));
  ASSERT_TRUE(driverHost->TrackedDeviceAdded("WAIST", vr::TrackedDeviceClass_GenericTracker, &waist));
  settings->SetString("trackers", "/devices/vantrels/FOOT", "TrackerRole_LeftFoot", nullptr);
  properties.SetBoolProperty(properties.TrackedDeviceToPropertyContainer(3), vr::Prop_DeviceProvidesBatteryStatus_Bool,
                             true);
  properties.SetFloatProperty(properties.TrackedDeviceToPropertyContainer(3), vr::Prop_DeviceBatteryPercentage_Float,
                              0.5f);
  for (int i = 0; i < 15; ++i) log->Log(("line " + std::to_string(i)).c_str());

  // The world turned a quarter about y and moved 1 m along x; the pose 10 cm above its head point.
  vr::DriverPose_t pose{};
  pose.qWorldFromDriverRotation = {std::sqrt(0.5), 0, std::sqrt(0.5), 0};
  pose.vecWorldFromDriverTranslation[0] = 1;
  pose.qDriverFromHeadRotation.w = pose.qRotation.w = 1;
  pose.vecDriverFromHeadTranslation[1] = 0.1;
  pose.vecPosition[1] = 1;
  pose.vecPosition[2] = -2;
  pose.poseIsValid = true;
  ViewModel model;
  driverHost->TrackedDevicePoseUpdated(3, pose, sizeof pose);
  const int64_t first = h.PoseUpdates().front().monotonicNs;
  for (int i = 1; i < 10; ++i) {
    if (i == 5) {
      model.Snapshot(h, h.PoseUpdates().back().monotonicNs);
      h.ForgetFrameHistory();  // what the model took in before still counts
    }
    driverHost->TrackedDevicePoseUpdated(3, pose, sizeof pose);
  }
  const int64_t last = h.PoseUpdates().back().monotonicNs;
  const ViewSnapshot s = model.Snapshot(h, last + 2'000'000);

  ASSERT_EQ(s.controllers.size(), 2u);
  EXPECT_EQ(s.controllers[0].role + s.controllers[1].role, "leftright");
  ASSERT_EQ(s.trackers.size(), 2u);
  const ViewDevice &t = s.trackers[0];
  EXPECT_EQ(t.serial + " " + t.role, "FOOT TrackerRole_LeftFoot");
  EXPECT_TRUE(t.hasPose && t.pose.valid);
  const double expected[3] = {-1, 1.1, 0};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(t.pose.position[i], expected[i], 1e-9);
  EXPECT_NEAR(t.pose.rotation[2], std::sqrt(0.5), 1e-9);
  EXPECT_EQ(t.battery, 0.5);
  EXPECT_NEAR(t.ageMs, 2.0, 1e-9);
  EXPECT_NEAR(t.updatesPerSecond * static_cast<double>(last - first) / 1e9, 9.0, 1e-6);  // 9 intervals
  EXPECT_GE(t.intervalSpreadMs, 0.0);
  EXPECT_FALSE(s.trackers[1].hasPose || s.trackers[1].battery || !s.trackers[1].role.empty());
  ASSERT_EQ(s.log.size(), kViewLogLines);
  EXPECT_EQ(s.log.front() + "|" + s.log.back(), "line 3|line 14");

  // Seconds later the rate and spread cover only the last second: no submissions, no rate.
  const ViewSnapshot later = model.Snapshot(h, last + 3'000'000'000);
  EXPECT_EQ(later.trackers[0].updatesPerSecond, 0.0);
  EXPECT_NEAR(later.trackers[0].ageMs, 3000.0, 1e-6);
}

}  // namespace
}  // namespace vantrels::host
