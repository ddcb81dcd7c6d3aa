// Vector and rotation vocabulary of the pose pipeline: positions and rotation vectors as Vec3, rotations
// as unit quaternions (w, x, y, z) with Hamilton products, and the wire's single-precision (x, y, z, w).
#pragma once

#include <cmath>

namespace vantrels {

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;
};

// A unit quaternion q stands for the rotation v -> q v q*; the default is the identity.
struct Quat {
  double w = 1.0, x = 0.0, y = 0.0, z = 0.0;
};

inline Vec3 operator+(const Vec3 &a, const Vec3 &b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(const Vec3 &a, const Vec3 &b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(const Vec3 &v, double s) {
  return {v.x * s, v.y * s, v.z * s};
}
inline double Dot(const Vec3 &a, const Vec3 &b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(const Vec3 &a, const Vec3 &b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3 &v) {
  return std::sqrt(Dot(v, v));
}

// Hamilton product a·b; as rotations, b is applied first. Inline, like the next two, because the filter
// calls them dozens of times per frame.
inline Quat Multiply(const Quat &a, const Quat &b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
inline Quat Conjugate(const Quat &q) {
  return {q.w, -q.x, -q.y, -q.z};
}
// q divided by its length, or the identity when the length is below 1e-12.
inline Quat NormalizeOrIdentity(const Quat &q) {
  const double length = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
  if (length < 1e-12) return Quat{};
  return {q.w / length, q.x / length, q.y / length, q.z / length};
}
Vec3 Rotate(const Quat &q, const Vec3 &v);

// Above this cosine the two rotations of a Slerp are so close that sin θ loses precision; blend linearly.
inline constexpr double kSlerpLinearCos = 0.9995;

// Shortest-arc spherical interpolation from a (t = 0) to b (t = 1), normalised. Inline, like the two
// smoothing helpers below, because every tracker's filter step runs it twice per frame.
inline Quat Slerp(const Quat &a, const Quat &b, double t) {
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

// Quaternion logarithm: axis times angle in radians, taken on the hemisphere with w >= 0. Inline with its
// inverse: the filter's rotation fit runs it on every sample of the window.
inline Vec3 ToRotationVector(const Quat &q) {
  const double sign = q.w < 0.0 ? -1.0 : 1.0;
  const Vec3 axis{sign * q.x, sign * q.y, sign * q.z};
  const double s = Length(axis);
  if (s < 1e-12) return axis * 2.0;
  return axis * (2.0 * std::atan2(s, sign * q.w) / s);
}

// Quaternion exponential, the inverse of ToRotationVector.
inline Quat FromRotationVector(const Vec3 &r) {
  const double a = Length(r);
  if (a < 1e-12) return NormalizeOrIdentity({1.0, r.x / 2.0, r.y / 2.0, r.z / 2.0});
  const double half = std::sin(a / 2.0);
  return {std::cos(a / 2.0), r.x * half / a, r.y * half / a, r.z * half / a};
}
// Weight of one step of an exponential smoother with time constant tau over dt seconds; tau <= 0 means
// no smoothing (1), dt <= 0 means no movement (0).
inline double SmoothingAlpha(double dt, double tau) {
  if (tau <= 0.0) return 1.0;
  if (dt <= 0.0) return 0.0;
  return 1.0 - std::exp(-dt / tau);
}

// Time constant whose cutoff frequency is that of tau0 plus gain Hz per unit of speed; 0 when tau0 <= 0.
inline double AdaptiveTimeConstant(double tau0, double speed, double gain) {
  constexpr double kTwoPi = 6.283185307179586;
  if (tau0 <= 0.0) return 0.0;
  return 1.0 / (kTwoPi * (1.0 / (kTwoPi * tau0) + gain * speed));
}

// A rotation as it travels on the wire: single precision, in the order x, y, z, w.
struct WireQuat {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

// Rotation of a 3×4 row-major pose matrix (rotation in the left 3×3 block), computed in single precision.
// The result is neither normalised nor sign-normalised.
WireQuat MatrixToQuaternion(const float (&m)[3][4]);

}  // namespace vantrels
