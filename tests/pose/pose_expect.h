#pragma once

// Comparisons and rotations the pose tests share.

#include <gtest/gtest.h>

#include <cmath>

#include "pose/pose_math.h"

namespace vantrels::testing {

inline void ExpectVecNear(const Vec3 &expected, const Vec3 &actual, double eps) {
  EXPECT_NEAR(expected.x, actual.x, eps);
  EXPECT_NEAR(expected.y, actual.y, eps);
  EXPECT_NEAR(expected.z, actual.z, eps);
}

inline void ExpectQuatNear(const Quat &expected, const Quat &actual, double eps) {
  EXPECT_NEAR(expected.w, actual.w, eps);
  ExpectVecNear({expected.x, expected.y, expected.z}, {actual.x, actual.y, actual.z}, eps);
}

inline Quat AxisAngle(const Vec3 &axis, double angle) {
  const double s = std::sin(angle / 2.0) / Length(axis);
  return {std::cos(angle / 2.0), axis.x * s, axis.y * s, axis.z * s};
}

inline Quat Yaw(double angle) {
  return AxisAngle({0, 1, 0}, angle);
}

}  // namespace vantrels::testing
