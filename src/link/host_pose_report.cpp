#include "link/host_pose_report.h"

#include <algorithm>
#include <cstring>

#include "link/poses_message.h"

namespace vantrels {

namespace {

bool IsLive(const vr::TrackedDevicePose_t &pose) {
  return pose.bPoseIsValid && pose.bDeviceIsConnected;
}

void Translation(const vr::HmdMatrix34_t &m, float (&out)[3]) {
  out[0] = m.m[0][3];
  out[1] = m.m[1][3];
  out[2] = m.m[2][3];
}

uint8_t *PutF32(uint8_t *p, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  p[0] = static_cast<uint8_t>(bits);
  p[1] = static_cast<uint8_t>(bits >> 8);
  p[2] = static_cast<uint8_t>(bits >> 16);
  p[3] = static_cast<uint8_t>(bits >> 24);
  return p + 4;
}

uint8_t *PutPose(uint8_t *p, const float (&position)[3], const WireQuat &rotation) {
  for (float v : position) p = PutF32(p, v);
  p = PutF32(p, rotation.x);
  p = PutF32(p, rotation.y);
  p = PutF32(p, rotation.z);
  return PutF32(p, rotation.w);
}

}  // namespace

int8_t ControllerRoleCode(const int32_t *deviceClass, const int32_t *roleHint) {
  if (deviceClass == nullptr || *deviceClass != vr::TrackedDeviceClass_Controller) return kRoleNotController;
  if (roleHint == nullptr) return kRoleNone;
  if (*roleHint == vr::TrackedControllerRole_LeftHand) return kRoleLeftHand;
  if (*roleHint == vr::TrackedControllerRole_RightHand) return kRoleRightHand;
  return kRoleNone;
}

HostPoses CollectHostPoses(const vr::TrackedDevicePose_t (&rawPoses)[vr::k_unMaxTrackedDeviceCount],
                           const std::array<int8_t, vr::k_unMaxTrackedDeviceCount> &roles) {
  HostPoses poses;
  const vr::TrackedDevicePose_t &headset = rawPoses[vr::k_unTrackedDeviceIndex_Hmd];
  if (IsLive(headset)) {
    poses.headsetValid = true;
    Translation(headset.mDeviceToAbsoluteTracking, poses.headsetPosition);
    poses.headsetRotation = MatrixToQuaternion(headset.mDeviceToAbsoluteTracking.m);
  } else {
    poses.headsetRotation = WireQuat{0.0f, 0.0f, 0.0f, 1.0f};
  }
  for (uint32_t i = 1; i < vr::k_unMaxTrackedDeviceCount && poses.controllerCount < kMaxReportedControllers; ++i) {
    if (roles[i] < 0 || !IsLive(rawPoses[i])) continue;
    ReportedController &c = poses.controllers[poses.controllerCount++];
    c.role = static_cast<uint8_t>(roles[i]);
    Translation(rawPoses[i].mDeviceToAbsoluteTracking, c.position);
    c.rotation = MatrixToQuaternion(rawPoses[i].mDeviceToAbsoluteTracking.m);
  }
  return poses;
}

void BuildHostPoseReport(bool headsetValid, const float (&headsetPosition)[3], const WireQuat &headsetRotation,
                         std::span<const ReportedController> controllers, std::vector<uint8_t> &out) {
  const size_t n = std::min(controllers.size(), kMaxReportedControllers);
  out.assign(kHostReportHeaderSize + n * kHostReportControllerSize, 0);
  uint8_t *p = out.data();
  std::memcpy(p, kMagic, sizeof(kMagic));
  p[4] = kProtocolVersion;
  p[5] = static_cast<uint8_t>(MessageType::HostPoses);
  p[6] = static_cast<uint8_t>(n);
  p[8] = headsetValid ? 1 : 0;
  PutPose(p + 12, headsetPosition, headsetRotation);
  for (size_t i = 0; i < n; ++i) {
    uint8_t *r = p + kHostReportHeaderSize + i * kHostReportControllerSize;
    r[0] = 1;
    r[1] = controllers[i].role;
    PutPose(r + 4, controllers[i].position, controllers[i].rotation);
  }
}

void BuildHostPoseReport(const HostPoses &poses, std::vector<uint8_t> &out) {
  BuildHostPoseReport(poses.headsetValid, poses.headsetPosition, poses.headsetRotation,
                      std::span<const ReportedController>(poses.controllers.data(), poses.controllerCount), out);
}

std::vector<uint8_t> BuildHostPoseReport(const HostPoses &poses) {
  std::vector<uint8_t> out;
  BuildHostPoseReport(poses, out);
  return out;
}

}  // namespace vantrels
