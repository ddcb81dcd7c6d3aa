// The live view's snapshot of the host's observations: world poses through the driver's transforms,
// rates over the last second across forgotten history, the log tail, and matrices back to rotations.
#include <gtest/gtest.h>

#include <cmath>

#include "host/pose_convert.h"
#include "host/view_state.h"
#include "trackers/tracker_device.h"

namespace vantrels::host {
namespace {

TEST(ViewState, QuaternionOfMatrixUndoesMatrixFrom) {
  const double h = std::sqrt(0.5);
  const double rotations[][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0},
                                 {0, 0, 0, 1}, {h, 0, h, 0}, {0.5, -0.5, 0.5, 0.5}};
  for (const auto &q : rotations) {
    const std::array<double, 4> back = QuaternionOfMatrix(MatrixFrom(q, {1, 2, 3}));
    EXPECT_NEAR(std::fabs(back[0] * q[0] + back[1] * q[1] + back[2] * q[2] + back[3] * q[3]), 1.0, 1e-6) << q[0];
  }
}

TEST(ViewState, SnapshotShowsWorldPosesRatesAndTheLogTail) {
  HostOptions options;
  options.controllers = 2;
  options.activation = HostOptions::Activation::Never;  // the device is never called
  SubstituteHost h(options);
  auto *driverHost =
      static_cast<vr::IVRServerDriverHost *>(h.GetGenericInterface(vr::IVRServerDriverHost_Version, nullptr));
  auto *log = static_cast<vr::IVRDriverLog *>(h.GetGenericInterface(vr::IVRDriverLog_Version, nullptr));
  TrackerDevice device(5);
  ASSERT_TRUE(driverHost->TrackedDeviceAdded("FOOT", vr::TrackedDeviceClass_GenericTracker, &device));
  for (int i = 0; i < 15; ++i) log->Log(("line " + std::to_string(i)).c_str());

  // The world turned a quarter about y and moved 1 m along x; the pose 10 cm above its head point.
  vr::DriverPose_t pose{};
  pose.qWorldFromDriverRotation = {std::sqrt(0.5), 0, std::sqrt(0.5), 0};
  pose.vecWorldFromDriverTranslation[0] = 1;
  pose.qDriverFromHeadRotation.w = pose.qRotation.w = 1;
  pose.vecDriverFromHeadTranslation[1] = 0.1;
  pose.vecPosition[1] = 1;
  pose.vecPosition[2] = -2;
  ViewModel model;
  driverHost->TrackedDevicePoseUpdated(3, pose, sizeof pose);
  const int64_t first = h.PoseUpdates().front().monotonicNs;
  for (int i = 1; i < 10; ++i) {
    if (i == 5) {
      model.Snapshot(h, h.PoseUpdates().back().monotonicNs);
      h.ForgetFrameHistory();  // what the model took in before still counts, and only once
    }
    driverHost->TrackedDevicePoseUpdated(3, pose, sizeof pose);
  }
  const int64_t last = h.PoseUpdates().back().monotonicNs;
  const ViewSnapshot s = model.Snapshot(h, last + 2'000'000);

  EXPECT_EQ(s.controllers.at(0).role + s.controllers.at(1).role, "leftright");
  const ViewDevice &t = s.trackers.at(0);
  const double expected[3] = {-1, 1.1, 0};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(t.pose.position[i], expected[i], 1e-9);
  EXPECT_NEAR(t.pose.rotation[2], std::sqrt(0.5), 1e-9);
  EXPECT_TRUE(t.hasPose && !t.pose.valid);
  EXPECT_NEAR(t.ageMs, 2.0, 1e-9);
  EXPECT_NEAR(t.updatesPerSecond * static_cast<double>(last - first) / 1e9, 9.0, 1e-6);  // 9 intervals
  EXPECT_EQ(s.log.size(), kViewLogLines);
  EXPECT_EQ(s.log.front() + "|" + s.log.back(), "line 3|line 14");

  // Seconds later the rate covers only the last second: no submissions, no rate.
  const ViewSnapshot later = model.Snapshot(h, last + 3'000'000'000);
  EXPECT_EQ(later.trackers[0].updatesPerSecond, 0.0);
  EXPECT_NEAR(later.trackers[0].ageMs, 3000.0, 1e-6);
}

}  // namespace
}  // namespace vantrels::host
