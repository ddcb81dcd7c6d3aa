// What the live view shows after a frame: the host's headset and controllers, every tracker the
// driver added with its last submitted pose and how steadily its poses come, and the driver's
// last log lines. Built on the frame thread from the host's observations; its JSON text is what
// the page's stream carries.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/substitute_host.h"

namespace vantrels::host {

// A pose in the world frame (right-handed, y up, metres).
struct ViewPose {
  bool valid = false;
  std::array<double, 3> position{0, 0, 0};
  std::array<double, 4> rotation{1, 0, 0, 0};  // w, x, y, z
};

struct ViewDevice {
  uint32_t index = 0;
  std::string serial;
  std::string name;  // model number, or the serial when the device has none
  std::string role;  // the tracker role written to the settings, or the controller's hand; empty: none
  bool hasPose = false;
  ViewPose pose;
  std::optional<double> battery;  // 0 to 1 as the device reports it; none when it has no battery
  bool charging = false;
  double updatesPerSecond = 0;  // pose submissions over the last second
  double intervalSpreadMs = 0;  // standard deviation of the intervals between them
  double ageMs = 0;             // since the last submission
};

struct ViewSnapshot {
  uint64_t frame = 0;  // the record's "frame" of the RunFrame after which this was taken
  double simSeconds = 0;
  ViewPose headset;
  std::vector<ViewDevice> controllers;  // the host's own
  std::vector<ViewDevice> trackers;     // the driver's accepted devices, in announcement order
  std::vector<std::string> log;         // the driver's last lines, oldest first
};

inline constexpr size_t kViewLogLines = 12;

// Builds one snapshot per frame; remembers each device's recent submission times and last pose.
class ViewModel {
 public:
  // nowNs is on the clock of the host's pose update stamps (steady_clock).
  ViewSnapshot Snapshot(const SubstituteHost &host, int64_t nowNs);

 private:
  struct History {
    std::deque<int64_t> times;  // submissions within the last second
    int64_t last = 0;
    bool hasPose = false;
    ViewPose pose;
  };
  ViewDevice Describe(const SubstituteHost &host, uint32_t index, const std::string &serial, int64_t nowNs) const;

  std::map<uint32_t, History> history_;
  uint64_t seenUpdates_ = 0;  // pose updates taken in so far, the host's forgotten ones included
};

// Rotation (w, x, y, z) of the rotation block of a rigid transform.
std::array<double, 4> QuaternionOfMatrix(const vr::HmdMatrix34_t &m);

// The stream's JSON object for a snapshot; numbers are rounded to the micrometre.
std::string ViewJson(const ViewSnapshot &snapshot);

}  // namespace vantrels::host
