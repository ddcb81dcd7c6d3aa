#pragma once

#include <openvr_driver.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pose/pose_math.h"

namespace vantrels {

inline constexpr size_t kMaxReportedControllers = 16;
inline constexpr size_t kHostReportHeaderSize = 40;
inline constexpr size_t kHostReportControllerSize = 32;

// Role codes of the report: what a host device is to the tracking server.
inline constexpr int8_t kRoleNotController = -1;
inline constexpr int8_t kRoleNone = 0;
inline constexpr int8_t kRoleLeftHand = 1;
inline constexpr int8_t kRoleRightHand = 2;

struct ReportedController {
  uint8_t role = 0;
  float position[3] = {0.0f, 0.0f, 0.0f};
  WireQuat rotation;
};

// Everything one report carries, gathered from the frame's raw poses.
struct HostPoses {
  bool headsetValid = false;
  float headsetPosition[3] = {0.0f, 0.0f, 0.0f};
  WireQuat headsetRotation;  // (0, 0, 0, 1) when not valid
  std::array<ReportedController, kMaxReportedControllers> controllers{};
  size_t controllerCount = 0;
};

// The report code of a device from its class and role hint as read from the host (absent:
// the read failed).
int8_t ControllerRoleCode(const int32_t *deviceClass, const int32_t *roleHint);

// Headset and controllers (valid, connected, role code not negative; in device order, at most
// 16) from the frame's raw poses and the cached role codes.
HostPoses CollectHostPoses(const vr::TrackedDevicePose_t (&rawPoses)[vr::k_unMaxTrackedDeviceCount],
                           const std::array<int8_t, vr::k_unMaxTrackedDeviceCount> &roles);

// The report datagram: 40 bytes plus 32 per controller, little-endian. `out` is overwritten;
// its storage is reused.
void BuildHostPoseReport(bool headsetValid, const float (&headsetPosition)[3], const WireQuat &headsetRotation,
                         std::span<const ReportedController> controllers, std::vector<uint8_t> &out);
void BuildHostPoseReport(const HostPoses &poses, std::vector<uint8_t> &out);
std::vector<uint8_t> BuildHostPoseReport(const HostPoses &poses);

}  // namespace vantrels
