// Vector, quaternion and matrix functions on cases worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/math.h"
#include "scene/scene.h"

namespace {

constexpr float pi = 3.14159265f;

void expect_vec(const Vector3& v, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}

void expect_quat(const Quaternion& q, float w, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(q.w, w, tolerance);
  EXPECT_NEAR(q.x, x, tolerance);
  EXPECT_NEAR(q.y, y, tolerance);
  EXPECT_NEAR(q.z, z, tolerance);
}

Vector3 rotate(const Quaternion& q, Vector3 p) {
  Matrix m;
  quat_to_matrix(q, m);
  mat_transform_point(m, p, p);
  return p;
}

}  // namespace

TEST(VecSub, OutputAliasingFirstInputGivesSameResult) {
  Vector3 a{5, 7, 9}, b{1, 2, 3}, separate;
  vec_sub(a, b, separate);
  vec_sub(a, b, a);
  expect_vec(a, separate.x, separate.y, separate.z, 0);
  expect_vec(a, 4, 5, 6, 0);
}

TEST(VecLength, ZeroVectorGivesOne) {
  EXPECT_EQ(vec_length(Vector3{}), 1.0f);
  EXPECT_EQ(vec_length(Vector3{3, 4, 0}), 5.0f);
}

TEST(VecNormalize, ZeroVectorStaysZero) {
  Vector3 v;
  vec_normalize(Vector3{}, v);
  expect_vec(v, 0, 0, 0, 0);
  vec_normalize(Vector3{0, 3, 4}, v);
  expect_vec(v, 0, 0.6f, 0.8f);
}

TEST(VecCosAngle, WithZeroVectorGivesZeroAndPerpendicularGivesZero) {
  EXPECT_EQ(vec_cos_angle(Vector3{}, Vector3{1, 2, 3}), 0.0f);
  EXPECT_EQ(vec_cos_angle(Vector3{2, 0, 0}, Vector3{0, 5, 0}), 0.0f);
  EXPECT_NEAR(vec_cos_angle(Vector3{2, 0, 0}, Vector3{3, 3, 0}), 0.70710678f, 1e-6f);
}

TEST(QuatMul, OutputAliasingSecondInputGivesSameResult) {
  Quaternion a, b, separate;
  quat_from_angle_axis(0.7f, 0, 1, 0, a);
  quat_from_angle_axis(1.3f, 0.6f, 0, 0.8f, b);
  quat_mul(a, b, separate);
  quat_mul(a, b, b);
  EXPECT_EQ(b.w, separate.w);
  EXPECT_EQ(b.x, separate.x);
  EXPECT_EQ(b.y, separate.y);
  EXPECT_EQ(b.z, separate.z);
}

TEST(QuatMul, ComposesRotationsRightFirst) {
  Quaternion about_z, about_x, both;
  quat_from_angle_axis(pi / 2, 0, 0, 1, about_z);
  quat_from_angle_axis(pi / 2, 1, 0, 0, about_x);
  quat_mul(about_x, about_z, both);  // z first: x -> y, then x: y -> z
  expect_vec(rotate(both, {1, 0, 0}), 0, 0, 1);
}

TEST(QuatFromAngleAxis, HalfTurnAboutYMapsXToMinusX) {
  Quaternion q;
  quat_from_angle_axis(pi, 0, 1, 0, q);
  expect_quat(q, 0, 0, 1, 0, 1e-6f);
  expect_vec(rotate(q, {1, 0, 0}), -1, 0, 0);
}

TEST(QuatInverse, ScalarTwoGivesHalfAndUnitGivesExactConjugate) {
  Quaternion q;
  quat_inverse(Quaternion{2, 0, 0, 0}, q);
  expect_quat(q, 0.5f, 0, 0, 0, 0);
  quat_inverse(Quaternion{0, 0.6f, 0, 0.8f}, q);  // squared length rounds to exactly 1
  EXPECT_EQ(q.w, 0.0f);
  EXPECT_EQ(q.x, -0.6f);
  EXPECT_EQ(q.z, -0.8f);
}

TEST(QuatExp, QuarterPiAboutZIsHalfTurn) {
  Quaternion q;
  quat_exp(Quaternion{5, 0, 0, pi / 2}, q);  // w is ignored
  expect_quat(q, 0, 0, 0, 1, 1e-6f);
  quat_exp(Quaternion{}, q);
  expect_quat(q, 1, 0, 0, 0, 0);
}

TEST(QuatLog, ZeroScalarGivesHalfPiTimesVector) {
  Quaternion q;
  quat_log(Quaternion{0, 0, 2, 0}, q);
  expect_quat(q, 0, 0, 2 * 1.5707964f, 0, 0);
  // 60 degrees about z: atan(0.5 / 0.866) = pi / 6, times the vector component 0.5.
  quat_log(Quaternion{0.8660254f, 0, 0, 0.5f}, q);
  expect_quat(q, 0, 0, 0, pi / 12);
}

TEST(QuatLogDiff, IdentityToSixtyDegreesIsHalfAngleAlongAxis) {
  Quaternion a{1, 0, 0, 0}, b, out;
  quat_from_angle_axis(pi / 3, 0, 0, 1, b);
  quat_log_diff(a, b, out);
  expect_quat(out, 0, 0, 0, pi / 6);
  quat_log_diff(b, b, out);
  expect_quat(out, 0, 0, 0, 0, 1e-6f);
}

TEST(QuatSlerp, QAndMinusQGiveQAtAnyT) {
  Quaternion q, minus_q, out;
  quat_from_angle_axis(1.1f, 0, 0.6f, 0.8f, q);
  quat_scale(q, -1, minus_q);
  for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
    quat_slerp(q, minus_q, 0, t, out);
    expect_quat(out, q.w, q.x, q.y, q.z, 1e-6f);
  }
}

TEST(QuatSlerp, HalfwayToQuarterTurnIsEighthTurn) {
  Quaternion a{1, 0, 0, 0}, b, out;
  quat_from_angle_axis(pi / 2, 0, 1, 0, b);
  quat_slerp(a, b, 0, 0.5f, out);
  expect_vec(rotate(out, {1, 0, 0}), 0.70710678f, 0, -0.70710678f);
}

TEST(QuatSlerp, NearlyEqualInputsUseLinearWeights) {
  Quaternion a{1, 0, 0, 0}, b{0.9999999f, 0.0004f, 0, 0}, out;
  quat_slerp(a, b, 0, 0.25f, out);
  expect_quat(out, 0.75f + 0.25f * b.w, 0.25f * b.x, 0, 0, 0);
}

TEST(QuatSlerp, ShortArcOfThreeQuarterTurnGoesBackAQuarter) {
  Quaternion a{1, 0, 0, 0}, b, out;
  quat_from_angle_axis(1.5f * pi, 0, 1, 0, b);
  quat_slerp(a, b, 0, 0.5f, out);
  // -45 degrees about y: x goes to (cos 45, 0, sin 45).
  expect_vec(rotate(out, {1, 0, 0}), 0.70710678f, 0, 0.70710678f);
}

TEST(QuatSlerpLong, ThreeQuarterTurnGoesTheLongWay) {
  Quaternion a{1, 0, 0, 0}, b, out;
  quat_from_angle_axis(1.5f * pi, 0, 1, 0, b);
  quat_slerp_long(a, b, 0, 0.5f, out);
  // +135 degrees about y: x goes to (cos 135, 0, -sin 135).
  expect_vec(rotate(out, {1, 0, 0}), -0.70710678f, 0, -0.70710678f);
}

TEST(QuatSlerp, OneSpinAddsAWholeTurn) {
  Quaternion a{1, 0, 0, 0}, b, out;
  quat_from_angle_axis(pi / 2, 0, 0, 1, b);
  // Halfway through 90 + 360 degrees is 225 degrees.
  quat_slerp(a, b, 1, 0.5f, out);
  expect_vec(rotate(out, {1, 0, 0}), -0.70710678f, -0.70710678f, 0, 1e-5f);
  quat_slerp(a, b, 1, 1, out);
  expect_vec(rotate(out, {1, 0, 0}), 0, 1, 0, 1e-5f);
}

TEST(MatMul, RightOperandAppliedFirstAndAliasingIsSafe) {
  Matrix scale, move;
  mat_scale(Vector3{2, 2, 2}, scale);
  mat_identity(move);
  move.m[0][3] = 1;
  Matrix both;
  mat_mul(scale, move, both);
  Vector3 p;
  mat_transform_point(both, Vector3{}, p);
  expect_vec(p, 2, 0, 0, 0);
  mat_mul(move, scale, move);  // out aliases a
  mat_transform_point(move, Vector3{}, p);
  expect_vec(p, 1, 0, 0, 0);
}

TEST(MatInverseAxes, ZeroRowGivesThirteenAndIdentity) {
  Matrix a;
  mat_identity(a);
  a.m[1][0] = a.m[1][1] = a.m[1][2] = 0;
  a.m[0][3] = 7;
  Matrix out;
  mat_zero(out);
  EXPECT_EQ(mat_inverse_axes(a, out), SCENE_SINGULAR);
  Matrix identity;
  mat_identity(identity);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(out.m[r][c], identity.m[r][c]);
}

TEST(MatInverseAxes, DiagonalTwoFourFiveGivesReciprocalsAndKeepsTranslation) {
  Matrix a;
  mat_scale(Vector3{2, 4, 5}, a);
  a.m[2][3] = -3;
  EXPECT_EQ(mat_inverse_axes(a, a), SCENE_OK);
  EXPECT_EQ(a.m[0][0], 0.5f);
  EXPECT_EQ(a.m[1][1], 0.25f);
  EXPECT_EQ(a.m[2][2], 0.2f);
  EXPECT_EQ(a.m[2][3], -3.0f);
}

TEST(MatNormalizeRows, RowThreeFourBecomesUnitAndZeroRowStays) {
  Matrix a;
  mat_zero(a);
  a.m[0][0] = 3;
  a.m[0][1] = 4;
  a.m[0][3] = 9;
  EXPECT_EQ(mat_normalize_rows(a, a), SCENE_OK);
  EXPECT_FLOAT_EQ(a.m[0][0], 0.6f);
  EXPECT_FLOAT_EQ(a.m[0][1], 0.8f);
  EXPECT_EQ(a.m[0][3], 9.0f);
  EXPECT_EQ(a.m[1][1], 0.0f);
}

TEST(LensToFov, ExactTableEntries) {
  const float lens[] = {15, 20, 24, 28, 35, 50, 85, 135, 200};
  const float fov[] = {115, 94.28571f, 84, 76.36364f, 63, 46, 28, 18, 12};
  for (int i = 0; i < 9; ++i) {
    float out = 0;
    lens_to_fov(lens[i], out);
    EXPECT_EQ(out, fov[i]) << "lens " << lens[i];
  }
}

TEST(LensToFov, OtherLensesByFormula) {
  float out;
  lens_to_fov(100, out);
  EXPECT_FLOAT_EQ(out, 24);
  lens_to_fov(40, out);
  EXPECT_FLOAT_EQ(out, 60);
  lens_to_fov(50.5f, out);  // near a table entry is not the entry
  EXPECT_FLOAT_EQ(out, 15.0f / 50.5f * 160);
}

class CameraMatrix : public ::testing::Test {
 protected:
  Camera camera;
  void SetUp() override {
    camera.fov = 90;
    camera.screen_width = 320;
    camera.screen_height = 200;
    camera.aspect = 0.75f;
  }
  Vector3 view(Vector3 p) {
    camera_matrix(camera);
    mat_transform_point(camera.matrix, p, p);
    return p;
  }
};

TEST_F(CameraMatrix, LookingAlongZHasIdentityRotation) {
  camera.target = {0, 0, 10};
  camera_matrix(camera);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(camera.matrix.m[r][c], r == c ? 1.0f : 0.0f, 1e-6f);
}

TEST_F(CameraMatrix, TargetAtTenXLandsOnTheZAxis) {
  camera.target = {10, 0, 0};
  expect_vec(view({10, 0, 0}), 0, 0, 10);
}

TEST_F(CameraMatrix, PositionIsMovedToTheOrigin) {
  camera.position = {0, 0, -5};
  expect_vec(view({0, 0, 0}), 0, 0, 5);
  expect_vec(view({0, 3, -5}), 0, 3, 0);
}

TEST_F(CameraMatrix, TargetAboveLooksUp) {
  camera.target = {0, 10, 0};
  expect_vec(view({0, 10, 0}), 0, 0, 10);
}

TEST_F(CameraMatrix, RollNinetyTurnsUpToMinusX) {
  camera.target = {0, 0, 10};
  camera.roll = 90;
  expect_vec(view({0, 1, 0}), -1, 0, 0);
}

TEST_F(CameraMatrix, NinetyDegreeFovGivesHalfScreenFactors) {
  camera.target = {0, 0, 1};
  camera_matrix(camera);
  EXPECT_NEAR(camera.perspective_x, 160, 1e-3f);
  EXPECT_NEAR(camera.perspective_y, 133.33333f, 1e-3f);
}

TEST_F(CameraMatrix, TargetOnThePositionGivesNoNaN) {
  camera.position = camera.target = {1, 2, 3};
  Vector3 p = view({4, 5, 6});
  EXPECT_FALSE(std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z));
}
