#include "pose/pose_math.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pose_expect.h"

namespace vantrels {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kEps = 1e-12;

void ExpectQuatNear(const Quat &expected, const Quat &actual, double eps = kEps) {
  testing::ExpectQuatNear(expected, actual, eps);
}
void ExpectVecNear(const Vec3 &expected, const Vec3 &actual, double eps = kEps) {
  testing::ExpectVecNear(expected, actual, eps);
}
using testing::AxisAngle;

TEST(PoseMath, ProductAppliesRightOperandFirst) {
  const Quat a = AxisAngle({0, 0, 1}, kPi / 2.0);
  const Quat b = AxisAngle({1, 0, 0}, kPi / 2.0);
  const Vec3 v{0.3, -1.2, 2.5};
  ExpectVecNear(Rotate(a, Rotate(b, v)), Rotate(Multiply(a, b), v));
  // 90° about z takes x to y.
  ExpectVecNear({0, 1, 0}, Rotate(a, {1, 0, 0}));
  ExpectQuatNear(Quat{}, Multiply(a, Conjugate(a)));
}

TEST(PoseMath, NormalizeGuardsDegenerateLength) {
  ExpectQuatNear({0.5, 0.5, 0.5, 0.5}, NormalizeOrIdentity({2, 2, 2, 2}));
  ExpectQuatNear(Quat{}, NormalizeOrIdentity({0, 0, 0, 0}));
  ExpectQuatNear(Quat{}, NormalizeOrIdentity({1e-13, 0, 0, 0}));
  ExpectQuatNear({0, 1, 0, 0}, NormalizeOrIdentity({0, 1e-11, 0, 0}));
}

TEST(PoseMath, SlerpEndpointsAndDegenerateInputs) {
  const Quat a = AxisAngle({0, 1, 0}, 0.4);
  const Quat b = AxisAngle({1, 1, 0}, 1.3);
  ExpectQuatNear(a, Slerp(a, a, 0.3));
  ExpectQuatNear(a, Slerp(a, {-a.w, -a.x, -a.y, -a.z}, 0.7));
  ExpectQuatNear(a, Slerp(a, b, 0.0));
  ExpectQuatNear(b, Slerp(a, b, 1.0));
  // Shortest arc: b given with the opposite sign comes out as b.
  ExpectQuatNear(b, Slerp(a, {-b.w, -b.x, -b.y, -b.z}, 1.0));
  // Constant angular rate: halfway is the rotation by half the angle.
  const Quat id;
  ExpectQuatNear(AxisAngle({0, 0, 1}, 0.5), Slerp(id, AxisAngle({0, 0, 1}, 1.0), 0.5));
  // Nearly equal rotations take the linear blend and stay unit length.
  const Quat c = Slerp(id, AxisAngle({0, 0, 1}, 1e-3), 0.5);
  EXPECT_NEAR(1.0, std::sqrt(c.w * c.w + c.x * c.x + c.y * c.y + c.z * c.z), kEps);
  EXPECT_NEAR(2.5e-4, c.z, 1e-9);
}

TEST(PoseMath, RotationVectorRoundTripAndHalfTurns) {
  ExpectVecNear({0, 0, 0}, ToRotationVector({-1, 0, 0, 0}));
  ExpectVecNear({kPi, 0, 0}, ToRotationVector({0, 1, 0, 0}));
  ExpectQuatNear(Quat{}, FromRotationVector({0, 0, 0}));
  // The vector always describes the short way round.
  ExpectVecNear({-0.5, 0, 0}, ToRotationVector({-std::cos(0.25), std::sin(0.25), 0, 0}));
  const Vec3 r{0.3, -0.7, 1.1};
  ExpectVecNear(r, ToRotationVector(FromRotationVector(r)));
  // Tiny vectors go through the first-order branch.
  ExpectVecNear({2e-13, 0, -4e-13}, ToRotationVector(FromRotationVector({2e-13, 0, -4e-13})), 1e-25);
}

TEST(PoseMath, SmoothingWeights) {
  EXPECT_NEAR(0.42305, SmoothingAlpha(0.011, 0.02), 1e-5);
  EXPECT_DOUBLE_EQ(1.0 - std::exp(-0.55), SmoothingAlpha(0.011, 0.02));
  EXPECT_EQ(0.0, SmoothingAlpha(0.0, 0.02));
  EXPECT_EQ(1.0, SmoothingAlpha(0.011, 0.0));
  EXPECT_EQ(1.0, SmoothingAlpha(0.0, -1.0));
  EXPECT_DOUBLE_EQ(0.05, AdaptiveTimeConstant(0.05, 0.0, 20.0));
  EXPECT_NEAR(0.0068651, AdaptiveTimeConstant(0.05, 1.0, 20.0), 1e-7);
  EXPECT_NEAR(23.18, 1.0 / (6.283185307179586 * AdaptiveTimeConstant(0.05, 1.0, 20.0)), 0.01);
  EXPECT_EQ(0.0, AdaptiveTimeConstant(0.0, 3.0, 20.0));
}

TEST(PoseMath, MatrixToQuaternionTakesEachCase) {
  const float identity[3][4] = {{1, 0, 0, 5}, {0, 1, 0, 6}, {0, 0, 1, 7}};
  const WireQuat q1 = MatrixToQuaternion(identity);
  EXPECT_TRUE(q1.x == 0.0f && q1.y == 0.0f && q1.z == 0.0f && q1.w == 1.0f);
  const float yaw180[3][4] = {{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}};
  const WireQuat q3 = MatrixToQuaternion(yaw180);
  EXPECT_TRUE(q3.x == 0.0f && q3.y == 1.0f && q3.z == 0.0f && q3.w == 0.0f);

  // Near half turns about axes close to x, y and z take the last three branches, a small turn the first;
  // the matrices follow from Rotate.
  for (const Quat &q : {AxisAngle({1, 0.3, -0.2}, kPi * 0.9), AxisAngle({0.2, 1, 0.3}, kPi * 0.9),
                        AxisAngle({-0.3, 0.2, 1}, kPi * 0.9), AxisAngle({0.3, -0.5, 0.8}, 0.7)}) {
    float m[3][4] = {};
    const Vec3 cols[3] = {Rotate(q, {1, 0, 0}), Rotate(q, {0, 1, 0}), Rotate(q, {0, 0, 1})};
    for (int c = 0; c < 3; ++c) {
      m[0][c] = static_cast<float>(cols[c].x);
      m[1][c] = static_cast<float>(cols[c].y);
      m[2][c] = static_cast<float>(cols[c].z);
    }
    const WireQuat w = MatrixToQuaternion(m);
    const double sign = (w.w * q.w + w.x * q.x + w.y * q.y + w.z * q.z) < 0 ? -1.0 : 1.0;
    ExpectQuatNear(q, {sign * w.w, sign * w.x, sign * w.y, sign * w.z}, 1e-6);
  }
}

}  // namespace
}  // namespace vantrels
