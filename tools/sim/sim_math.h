#pragma once

#include <cmath>

namespace vantrels::sim {

// Small double-precision vector and rotation types for the simulator and its evaluation tools.
// Rotations are unit quaternions stored w, x, y, z with Hamilton products; the tracking space
// is right-handed with y up and the viewer looking along -z.
struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

struct Quat {
  double w = 1.0;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(Vec3 a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline double Dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double Length(Vec3 a) {
  return std::sqrt(Dot(a, a));
}
inline Vec3 Lerp(Vec3 a, Vec3 b, double t) {
  return a + (b - a) * t;
}

inline Quat operator*(Quat a, Quat b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

inline double Dot(Quat a, Quat b) {
  return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double Norm(Quat q) {
  return std::sqrt(Dot(q, q));
}

// Unit quaternion of q, or identity when q has no usable length.
inline Quat Normalized(Quat q) {
  const double n = Norm(q);
  if (!(n > 1e-12) || !std::isfinite(n)) return {};
  return {q.w / n, q.x / n, q.y / n, q.z / n};
}

inline Quat Conjugate(Quat q) {
  return {q.w, -q.x, -q.y, -q.z};
}

inline Quat AxisAngle(Vec3 axis, double angle) {
  const double s = std::sin(angle / 2.0);
  return {std::cos(angle / 2.0), axis.x * s, axis.y * s, axis.z * s};
}
inline Quat RotX(double angle) {
  return AxisAngle({1.0, 0.0, 0.0}, angle);
}
inline Quat RotY(double angle) {
  return AxisAngle({0.0, 1.0, 0.0}, angle);
}
inline Quat RotZ(double angle) {
  return AxisAngle({0.0, 0.0, 1.0}, angle);
}

inline Vec3 Rotate(Quat q, Vec3 v) {
  const Quat p{0.0, v.x, v.y, v.z};
  const Quat r = q * p * Conjugate(q);
  return {r.x, r.y, r.z};
}

// Spherical interpolation along the shorter arc; t = 0 gives a, t = 1 gives b (or -b).
inline Quat Slerp(Quat a, Quat b, double t) {
  double d = Dot(a, b);
  if (d < 0.0) {
    b = {-b.w, -b.x, -b.y, -b.z};
    d = -d;
  }
  if (d > 0.9995) {
    return Normalized({a.w + (b.w - a.w) * t, a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t});
  }
  const double theta = std::acos(d);
  const double s = std::sin(theta);
  const double wa = std::sin((1.0 - t) * theta) / s;
  const double wb = std::sin(t * theta) / s;
  return {a.w * wa + b.w * wb, a.x * wa + b.x * wb, a.y * wa + b.y * wb, a.z * wa + b.z * wb};
}

// Angle in radians of the rotation that takes a to b, 0 to pi; q and -q are the same rotation.
inline double AngleBetween(Quat a, Quat b) {
  const double d = std::fabs(Dot(Normalized(a), Normalized(b)));
  return 2.0 * std::acos(d > 1.0 ? 1.0 : d);
}

}  // namespace vantrels::sim
