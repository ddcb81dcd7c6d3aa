#include "pose/pose_intake.h"

#include <openvr_driver.h>

#include <cmath>
#include <string>

#include "driver/driver_log.h"
#include "driver/steady_clock.h"
#include "trackers/tracker_device.h"

namespace vantrels {

namespace {

constexpr int64_t kTimeoutNs = 1'000'000'000;
constexpr uint32_t kLoggedDiscards = 5;

void SendPose(const TrackerDevice &tracker) {
  const uint32_t deviceIndex = tracker.deviceIndex.load(std::memory_order_relaxed);
  if (deviceIndex == vr::k_unTrackedDeviceIndexInvalid || vr::VRDriverContext() == nullptr) return;
  if (vr::IVRServerDriverHost *host = vr::VRServerDriverHost())
    host->TrackedDevicePoseUpdated(deviceIndex, tracker.pose, sizeof(vr::DriverPose_t));
}

}  // namespace

bool IsUsablePose(const float (&position)[3], const float (&rotation)[4]) {
  for (float v : position)
    if (!std::isfinite(v)) return false;
  for (float v : rotation)
    if (!std::isfinite(v)) return false;
  double norm2 = 0.0;
  for (float v : rotation) norm2 += static_cast<double>(v) * static_cast<double>(v);
  return norm2 >= 1e-6;
}

Quat ToQuat(const float (&rotation)[4]) {
  return Quat{rotation[3], rotation[0], rotation[1], rotation[2]};
}

Vec3 ToVec3(const float (&v)[3]) {
  return Vec3{v[0], v[1], v[2]};
}

void ApplyRecord(TrackerDevice &tracker, const PointSample &record, const std::optional<Vec3> &headAnchor,
                 double sampleTime, double now, const FilterSettings &settings) {
  if (!IsUsablePose(record.position, record.rotation)) {
    // The count stops at its maximum, so the lines never come back after it would wrap.
    const uint32_t discarded = tracker.invalidPoseCount;
    if (discarded < UINT32_MAX) tracker.invalidPoseCount = discarded + 1;
    if (discarded < kLoggedDiscards) {
      WriteLogLine("[Vantrels] Discarded an invalid pose for " +
                   std::string(tracker.bodyPoint != nullptr ? tracker.bodyPoint->serial : ""));
    }
    return;
  }

  tracker.lastValidPoseTime = SteadyNowNs();
  tracker.stale = false;
  tracker.filter.AddSample(ToVec3(record.position), ToQuat(record.rotation), record.headRelative, headAnchor,
                           sampleTime, now, settings);
  tracker.pose.poseIsValid = record.valid;
  tracker.pose.result = record.valid ? vr::TrackingResult_Running_OK : vr::TrackingResult_Running_OutOfRange;

  const uint8_t charging = record.charging ? 1 : 0;
  if (record.batteryPercent != tracker.batteryPercent || charging != tracker.charging) {
    tracker.batteryPercent = record.batteryPercent;
    tracker.charging = charging;
    tracker.UpdateBatteryProperties();
  }
}

void SubmitFramePose(TrackerDevice &tracker, const std::optional<Vec3> &headNow, const Vec3 &headStep,
                     const Vec3 &headVelocity, double now, double dt, const FilterSettings &settings) {
  if (tracker.stale) return;
  PoseFilter &filter = tracker.filter;
  filter.Step(headNow, headStep, now, dt, settings);
  if (!filter.outputValid) return;

  vr::DriverPose_t &pose = tracker.pose;
  pose.vecPosition[0] = filter.smoothedPosition.x;
  pose.vecPosition[1] = filter.smoothedPosition.y;
  pose.vecPosition[2] = filter.smoothedPosition.z;
  pose.qRotation.w = filter.smoothedRotation.w;
  pose.qRotation.x = filter.smoothedRotation.x;
  pose.qRotation.y = filter.smoothedRotation.y;
  pose.qRotation.z = filter.smoothedRotation.z;
  // A head-relative point moves with the headset, so it reports the head point's velocity.
  const Vec3 velocity = filter.headRelative && headNow.has_value() ? headVelocity : Vec3{};
  pose.vecVelocity[0] = velocity.x;
  pose.vecVelocity[1] = velocity.y;
  pose.vecVelocity[2] = velocity.z;
  SendPose(tracker);
}

void CheckTimeout(TrackerDevice &tracker, int64_t frameTime) {
  if (tracker.stale || frameTime - tracker.lastValidPoseTime < kTimeoutNs) return;
  tracker.stale = true;
  tracker.filter.ResetFilter();
  tracker.pose.poseIsValid = false;
  tracker.pose.result = vr::TrackingResult_Running_OutOfRange;
  tracker.pose.vecVelocity[0] = 0.0;
  tracker.pose.vecVelocity[1] = 0.0;
  tracker.pose.vecVelocity[2] = 0.0;
  SendPose(tracker);
}

}  // namespace vantrels
