#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "motion_model.h"
#include "sim_math.h"

namespace vantrels::sim {

// One ground truth line of vantrels-sim --record.
struct TruthSample {
  int64_t tNs = 0;
  Vec3 position;
  Quat rotation;
  bool valid = true;
};

// Ground truth per body point, each series sorted by time.
struct Truth {
  std::array<std::vector<TruthSample>, kPointCount> points;
  size_t badLines = 0;
};

// One valid pose the driver submitted for a tracker, in tracking space.
struct Submission {
  int64_t tNs = 0;
  uint8_t index = 0;  // body point
  Vec3 position;
  Quat rotation;
};

struct HostRecord {
  std::vector<Submission> submissions;
  size_t invalidPoses = 0;   // poseIsValid false: not compared
  size_t unknownDevice = 0;  // device index never announced with a body point serial
  size_t missingTime = 0;    // pose submissions without a monotonic time stamp
  size_t badLines = 0;
};

// Body point index of a tracker serial ("VANTRL-CHEST" is 1), or nullopt.
std::optional<uint8_t> BodyPointForSerial(std::string_view serial);
// Body point index of a tracker named by serial, by name in any case with dashes, underscores
// or spaces ("left-foot", "Left Foot"), or by number ("5"); nullopt for anything else.
std::optional<uint8_t> BodyPointForName(std::string_view name);
const char *SerialForBodyPoint(uint8_t index);

// Readers for the two JSON Lines files. Lines that cannot be understood are counted and
// skipped, so a record cut short by a crash still gives what it has.
Truth ReadTruth(std::istream &in);
HostRecord ReadHostRecord(std::istream &in);

// The body point's true pose at tNs: positions interpolated linearly, rotations by slerp.
// nullopt outside the series' time range and between two samples either of which was sent as
// not tracked (there is nothing the driver should have shown then).
std::optional<PointPose> TruthAt(const std::vector<TruthSample> &series, int64_t tNs);

struct ErrorStats {
  size_t count = 0;
  double positionRmsMm = 0.0;
  double positionP95Mm = 0.0;
  double rotationRmsDeg = 0.0;
  double rotationP95Deg = 0.0;
};

// One compared pose: when, which tracker, how far off, and where it was against where it should have been.
struct ErrorSample {
  int64_t tNs = 0;
  uint8_t index = 0;
  double positionMm = 0.0;
  double rotationDeg = 0.0;
  Vec3 submitted;
  Vec3 truth;
};

struct Evaluation {
  std::vector<std::pair<uint8_t, ErrorStats>> perPoint;  // in body point order, only points with poses
  ErrorStats overall;
  size_t outsideTruth = 0;           // submissions before the first or after the last truth sample
  size_t notTracked = 0;             // submissions while the truth says the point was lost
  std::vector<ErrorSample> samples;  // every compared pose, in submission order
};

Evaluation Evaluate(const Truth &truth, const std::vector<Submission> &submissions);

// The per-tracker table and the overall row, followed by what was skipped and why.
std::string FormatEvaluation(const Evaluation &evaluation, const HostRecord &host);

// The compared poses as CSV for the plot script, one line per pose, times in seconds from the
// first compared pose:
//   t_s,tracker,position_error_mm,rotation_error_deg,x,y,z,true_x,true_y,true_z
void WritePlotData(const Evaluation &evaluation, std::ostream &out);

}  // namespace vantrels::sim
