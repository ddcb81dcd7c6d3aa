#include "host/simulated_motion.h"

#include <cmath>
#include <numbers>

#include "host/pose_convert.h"

namespace vantrels::host {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Rotation yaw (about +y) after pitch (about +x): q = qy(yaw) * qx(pitch).
void YawPitchQuaternion(double yaw, double pitch, double (&q)[4]) {
  const double cy = std::cos(yaw / 2), sy = std::sin(yaw / 2);
  const double cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
  q[0] = cy * cp;
  q[1] = cy * sp;
  q[2] = sy * cp;
  q[3] = -sy * sp;
}

}  // namespace

MotionSample HeadsetMotion(HostOptions::Headset mode, double t) {
  MotionSample s;
  if (mode == HostOptions::Headset::Off) {
    s.rotation[0] = 0;
    return s;
  }
  s.position[1] = kHeadHeight;
  if (mode == HostOptions::Headset::Still) return s;

  // Sway sideways, bob, lean forward and back, nod and look around, each at its own rate.
  const double wSway = kTwoPi * 0.25, wBob = kTwoPi * 0.5, wNod = kTwoPi * 0.4, wYaw = kTwoPi * 0.1;
  const double sway = 0.05, bob = 0.02, lean = 0.03, nod = 0.15, look = 0.5;
  s.position[0] = sway * std::sin(wSway * t);
  s.position[1] = kHeadHeight + bob * std::sin(wBob * t);
  s.position[2] = lean * std::sin(wNod * t);
  s.velocity[0] = sway * wSway * std::cos(wSway * t);
  s.velocity[1] = bob * wBob * std::cos(wBob * t);
  s.velocity[2] = lean * wNod * std::cos(wNod * t);

  const double yaw = look * std::sin(wYaw * t), yawRate = look * wYaw * std::cos(wYaw * t);
  const double pitch = nod * std::sin(wNod * t), pitchRate = nod * wNod * std::cos(wNod * t);
  YawPitchQuaternion(yaw, pitch, s.rotation);
  // omega = yaw' * y + pitch' * (Ry(yaw) x)
  s.angularVelocity[0] = pitchRate * std::cos(yaw);
  s.angularVelocity[1] = yawRate;
  s.angularVelocity[2] = -pitchRate * std::sin(yaw);
  return s;
}

int32_t ControllerRoleHintFor(uint32_t controllerNumber) {
  if (controllerNumber % 5 == 0)
    return (controllerNumber / 5) % 2 == 1 ? vr::TrackedControllerRole_Invalid : vr::TrackedControllerRole_Treadmill;
  return controllerNumber % 2 == 1 ? vr::TrackedControllerRole_LeftHand : vr::TrackedControllerRole_RightHand;
}

MotionSample ControllerMotion(uint32_t controllerNumber, int32_t roleHint, double t) {
  MotionSample s;
  // Hands in front of the body at chest height (-z is forward); other roles lower and further out.
  double base[3] = {0.0, 0.9, -0.5};
  if (roleHint == vr::TrackedControllerRole_LeftHand) {
    base[0] = -0.2;
    base[1] = 1.1;
    base[2] = -0.35;
  } else if (roleHint == vr::TrackedControllerRole_RightHand) {
    base[0] = 0.2;
    base[1] = 1.1;
    base[2] = -0.35;
  } else {
    base[0] = 0.1 * static_cast<double>(controllerNumber % 7) - 0.3;
  }
  const double phase = 0.7 * static_cast<double>(controllerNumber);
  const double w = kTwoPi * 0.3, radius = 0.05, twist = 0.3;
  const double a = w * t + phase;
  s.position[0] = base[0] + radius * std::cos(a);
  s.position[1] = base[1] + radius * std::sin(a);
  s.position[2] = base[2];
  s.velocity[0] = -radius * w * std::sin(a);
  s.velocity[1] = radius * w * std::cos(a);
  const double yaw = twist * std::sin(a);
  YawPitchQuaternion(yaw, 0.0, s.rotation);
  s.angularVelocity[1] = twist * w * std::cos(a);
  return s;
}

vr::TrackedDevicePose_t ToTrackedPose(const MotionSample &sample) {
  vr::TrackedDevicePose_t pose{};
  pose.mDeviceToAbsoluteTracking = MatrixFrom(sample.rotation, sample.position);
  for (int i = 0; i < 3; ++i) {
    pose.vVelocity.v[i] = static_cast<float>(sample.velocity[i]);
    pose.vAngularVelocity.v[i] = static_cast<float>(sample.angularVelocity[i]);
  }
  pose.eTrackingResult = vr::TrackingResult_Running_OK;
  pose.bPoseIsValid = true;
  pose.bDeviceIsConnected = true;
  return pose;
}

}  // namespace vantrels::host
