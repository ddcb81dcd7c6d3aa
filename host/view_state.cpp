#include "host/view_state.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "host/pose_convert.h"

namespace vantrels::host {

namespace {

constexpr int64_t kWindowNs = 1'000'000'000;  // rates and spreads are over the last second

ViewPose FromTracked(const vr::TrackedDevicePose_t &tracked) {
  ViewPose pose;
  pose.valid = tracked.bPoseIsValid && tracked.bDeviceIsConnected;
  const auto &m = tracked.mDeviceToAbsoluteTracking.m;
  for (int i = 0; i < 3; ++i) pose.position[i] = static_cast<double>(m[i][3]);
  pose.rotation = QuaternionOfMatrix(tracked.mDeviceToAbsoluteTracking);
  return pose;
}

const char *HandName(int32_t role) {
  switch (role) {
    case vr::TrackedControllerRole_LeftHand:
      return "left";
    case vr::TrackedControllerRole_RightHand:
      return "right";
    default:
      return "";
  }
}

double Micro(double value) {
  return std::isfinite(value) ? std::round(value * 1e6) / 1e6 : 0.0;
}

nlohmann::ordered_json PoseJson(const ViewPose &pose) {
  nlohmann::ordered_json position = nlohmann::ordered_json::array(), rotation = nlohmann::ordered_json::array();
  for (double v : pose.position) position.push_back(Micro(v));
  for (double v : pose.rotation) rotation.push_back(Micro(v));
  return {{"valid", pose.valid}, {"position", position}, {"rotation", rotation}};
}

nlohmann::ordered_json DeviceJson(const ViewDevice &device) {
  nlohmann::ordered_json out = {
      {"index", device.index},
      {"serial", device.serial},
      {"name", device.name},
      {"role", device.role.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(device.role)},
      {"hasPose", device.hasPose}};
  out.update(PoseJson(device.pose));
  out["battery"] = device.battery ? nlohmann::ordered_json(Micro(*device.battery)) : nlohmann::ordered_json(nullptr);
  out["charging"] = device.charging;
  out["rate"] = std::round(device.updatesPerSecond * 10) / 10;
  out["spreadMs"] = std::round(device.intervalSpreadMs * 100) / 100;
  out["ageMs"] = std::round(device.ageMs * 10) / 10;
  return out;
}

}  // namespace

std::array<double, 4> QuaternionOfMatrix(const vr::HmdMatrix34_t &matrix) {
  double m[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) m[r][c] = static_cast<double>(matrix.m[r][c]);
  }
  // Shepperd's method: divide by the largest of the four candidates, never by a small one.
  const double trace = m[0][0] + m[1][1] + m[2][2];
  std::array<double, 4> q;
  if (trace >= m[0][0] && trace >= m[1][1] && trace >= m[2][2]) {
    const double s = 2 * std::sqrt(std::max(0.0, 1 + trace));
    if (!(s > 0)) return {1, 0, 0, 0};
    q = {s / 4, (m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s};
  } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
    const double s = 2 * std::sqrt(std::max(0.0, 1 + m[0][0] - m[1][1] - m[2][2]));
    q = {(m[2][1] - m[1][2]) / s, s / 4, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s};
  } else if (m[1][1] >= m[2][2]) {
    const double s = 2 * std::sqrt(std::max(0.0, 1 + m[1][1] - m[0][0] - m[2][2]));
    q = {(m[0][2] - m[2][0]) / s, (m[0][1] + m[1][0]) / s, s / 4, (m[1][2] + m[2][1]) / s};
  } else {
    const double s = 2 * std::sqrt(std::max(0.0, 1 + m[2][2] - m[0][0] - m[1][1]));
    q = {(m[1][0] - m[0][1]) / s, (m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, s / 4};
  }
  double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  if (!(n > 0) || !std::isfinite(n)) return {1, 0, 0, 0};
  if (q[0] < 0) n *= -1;  // one of the two signs, w >= 0, for a steady display
  for (double &v : q) v /= n;
  return q;
}

ViewDevice ViewModel::Describe(const SubstituteHost &host, uint32_t index, const std::string &serial,
                               int64_t nowNs) const {
  ViewDevice device;
  device.index = index;
  device.serial = serial;
  device.name = host.StringProperty(index, vr::Prop_ModelNumber_String).value_or(serial);
  if (host.BoolProperty(index, vr::Prop_DeviceProvidesBatteryStatus_Bool).value_or(false)) {
    device.battery = host.FloatProperty(index, vr::Prop_DeviceBatteryPercentage_Float);
    device.charging = host.BoolProperty(index, vr::Prop_DeviceIsCharging_Bool).value_or(false);
  }
  const auto found = history_.find(index);
  if (found == history_.end() || !found->second.hasPose) return device;
  const History &h = found->second;
  device.hasPose = true;
  device.pose = h.pose;
  device.ageMs = static_cast<double>(nowNs - h.last) / 1e6;
  if (h.times.size() >= 2) {
    const double span = static_cast<double>(h.times.back() - h.times.front()) / 1e9;
    const size_t intervals = h.times.size() - 1;
    device.updatesPerSecond = span > 0 ? static_cast<double>(intervals) / span : 0.0;
    const double mean = span * 1e3 / static_cast<double>(intervals);
    double squares = 0;
    for (size_t i = 1; i < h.times.size(); ++i) {
      const double d = static_cast<double>(h.times[i] - h.times[i - 1]) / 1e6 - mean;
      squares += d * d;
    }
    device.intervalSpreadMs = std::sqrt(squares / static_cast<double>(intervals));
  }
  return device;
}

ViewSnapshot ViewModel::Snapshot(const SubstituteHost &host, int64_t nowNs) {
  // Take in the submissions since the previous snapshot (the host may have forgotten older ones).
  const auto &updates = host.PoseUpdates();
  const uint64_t forgotten = host.PoseUpdatesForgotten();
  if (seenUpdates_ > forgotten + updates.size()) seenUpdates_ = 0;  // observations were cleared
  for (size_t i = seenUpdates_ > forgotten ? seenUpdates_ - forgotten : 0; i < updates.size(); ++i) {
    const SubstituteHost::PoseUpdate &update = updates[i];
    if (update.deviceIndex >= vr::k_unMaxTrackedDeviceCount) continue;  // no device: nothing to remember
    History &h = history_[update.deviceIndex];
    h.times.push_back(update.monotonicNs);
    h.last = update.monotonicNs;
    h.hasPose = true;
    const WorldPose world = WorldPoseOf(update.pose);
    h.pose.valid = update.pose.poseIsValid;
    std::copy(std::begin(world.position), std::end(world.position), h.pose.position.begin());
    std::copy(std::begin(world.rotation), std::end(world.rotation), h.pose.rotation.begin());
  }
  seenUpdates_ = forgotten + updates.size();
  for (auto &[index, h] : history_) {
    while (!h.times.empty() && nowNs - h.times.front() > kWindowNs) h.times.pop_front();
  }

  ViewSnapshot snapshot;
  snapshot.frame = host.FrameCount() > 0 ? host.FrameCount() - 1 : 0;
  snapshot.simSeconds = host.SimSeconds();
  snapshot.headset = FromTracked(host.RawPose(vr::k_unTrackedDeviceIndex_Hmd));
  for (uint32_t n = 1; n <= host.Options().controllers; ++n) {
    ViewDevice controller;
    controller.index = n;
    controller.serial = host.StringProperty(n, vr::Prop_SerialNumber_String).value_or("");
    controller.name = controller.serial;
    controller.role = HandName(host.Int32Property(n, vr::Prop_ControllerRoleHint_Int32).value_or(0));
    controller.pose = FromTracked(host.RawPose(n));
    controller.hasPose = true;
    snapshot.controllers.push_back(std::move(controller));
  }
  const std::string rolePrefix = "/devices/" + host.DriverName() + "/";
  for (const SubstituteHost::Announcement &a : host.Announcements()) {
    if (!a.accepted) continue;
    ViewDevice tracker = Describe(host, a.deviceIndex, a.serial, nowNs);
    const auto role = host.Setting("trackers", rolePrefix + a.serial);
    if (role && role->is_string()) tracker.role = role->get<std::string>();
    snapshot.trackers.push_back(std::move(tracker));
  }
  const auto &lines = host.LogLines();
  const size_t first = lines.size() > kViewLogLines ? lines.size() - kViewLogLines : 0;
  snapshot.log.assign(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end());
  return snapshot;
}

std::string ViewJson(const ViewSnapshot &snapshot) {
  nlohmann::ordered_json out = {{"frame", snapshot.frame}, {"simSeconds", Micro(snapshot.simSeconds)}};
  out["headset"] = PoseJson(snapshot.headset);
  const auto devices = [](const std::vector<ViewDevice> &list) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const ViewDevice &d : list) array.push_back(DeviceJson(d));
    return array;
  };
  out["controllers"] = devices(snapshot.controllers);
  out["trackers"] = devices(snapshot.trackers);
  nlohmann::ordered_json log = nlohmann::ordered_json::array();
  for (const std::string &line : snapshot.log) log.push_back(line.substr(0, 500));
  out["log"] = std::move(log);
  // Driver text need not be valid UTF-8.
  return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace vantrels::host
