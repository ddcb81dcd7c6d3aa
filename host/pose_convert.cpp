#include "host/pose_convert.h"

#include <algorithm>
#include <cmath>

namespace vantrels::host {

namespace {

struct Q {
  double w, x, y, z;
};

Q FromSdk(const vr::HmdQuaternion_t &q) {
  return {q.w, q.x, q.y, q.z};
}

Q Multiply(const Q &a, const Q &b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// A zero quaternion stays zero (and gives a zero rotation block, as a broken pose should).
Q Normalised(const Q &q) {
  const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  if (!(n > 0.0)) return {0, 0, 0, 0};
  return {q.w / n, q.x / n, q.y / n, q.z / n};
}

void Rotate(const Q &q, const double (&v)[3], double (&out)[3]) {
  const Q p{0, v[0], v[1], v[2]};
  const Q r = Multiply(Multiply(q, p), Q{q.w, -q.x, -q.y, -q.z});
  out[0] = r.x;
  out[1] = r.y;
  out[2] = r.z;
}

double NormError(const vr::HmdQuaternion_t &q) {
  return std::fabs(std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z) - 1.0);
}

}  // namespace

vr::HmdMatrix34_t MatrixFrom(const double (&qa)[4], const double (&t)[3]) {
  const Q q = Normalised({qa[0], qa[1], qa[2], qa[3]});
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  const double m[3][4] = {
      {1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y), t[0]},
      {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x), t[1]},
      {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y), t[2]},
  };
  vr::HmdMatrix34_t out{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) out.m[r][c] = static_cast<float>(m[r][c]);
  }
  // A zero quaternion must not read as identity-with-holes: zero the whole rotation block.
  if (q.w == 0 && q.x == 0 && q.y == 0 && q.z == 0) {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) out.m[r][c] = 0.0f;
    }
  }
  return out;
}

WorldPose WorldPoseOf(const vr::DriverPose_t &pose) {
  const Q worldFromDriver = Normalised(FromSdk(pose.qWorldFromDriverRotation));
  const Q rotation = Normalised(FromSdk(pose.qRotation));
  const Q driverFromHead = Normalised(FromSdk(pose.qDriverFromHeadRotation));

  double headOffset[3];
  Rotate(rotation, pose.vecDriverFromHeadTranslation, headOffset);
  const double driverPosition[3] = {pose.vecPosition[0] + headOffset[0], pose.vecPosition[1] + headOffset[1],
                                    pose.vecPosition[2] + headOffset[2]};
  WorldPose out;
  Rotate(worldFromDriver, driverPosition, out.position);
  for (int i = 0; i < 3; ++i) out.position[i] += pose.vecWorldFromDriverTranslation[i];

  const Q world = Normalised(Multiply(Multiply(worldFromDriver, rotation), driverFromHead));
  out.rotation[0] = world.w;
  out.rotation[1] = world.x;
  out.rotation[2] = world.y;
  out.rotation[3] = world.z;
  return out;
}

vr::TrackedDevicePose_t WorldPoseFrom(const vr::DriverPose_t &pose) {
  const Q worldFromDriver = Normalised(FromSdk(pose.qWorldFromDriverRotation));
  const WorldPose world = WorldPoseOf(pose);

  vr::TrackedDevicePose_t out{};
  out.mDeviceToAbsoluteTracking = MatrixFrom(world.rotation, world.position);
  double velocity[3], angular[3];
  Rotate(worldFromDriver, pose.vecVelocity, velocity);
  Rotate(worldFromDriver, pose.vecAngularVelocity, angular);
  for (int i = 0; i < 3; ++i) {
    out.vVelocity.v[i] = static_cast<float>(velocity[i]);
    out.vAngularVelocity.v[i] = static_cast<float>(angular[i]);
  }
  out.eTrackingResult = pose.result;
  out.bPoseIsValid = pose.poseIsValid;
  out.bDeviceIsConnected = pose.deviceIsConnected;
  return out;
}

double QuaternionNormError(const vr::DriverPose_t &pose) {
  return std::max(
      {NormError(pose.qWorldFromDriverRotation), NormError(pose.qDriverFromHeadRotation), NormError(pose.qRotation)});
}

}  // namespace vantrels::host
