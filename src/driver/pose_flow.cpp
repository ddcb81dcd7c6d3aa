// What the provider does with each accepted POSES message and, once per frame, with its
// trackers: the server time base, the head point and the hand-over to the pose pipeline.
#include <algorithm>
#include <cmath>

#include "driver/device_provider.h"
#include "pose/pose_intake.h"
#include "trackers/tracker_device.h"

namespace vantrels {

namespace {

bool IsFinite(const Vec3 &v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool HasFiniteVelocities(const vr::TrackedDevicePose_t &pose) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(pose.vVelocity.v[i]) || !std::isfinite(pose.vAngularVelocity.v[i])) return false;
  return true;
}

Vec3 ToVec3(const vr::HmdVector3_t &v) {
  return Vec3{v.v[0], v.v[1], v.v[2]};
}

}  // namespace

double DeviceProvider::MapToServerTime(const PosesHeader &header, double now) {
  ServerClock &clock = serverClock;
  if (!header.hasServerTime) {
    clock.minDelay = 0.0;
    clock.hasStamp = false;
    return now;
  }
  const uint32_t s = header.serverTimeUs;
  bool followed = false;
  // After a long silence the stamp may have wrapped any number of times; start afresh.
  if (clock.hasStamp && now - clock.lastStampNow <= kStampSilenceRestartSeconds) {
    const int32_t d = static_cast<int32_t>(s - clock.lastStampUs);  // wrapping difference, read as signed
    if (d >= -1'000'000) {
      clock.serverTime += static_cast<double>(d) / 1e6;
      followed = true;
    }
  }
  if (!followed) {
    clock.hasStamp = true;
    clock.serverTime = now;
    clock.minDelay = 0.0;
  }
  clock.lastStampUs = s;
  clock.lastStampNow = now;
  clock.minDelay = std::min(clock.minDelay, now - clock.serverTime);
  return clock.serverTime;
}

std::optional<Vec3> DeviceProvider::HeadAnchorOf(const PosesHeader &header, const std::vector<PointSample> &records) {
  if (header.version < 3) return std::nullopt;
  const auto head =
      std::find_if(records.begin(), records.end(), [](const PointSample &r) { return r.index == 0 && r.valid; });
  if (head == records.end()) return std::nullopt;
  // One broken head record would otherwise poison the stored offset, and with it every
  // head-relative tracker, for the rest of the session.
  const Vec3 offset = ToVec3(head->headOffset);
  if (!IsUsablePose(head->position, head->rotation) || !IsFinite(offset)) return std::nullopt;
  haveHeadOffset = true;
  headOffset = offset;
  return ToVec3(head->position) + Rotate(NormalizeOrIdentity(ToQuat(head->rotation)), headOffset);
}

void DeviceProvider::OnPosesMessage(const PosesHeader &header, const std::vector<PointSample> &records, double now) {
  settings.smoothingSeconds = header.smoothingMs / 1000.0;
  settings.prediction = header.prediction;
  settings.adaptiveSmoothing = header.adaptiveSmoothing;

  const double sampleTime = MapToServerTime(header, now);
  const std::optional<Vec3> headAnchor = HeadAnchorOf(header, records);

  for (const PointSample &record : records) {
    TrackerDevice *tracker = GetOrAddTracker(record.index);
    if (tracker == nullptr) continue;
    ApplyRecord(*tracker, record, headAnchor, sampleTime, now - serverClock.minDelay, settings);
  }
}

void DeviceProvider::UpdateTrackers(const vr::TrackedDevicePose_t (&rawPoses)[vr::k_unMaxTrackedDeviceCount], int64_t t,
                                    double now, double dt) {
  // The head point as the headset places it now. A headset pose with a non-finite number is
  // treated as absent, so that it cannot turn every head-relative tracker into NaN. One in the
  // matrix, or a rotation too large for its single precision, gives a non-finite point; finite
  // velocities and offset keep the velocity finite.
  std::optional<Vec3> headNow;
  Vec3 headStep;
  Vec3 headVelocity;
  const vr::TrackedDevicePose_t &headset = rawPoses[vr::k_unTrackedDeviceIndex_Hmd];
  if (headset.bPoseIsValid && headset.bDeviceIsConnected && haveHeadOffset && HasFiniteVelocities(headset)) {
    const vr::HmdMatrix34_t &m = headset.mDeviceToAbsoluteTracking;
    const WireQuat w = MatrixToQuaternion(m.m);
    const Quat q = NormalizeOrIdentity(Quat{w.w, w.x, w.y, w.z});
    const Vec3 r = Rotate(q, headOffset);
    const Vec3 point = r + Vec3{m.m[0][3], m.m[1][3], m.m[2][3]};
    if (IsFinite(point)) {
      headNow = point;
      headVelocity = ToVec3(headset.vVelocity) + Cross(ToVec3(headset.vAngularVelocity), r);
    }
  }
  if (headNow) {
    headStep = havePrevHeadNow ? *headNow - prevHeadNow : Vec3{};
    havePrevHeadNow = true;
    prevHeadNow = *headNow;
  } else {
    havePrevHeadNow = false;
    prevHeadNow = Vec3{};
  }

  // The smallest delay creeps up by 1 ms a second so that it can follow a drift of the clocks.
  serverClock.minDelay += dt * 0.001;
  const double pipelineTime = now - serverClock.minDelay;

  for (auto &slot : trackerSlots)
    if (slot) SubmitFramePose(*slot, headNow, headStep, headVelocity, pipelineTime, dt, settings);
  for (auto &slot : trackerSlots)
    if (slot) CheckTimeout(*slot, t);
}

}  // namespace vantrels
