#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "sim_math.h"

namespace vantrels::sim {

// The body point numbering the driver understands: 0 is the head (the eyes, where a headset
// sits), 1 to 19 are the trackable points.
inline constexpr int kPointCount = 20;

enum class Motion { Idle, Walk, Dance };

std::optional<Motion> ParseMotion(std::string_view name);

// Where the head point sits relative to the eyes, in the head's own frame: 8 cm down and
// 9 cm back, roughly the centre of the head above the top of the neck. It travels with the head
// record so that the driver can anchor head-relative points to the same spot on the headset.
inline constexpr Vec3 kHeadOffset{0.0, -0.08, 0.09};

struct PointPose {
  Vec3 position;
  Quat rotation;
};

// Every body point of the simulated person at one moment, indexed by body point index.
using BodyPose = std::array<PointPose, kPointCount>;

// Poses of a person about 1.75 m tall at time t seconds into the motion. The person stands on
// the floor (y = 0): the pelvis height follows the legs so that the lower ankle stays at ankle
// height. Every point's rotation is the rotation of the body segment it sits on (knees carry
// the thigh, shins the shin, elbows the upper arm, forearms and hands the forearm, feet the
// foot), so rotations follow the limbs. All motions are smooth functions of t.
BodyPose SampleBody(Motion motion, double t);

}  // namespace vantrels::sim
