#include "motion_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vantrels::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Skeleton lengths in metres, measured from the pelvis centre and along the segments.
constexpr double kSpineBase = 0.10;  // pelvis centre to the lumbar joint (waist height)
constexpr double kChest = 0.22;
constexpr double kUpperChest = 0.32;
constexpr double kNeck = 0.46;
constexpr double kShoulderHeight = 0.36;
constexpr double kShoulderHalfWidth = 0.19;
constexpr double kUpperArm = 0.29;
constexpr double kForearmMid = 0.13;
constexpr double kHand = 0.34;  // elbow to palm
constexpr double kHipHalfWidth = 0.09;
constexpr double kHipDrop = 0.03;
constexpr double kThigh = 0.44;
constexpr double kShinMid = 0.21;
constexpr double kShin = 0.42;
constexpr double kAnkleHeight = 0.08;
constexpr Vec3 kNeckToEyes{0.0, 0.11, -0.09};

// Joint angles in radians. Positive flexion swings a limb forward (toward -z), positive knee
// bend folds the shin backward, positive elbow bend folds the forearm forward, positive
// abduction lifts a limb away from the body's midline.
struct Limb {
  double flex = 0.0;
  double abduct = 0.0;
  double bend = 0.0;
};

struct Posture {
  Vec3 root;               // on the floor below the pelvis
  double yaw = 0.0;        // heading about +y; 0 faces -z
  double sway = 0.0;       // sideways pelvis shift in metres
  double pelvisYaw = 0.0;  // pelvis relative to the heading
  double pelvisRoll = 0.0;
  double spineLean = 0.0;  // forward
  double spineTwist = 0.0;
  double spineRoll = 0.0;
  double breath = 0.0;  // chest wall displacement in metres
  double headYaw = 0.0;
  double headPitch = 0.0;  // positive looks down
  Limb arm[2];             // 0 left, 1 right
  Limb leg[2];
};

Posture Idle(double t) {
  Posture p;
  const double sway = std::sin(kTwoPi * 0.2 * t);
  const double breath = std::sin(kTwoPi * 0.25 * t);
  p.sway = 0.015 * sway;
  p.pelvisRoll = -0.02 * sway;
  p.pelvisYaw = 0.03 * std::sin(kTwoPi * 0.13 * t);
  p.spineLean = 0.03 + 0.01 * breath;
  p.breath = 0.006 * breath;
  p.headYaw = 0.35 * std::sin(kTwoPi * 0.07 * t) + 0.1 * std::sin(kTwoPi * 0.23 * t);
  p.headPitch = 0.1 + 0.05 * std::sin(kTwoPi * 0.11 * t);
  for (int s = 0; s < 2; ++s) {
    const double phase = s == 0 ? 0.0 : 1.3;
    p.arm[s] = {0.05 * std::sin(kTwoPi * 0.2 * t + phase), 0.12, 0.2 + 0.05 * std::sin(kTwoPi * 0.17 * t + phase)};
    p.leg[s] = {0.0, 0.05, 0.05};
  }
  return p;
}

Posture Walk(double t) {
  // One lap of a 1.5 m circle at 1 m/s, 0.9 strides per second.
  constexpr double kRadius = 1.5;
  constexpr double kSpeed = 1.0;
  Posture p;
  const double lap = kSpeed / kRadius * t;
  p.root = {kRadius * std::cos(lap), 0.0, -kRadius * std::sin(lap)};
  p.yaw = lap;  // the heading is the circle's tangent
  const double phi = kTwoPi * 0.9 * t;
  p.sway = 0.02 * std::sin(phi);
  p.pelvisYaw = 0.12 * std::sin(phi);
  p.pelvisRoll = 0.04 * std::sin(2.0 * phi);
  p.spineTwist = -0.15 * std::sin(phi);
  p.spineLean = 0.06;
  p.breath = 0.004 * std::sin(kTwoPi * 0.4 * t);
  // The head keeps looking along the path while the trunk twists under it.
  p.headYaw = -(p.pelvisYaw + p.spineTwist) + 0.1 * std::sin(kTwoPi * 0.1 * t);
  p.headPitch = 0.12;
  for (int s = 0; s < 2; ++s) {
    const double legPhase = phi + (s == 0 ? 0.0 : std::numbers::pi);
    const double swing = std::max(0.0, std::cos(legPhase));  // thigh moving forward: swing phase
    p.leg[s] = {0.40 * std::sin(legPhase), 0.03, 0.1 + 0.5 * swing * swing};
    // Arms swing against the leg of the same side.
    const double armFlex = -0.35 * std::sin(legPhase);
    p.arm[s] = {armFlex, 0.1, 0.35 + 0.15 * armFlex};
  }
  return p;
}

// Turns once around every 8 seconds: still for 6 s, then a full turn eased in and out over 2 s.
double DanceTurn(double t) {
  const double cycles = std::floor(t / 8.0);
  const double u = t / 8.0 - cycles;
  double turn = cycles * kTwoPi;
  if (u > 0.75) turn += kTwoPi * (1.0 - std::cos(std::numbers::pi * (u - 0.75) / 0.25)) / 2.0;
  return turn;
}

Posture Dance(double t) {
  Posture p;
  const double beat = kTwoPi * 2.0 * t;  // 120 beats per minute
  const double hips = kTwoPi * 1.0 * t;
  p.root = {0.15 * std::sin(kTwoPi * 0.25 * t), 0.0, 0.1 * std::sin(kTwoPi * 0.125 * t)};
  p.yaw = 0.7 * std::sin(kTwoPi * 0.1 * t) + DanceTurn(t);
  p.sway = 0.07 * std::sin(hips);
  p.pelvisRoll = 0.12 * std::sin(hips);
  p.pelvisYaw = 0.15 * std::sin(hips / 2.0);
  p.spineRoll = -0.08 * std::sin(hips);
  p.spineTwist = 0.2 * std::sin(hips / 2.0 + 1.0);
  p.spineLean = 0.05 + 0.05 * std::sin(beat);
  p.breath = 0.006 * std::sin(kTwoPi * 0.5 * t);
  p.headYaw = 0.3 * std::sin(hips / 2.0);
  p.headPitch = 0.1 * std::sin(beat);
  for (int s = 0; s < 2; ++s) {
    const double side = s == 0 ? 0.0 : std::numbers::pi;  // the arms move in opposition
    p.arm[s] = {0.8 + 0.7 * std::sin(beat / 2.0 + 0.6 * side), 0.9 + 0.5 * std::sin(hips + side),
                0.9 + 0.5 * std::sin(beat + side)};
    p.leg[s] = {0.12 + 0.08 * std::sin(beat) + 0.15 * std::sin(hips + side), 0.1, 0.25 + 0.15 * std::sin(beat)};
  }
  return p;
}

}  // namespace

std::optional<Motion> ParseMotion(std::string_view name) {
  if (name == "idle") return Motion::Idle;
  if (name == "walk") return Motion::Walk;
  if (name == "dance") return Motion::Dance;
  return std::nullopt;
}

BodyPose SampleBody(Motion motion, double t) {
  const Posture p = motion == Motion::Walk ? Walk(t) : motion == Motion::Dance ? Dance(t) : Idle(t);
  BodyPose body;
  auto set = [&body](int index, Vec3 position, Quat rotation) {
    body[static_cast<size_t>(index)] = {position, rotation};
  };

  // Build the skeleton with the pelvis centre at height 0 first; it is lifted onto the floor below.
  const Quat heading = RotY(p.yaw);
  const Vec3 pelvis = Rotate(heading, {p.sway, 0.0, 0.0});
  const Quat qPelvis = heading * RotY(p.pelvisYaw) * RotZ(p.pelvisRoll);
  const Vec3 spineBase = pelvis + Rotate(qPelvis, {0.0, kSpineBase, 0.0});
  const Quat qSpine = qPelvis * RotY(p.spineTwist) * RotZ(p.spineRoll) * RotX(-p.spineLean);
  const Quat qHead = qSpine * RotY(p.headYaw) * RotX(-p.headPitch);
  const Vec3 neck = spineBase + Rotate(qSpine, {0.0, kNeck, 0.0});

  set(0, neck + Rotate(qHead, kNeckToEyes), qHead);
  set(1, spineBase + Rotate(qSpine, {0.0, kChest, -p.breath}), qSpine);
  set(2, spineBase, qPelvis);
  set(9, neck, qSpine);
  set(10, spineBase + Rotate(qSpine, {0.0, kUpperChest, -0.5 * p.breath}), qSpine);
  set(11, pelvis, qPelvis);

  double lowestAnkle = 0.0;
  for (int s = 0; s < 2; ++s) {
    const double side = s == 0 ? -1.0 : 1.0;  // left is -x when facing -z
    const Limb &arm = p.arm[s];
    const Vec3 shoulder = spineBase + Rotate(qSpine, {side * kShoulderHalfWidth, kShoulderHeight, 0.0});
    const Quat qUpperArm = qSpine * RotZ(side * arm.abduct) * RotX(arm.flex);
    const Vec3 elbow = shoulder + Rotate(qUpperArm, {0.0, -kUpperArm, 0.0});
    const Quat qForearm = qUpperArm * RotX(arm.bend);
    set(s == 0 ? 12 : 13, shoulder, qSpine);
    set(s == 0 ? 7 : 8, elbow, qUpperArm);
    set(s == 0 ? 14 : 15, elbow + Rotate(qForearm, {0.0, -kForearmMid, 0.0}), qForearm);
    set(s == 0 ? 16 : 17, elbow + Rotate(qForearm, {0.0, -kHand, 0.0}), qForearm);

    const Limb &leg = p.leg[s];
    const Vec3 hip = pelvis + Rotate(qPelvis, {side * kHipHalfWidth, -kHipDrop, 0.0});
    const Quat qThigh = qPelvis * RotZ(side * leg.abduct) * RotX(leg.flex);
    const Vec3 knee = hip + Rotate(qThigh, {0.0, -kThigh, 0.0});
    const Quat qShin = qThigh * RotX(-leg.bend);
    const Vec3 ankle = knee + Rotate(qShin, {0.0, -kShin, 0.0});
    // The ankle keeps the foot roughly level whatever the hip and knee do.
    const Quat qFoot = qShin * RotX(leg.bend - leg.flex);
    set(s == 0 ? 3 : 4, knee, qThigh);
    set(s == 0 ? 18 : 19, knee + Rotate(qShin, {0.0, -kShinMid, 0.0}), qShin);
    set(s == 0 ? 5 : 6, ankle + Rotate(qFoot, {0.0, -0.03, -0.06}), qFoot);
    lowestAnkle = s == 0 ? ankle.y : std::min(lowestAnkle, ankle.y);
  }

  const Vec3 lift = p.root + Vec3{0.0, kAnkleHeight - lowestAnkle, 0.0};
  for (PointPose &point : body) point.position = point.position + lift;
  return body;
}

}  // namespace vantrels::sim
