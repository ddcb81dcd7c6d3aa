// Turns what a driver submits (a DriverPose_t: pose in driver space plus the world-from-driver
// and driver-from-head transforms) into what the host reports back (a TrackedDevicePose_t).
#pragma once

#include <openvr_driver.h>

namespace vantrels::host {

// Row-major 3x4 matrix of rotation q (w, x, y, z; normalised here) and translation t.
vr::HmdMatrix34_t MatrixFrom(const double (&q)[4], const double (&t)[3]);

// Where a submitted pose puts the device in the world, in double precision: position in metres
// and rotation w, x, y, z (unit length, or all zero for a pose whose rotation is zero).
struct WorldPose {
  double position[3];
  double rotation[4];
};
WorldPose WorldPoseOf(const vr::DriverPose_t &pose);

// world = worldFromDriver * driverPose * driverFromHead; velocities rotated into the world.
// Validity, connection and tracking result are taken from the pose.
vr::TrackedDevicePose_t WorldPoseFrom(const vr::DriverPose_t &pose);

// Largest deviation of the pose's three quaternions from unit length.
double QuaternionNormError(const vr::DriverPose_t &pose);

}  // namespace vantrels::host
