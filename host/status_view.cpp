#include "host/status_view.h"

#include <cmath>
#include <cstdio>
#include <map>

namespace vantrels::host {

std::string StatusView::Render(const SubstituteHost &host, double seconds) {
  // Updates are counted from the start of the run: the host may have forgotten older ones.
  const auto &updates = host.PoseUpdates();
  const uint64_t forgotten = host.PoseUpdatesForgotten();
  if (seenUpdates_ > forgotten + updates.size()) seenUpdates_ = 0;  // observations were cleared
  std::map<uint32_t, size_t> counts;
  for (size_t i = seenUpdates_ > forgotten ? seenUpdates_ - forgotten : 0; i < updates.size(); ++i) {
    ++counts[updates[i].deviceIndex];
  }
  seenUpdates_ = forgotten + updates.size();

  std::string out;
  char line[256];
  std::snprintf(line, sizeof line, "%-24s %5s %7s %25s %5s %7s\n", "serial", "index", "pose/s", "position (m)", "valid",
                "battery");
  out += line;
  for (const auto &a : host.Announcements()) {
    if (!a.accepted) continue;
    const vr::TrackedDevicePose_t pose = host.RawPose(a.deviceIndex);
    const auto &m = pose.mDeviceToAbsoluteTracking.m;
    const double rate = seconds > 0 ? static_cast<double>(counts[a.deviceIndex]) / seconds : 0.0;
    char position[64];
    std::snprintf(position, sizeof position, "%.3f,%.3f,%.3f", static_cast<double>(m[0][3]),
                  static_cast<double>(m[1][3]), static_cast<double>(m[2][3]));
    std::string battery = "-";
    const auto provides = host.BoolProperty(a.deviceIndex, vr::Prop_DeviceProvidesBatteryStatus_Bool);
    const auto level = host.FloatProperty(a.deviceIndex, vr::Prop_DeviceBatteryPercentage_Float);
    if (provides.value_or(false) && level) {
      char text[32];
      std::snprintf(text, sizeof text, "%.0f%%", static_cast<double>(*level) * 100.0);
      battery = text;
    }
    std::snprintf(line, sizeof line, "%-24s %5u %7.1f %25s %5s %7s\n", a.serial.c_str(), a.deviceIndex, rate, position,
                  pose.bPoseIsValid ? "yes" : "no", battery.c_str());
    out += line;
  }
  return out;
}

}  // namespace vantrels::host
