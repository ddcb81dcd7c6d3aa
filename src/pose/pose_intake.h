#pragma once

#include <cstdint>
#include <optional>

#include "link/poses_message.h"
#include "pose/pose_filter.h"
#include "pose/pose_math.h"

namespace vantrels {

class TrackerDevice;

// A received pose can be used when its seven numbers are finite and its rotation is not
// (nearly) zero; the same test guards the head record.
bool IsUsablePose(const float (&position)[3], const float (&rotation)[4]);

// The record's rotation (x, y, z, w on the wire) as a Quat (w, x, y, z) in double precision.
Quat ToQuat(const float (&rotation)[4]);
Vec3 ToVec3(const float (&v)[3]);

// Feeds one received record to its tracker's filter, or discards it when it is not usable.
void ApplyRecord(TrackerDevice &tracker, const PointSample &record, const std::optional<Vec3> &headAnchor,
                 double sampleTime, double now, const FilterSettings &settings);

// Steps the tracker's filter for this frame and hands its pose to the host.
void SubmitFramePose(TrackerDevice &tracker, const std::optional<Vec3> &headNow, const Vec3 &headStep,
                     const Vec3 &headVelocity, double now, double dt, const FilterSettings &settings);

// Marks a tracker without a valid pose for a second as out of range, once.
void CheckTimeout(TrackerDevice &tracker, int64_t frameTime);

}  // namespace vantrels
