#include "pose/pose_math.h"

namespace vantrels {

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Above this cosine the two rotations are so close that sin θ loses precision; blend linearly.
constexpr double kSlerpLinearCos = 0.9995;

}  // namespace

Vec3 Rotate(const Quat &q, const Vec3 &v) {
  const Vec3 u{q.x, q.y, q.z};
  const Vec3 t = Cross(u, v) * 2.0;
  return v + t * q.w + Cross(u, t);
}

Quat Slerp(const Quat &a, const Quat &b, double t) {
  double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  Quat end = b;
  if (d < 0.0) {
    end = {-b.w, -b.x, -b.y, -b.z};
    d = -d;
  }
  double wa = 1.0 - t;
  double wb = t;
  if (d < kSlerpLinearCos) {
    const double theta = std::acos(d);
    const double sinTheta = std::sin(theta);
    wa = std::sin((1.0 - t) * theta) / sinTheta;
    wb = std::sin(t * theta) / sinTheta;
  }
  return NormalizeOrIdentity(
      {wa * a.w + wb * end.w, wa * a.x + wb * end.x, wa * a.y + wb * end.y, wa * a.z + wb * end.z});
}

double SmoothingAlpha(double dt, double tau) {
  if (tau <= 0.0) return 1.0;
  if (dt <= 0.0) return 0.0;
  return 1.0 - std::exp(-dt / tau);
}

double AdaptiveTimeConstant(double tau0, double speed, double gain) {
  if (tau0 <= 0.0) return 0.0;
  return 1.0 / (kTwoPi * (1.0 / (kTwoPi * tau0) + gain * speed));
}

WireQuat MatrixToQuaternion(const float (&m)[3][4]) {
  WireQuat q;
  const float tr = m[0][0] + m[1][1] + m[2][2];
  if (tr > 0.0f) {
    const float s = 0.5f / std::sqrt(tr + 1.0f);
    q.w = 0.25f / s;
    q.x = (m[2][1] - m[1][2]) * s;
    q.y = (m[0][2] - m[2][0]) * s;
    q.z = (m[1][0] - m[0][1]) * s;
  } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
    const float s = 2.0f * std::sqrt(1.0f + m[0][0] - m[1][1] - m[2][2]);
    q.w = (m[2][1] - m[1][2]) / s;
    q.x = 0.25f * s;
    q.y = (m[0][1] + m[1][0]) / s;
    q.z = (m[0][2] + m[2][0]) / s;
  } else if (m[1][1] > m[2][2]) {
    const float s = 2.0f * std::sqrt(1.0f + m[1][1] - m[0][0] - m[2][2]);
    q.w = (m[0][2] - m[2][0]) / s;
    q.x = (m[0][1] + m[1][0]) / s;
    q.y = 0.25f * s;
    q.z = (m[1][2] + m[2][1]) / s;
  } else {
    const float s = 2.0f * std::sqrt(1.0f + m[2][2] - m[0][0] - m[1][1]);
    q.w = (m[1][0] - m[0][1]) / s;
    q.x = (m[0][2] + m[2][0]) / s;
    q.y = (m[1][2] + m[2][1]) / s;
    q.z = 0.25f * s;
  }
  return q;
}

}  // namespace vantrels
