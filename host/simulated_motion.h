// The host's own devices: a headset at index 0 and controllers at 1..N, moving along smooth
// closed-form paths so that every velocity is the exact derivative of the position.
#pragma once

#include <openvr_driver.h>

#include <cstdint>

#include "host/host_options.h"

namespace vantrels::host {

struct MotionSample {
  double position[3] = {0, 0, 0};
  double rotation[4] = {1, 0, 0, 0};  // w, x, y, z
  double velocity[3] = {0, 0, 0};
  double angularVelocity[3] = {0, 0, 0};  // world frame, rad/s
};

inline constexpr double kHeadHeight = 1.7;  // metres

MotionSample HeadsetMotion(HostOptions::Headset mode, double seconds);
// controllerNumber counts from 1 (device index 1 is controller 1).
MotionSample ControllerMotion(uint32_t controllerNumber, int32_t roleHint, double seconds);
// Left, right, left, right, then every 5th controller an "other" role: 0 and 4 in turn.
int32_t ControllerRoleHintFor(uint32_t controllerNumber);

// A valid, connected, Running_OK pose with the sample's matrix and velocities.
vr::TrackedDevicePose_t ToTrackedPose(const MotionSample &sample);

}  // namespace vantrels::host
