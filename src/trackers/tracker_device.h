#pragma once

#include <openvr_driver.h>

#include <atomic>
#include <cstdint>

#include "pose/pose_filter.h"
#include "trackers/body_points.h"

namespace vantrels {

// One virtual tracker as the host sees it, with the per-tracker state of the pose pipeline.
class TrackerDevice final : public vr::ITrackedDeviceServerDriver {
 public:
  explicit TrackerDevice(uint8_t bodyPointIndex);
  TrackerDevice(const TrackerDevice &) = delete;
  TrackerDevice &operator=(const TrackerDevice &) = delete;

  // vr::ITrackedDeviceServerDriver, in the host's slot order.
  vr::EVRInitError Activate(uint32_t unObjectId) override;
  void Deactivate() override;
  void EnterStandby() override;
  void *GetComponent(const char *pchComponentNameAndVersion) override;
  void DebugRequest(const char *pchRequest, char *pchResponseBuffer, uint32_t unResponseBufferSize) override;
  vr::DriverPose_t GetPose() override;

  // Writes the battery state to the host; only while the host has the device active.
  void UpdateBatteryProperties();

  const BodyPoint *bodyPoint;
  // Written by Activate and Deactivate, read by every frame. The host documents only RunFrame's
  // thread, so Deactivate may come from another one; relaxed is enough, as each reader takes the
  // index once and nothing else is published with it.
  std::atomic<uint32_t> deviceIndex{vr::k_unTrackedDeviceIndexInvalid};
  vr::DriverPose_t pose;
  PoseFilter filter;
  int64_t lastValidPoseTime = 0;
  bool stale = true;
  uint32_t invalidPoseCount = 0;
  uint8_t batteryPercent = 255;  // 255: the tracker reports no battery
  uint8_t charging = 0;
};

// The pose a tracker reports before it has received one: out of range, not valid, connected.
vr::DriverPose_t DefaultTrackerPose();

}  // namespace vantrels
