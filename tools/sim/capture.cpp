#include "capture.h"

#include <algorithm>
#include <cmath>

namespace vantrels::sim {

Battery BatteryAt(uint8_t index, double t) {
  if (index == 0 || index == kNoBatteryPoint) return {};
  const double drainPerSecond = 0.1 + 0.05 * (index % 5);
  if (index == kChargingPoint) {
    const double level = std::min(100.0, 40.0 + 0.5 * t);
    return {static_cast<uint8_t>(level), true};
  }
  const double start = 100.0 - static_cast<double>((index * 7) % 30);
  const double level = std::max(0.0, start - drainPerSecond * t);
  return {static_cast<uint8_t>(std::ceil(level)), false};
}

bool InDropout(const CaptureConfig &config, uint8_t index, double t) {
  if (config.dropoutPoint < 0 || index != config.dropoutPoint || config.dropoutSeconds <= 0.0) return false;
  const double start = (config.runSeconds - config.dropoutSeconds) / 2.0;
  return t >= start && t < start + config.dropoutSeconds;
}

std::vector<PointRecord> BuildRecords(const CaptureConfig &config, const BodyPose &body, double t) {
  std::vector<PointRecord> records;
  records.reserve(config.points.size());
  for (uint8_t index : config.points) {
    const PointPose &pose = body[index];
    PointRecord r;
    r.index = index;
    r.valid = !InDropout(config, index, t);
    const Battery battery = BatteryAt(index, t);
    r.batteryPercent = battery.percent;
    r.charging = battery.charging;
    r.headRelative =
        std::find(config.headRelative.begin(), config.headRelative.end(), index) != config.headRelative.end();
    r.position[0] = static_cast<float>(pose.position.x);
    r.position[1] = static_cast<float>(pose.position.y);
    r.position[2] = static_cast<float>(pose.position.z);
    const Quat q = Normalized(pose.rotation);
    r.rotation[0] = static_cast<float>(q.x);
    r.rotation[1] = static_cast<float>(q.y);
    r.rotation[2] = static_cast<float>(q.z);
    r.rotation[3] = static_cast<float>(q.w);
    if (index == 0) {
      r.headOffset[0] = static_cast<float>(kHeadOffset.x);
      r.headOffset[1] = static_cast<float>(kHeadOffset.y);
      r.headOffset[2] = static_cast<float>(kHeadOffset.z);
    }
    records.push_back(r);
  }
  return records;
}

void PlaceUnderHeadset(BodyPose &body, Vec3 headsetPosition, Quat headsetRotation, double weight) {
  const Vec3 shift = (headsetPosition - body[0].position) * weight;
  for (PointPose &p : body) p.position = p.position + shift;
  body[0].rotation = Slerp(body[0].rotation, Normalized(headsetRotation), weight);
}

double GlideWeight(double seconds) {
  const double u = std::clamp(seconds, 0.0, 1.0);
  return u * u * (3.0 - 2.0 * u);
}

}  // namespace vantrels::sim
