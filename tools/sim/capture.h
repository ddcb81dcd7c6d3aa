#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "motion_model.h"
#include "poses_encoder.h"

namespace vantrels::sim {

// What the simulated trackers report besides their poses.
struct CaptureConfig {
  std::vector<uint8_t> points;        // body points to report, in this order
  std::vector<uint8_t> headRelative;  // of those, the ones flagged head-relative
  double runSeconds = 10.0;           // the dropout sits in the middle of the run
  int dropoutPoint = 16;              // -1: no point loses tracking
  double dropoutSeconds = 2.0;
};

// The body point without a battery (it reports 255) and the one that is charging.
inline constexpr uint8_t kNoBatteryPoint = 2;  // waist
inline constexpr uint8_t kChargingPoint = 1;   // chest

struct Battery {
  uint8_t percent = 255;
  bool charging = false;
};

// Battery state of a body point t seconds into the run. Every tracker starts at its own level
// and drains by a fraction of a percent per second; the charging one climbs towards 100; the
// head (it is the headset, not a tracker) and the waist report no battery.
Battery BatteryAt(uint8_t index, double t);

// True while the dropout point has lost tracking: dropoutSeconds centred on the run's middle.
bool InDropout(const CaptureConfig &config, uint8_t index, double t);

// The records of one capture at t seconds into the run. The head record also carries the head
// offset (the driver uses it from version 2 on).
std::vector<PointRecord> BuildRecords(const CaptureConfig &config, const BodyPose &body, double t);

// Moves the whole body so that its eyes are at the headset and gives the head the headset's
// rotation: the person is standing under the headset the driver reported. With a weight below
// 1 the body goes only that part of the way (position and head rotation), so that it can glide
// under the headset instead of jumping there when the first report arrives.
void PlaceUnderHeadset(BodyPose &body, Vec3 headsetPosition, Quat headsetRotation, double weight = 1.0);

// How far the body has glided under the headset, 0 to 1, `seconds` after the first report with a
// valid headset: a smooth step over one second.
double GlideWeight(double seconds);

}  // namespace vantrels::sim
