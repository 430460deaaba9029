// Vector, quaternion and matrix functions on cases worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/math.h"
#include "scene/scene.h"

namespace {

constexpr float pi = 3.14159265f;
constexpr float r2 = 0.70710678f;  // cos 45 degrees

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

Quaternion about(float angle, float x, float y, float z) {
  Quaternion q;
  quat_from_angle_axis(angle, x, y, z, q);
  return q;
}

Vector3 rotate(const Quaternion& q, Vector3 p) {
  Matrix m;
  quat_to_matrix(q, m);
  mat_transform_point(m, p, p);
  return p;
}

}  // namespace

TEST(OutputAliasing, AnOutputThatIsAnInputGivesTheSameResult) {
  Vector3 a{5, 7, 9}, separate;
  vec_sub(a, {1, 2, 3}, separate);
  vec_sub(a, {1, 2, 3}, a);
  expect_vec(a, separate.x, separate.y, separate.z, 0);
  expect_vec(a, 4, 5, 6, 0);
  Quaternion p = about(0.7f, 0, 1, 0), q = about(1.3f, 0.6f, 0, 0.8f), product;
  quat_mul(p, q, product);
  quat_mul(p, q, q);
  expect_quat(q, product.w, product.x, product.y, product.z, 0);
  // Scale then move is a move of 2; the move applied to the scale (out aliasing a) moves by 1.
  Matrix scale, move, both;
  mat_scale(Vector3{2, 2, 2}, scale);
  mat_identity(move);
  move.m[0][3] = 1;
  mat_mul(scale, move, both);
  Vector3 origin;
  mat_transform_point(both, Vector3{}, origin);
  expect_vec(origin, 2, 0, 0, 0);
  mat_mul(move, scale, move);
  mat_transform_point(move, Vector3{}, origin);
  expect_vec(origin, 1, 0, 0, 0);
}

TEST(ZeroVector, LengthIsOneNormalizedStaysZeroAndCosIsZero) {
  EXPECT_EQ(vec_length(Vector3{}), 1.0f);
  EXPECT_EQ(vec_length(Vector3{3, 4, 0}), 5.0f);
  Vector3 v;
  vec_normalize(Vector3{}, v);
  expect_vec(v, 0, 0, 0, 0);
  vec_normalize(Vector3{0, 3, 4}, v);
  expect_vec(v, 0, 0.6f, 0.8f);
  EXPECT_EQ(vec_cos_angle(Vector3{}, Vector3{1, 2, 3}), 0.0f);
  EXPECT_EQ(vec_cos_angle(Vector3{2, 0, 0}, Vector3{0, 5, 0}), 0.0f);
  EXPECT_NEAR(vec_cos_angle(Vector3{2, 0, 0}, Vector3{3, 3, 0}), r2, 1e-6f);
}

TEST(QuatMul, QuarterTurnsAboutZThenXTakeXToZ) {
  Quaternion both;
  quat_mul(about(pi / 2, 1, 0, 0), about(pi / 2, 0, 0, 1), both);  // right first: x -> y, then y -> z
  expect_vec(rotate(both, {1, 0, 0}), 0, 0, 1);
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

TEST(QuatExpLog, HalfTurnAndSixtyDegreesAboutZ) {
  Quaternion q;
  quat_exp(Quaternion{5, 0, 0, pi / 2}, q);  // w is ignored
  expect_quat(q, 0, 0, 0, 1, 1e-6f);
  quat_exp(Quaternion{}, q);
  expect_quat(q, 1, 0, 0, 0, 0);
  quat_log(Quaternion{0, 0, 2, 0}, q);  // zero scalar: 1.5707964 times the vector
  expect_quat(q, 0, 0, 2 * 1.5707964f, 0, 0);
  quat_log(Quaternion{0.8660254f, 0, 0, 0.5f}, q);  // atan(0.5 / 0.866) = pi / 6, times 0.5
  expect_quat(q, 0, 0, 0, pi / 12);
  const Quaternion sixty = about(pi / 3, 0, 0, 1);
  quat_log_diff(Quaternion{1, 0, 0, 0}, sixty, q);
  expect_quat(q, 0, 0, 0, pi / 6);
  quat_log_diff(sixty, sixty, q);
  expect_quat(q, 0, 0, 0, 0, 1e-6f);
}

TEST(QuatSlerp, QAndMinusQGiveQAtAnyT) {
  const Quaternion q = about(1.1f, 0, 0.6f, 0.8f);
  Quaternion minus_q, out;
  quat_scale(q, -1, minus_q);
  for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
    quat_slerp(q, minus_q, 0, t, out);
    expect_quat(out, q.w, q.x, q.y, q.z, 1e-6f);
  }
}

// From the identity towards `angle` about an axis: where x lands.
TEST(QuatSlerp, ArcsAndSpinsFromTheIdentity) {
  struct Case {
    const char* what;
    float angle, spin, t;
    bool long_way;
    Vector3 axis, x_lands;
  } cases[] = {
      {"halfway to a quarter turn is an eighth", pi / 2, 0, 0.5f, false, {0, 1, 0}, {r2, 0, -r2}},
      {"three quarters the short way: back 45 degrees", 1.5f * pi, 0, 0.5f, false, {0, 1, 0}, {r2, 0, r2}},
      {"three quarters the long way: 135 degrees", 1.5f * pi, 0, 0.5f, true, {0, 1, 0}, {-r2, 0, -r2}},
      {"one spin: halfway through 90 + 360 is 225", pi / 2, 1, 0.5f, false, {0, 0, 1}, {-r2, -r2, 0}},
      {"one spin ends on the key", pi / 2, 1, 1, false, {0, 0, 1}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    Quaternion out;
    (c.long_way ? quat_slerp_long : quat_slerp)({1, 0, 0, 0}, about(c.angle, c.axis.x, c.axis.y, c.axis.z), c.spin, c.t,
                                                out);
    SCOPED_TRACE(c.what);
    expect_vec(rotate(out, {1, 0, 0}), c.x_lands.x, c.x_lands.y, c.x_lands.z);
  }
  const Quaternion b{0.9999999f, 0.0004f, 0, 0};  // nearly equal: linear weights
  Quaternion out;
  quat_slerp({1, 0, 0, 0}, b, 0, 0.25f, out);
  expect_quat(out, 0.75f + 0.25f * b.w, 0.25f * b.x, 0, 0, 0);
}

TEST(MatInverseAxes, ZeroRowGivesThirteenAndIdentityDiagonalGivesReciprocals) {
  Matrix a, out, identity;
  mat_identity(a);
  mat_identity(identity);
  a.m[1][0] = a.m[1][1] = a.m[1][2] = 0;
  a.m[0][3] = 7;
  mat_zero(out);
  EXPECT_EQ(mat_inverse_axes(a, out), SCENE_SINGULAR);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(out.m[r][c], identity.m[r][c]);
  mat_scale(Vector3{2, 4, 5}, a);
  a.m[2][3] = -3;
  EXPECT_EQ(mat_inverse_axes(a, a), SCENE_OK);  // in place
  EXPECT_EQ(a.m[0][0], 0.5f);
  EXPECT_EQ(a.m[1][1], 0.25f);
  EXPECT_EQ(a.m[2][2], 0.2f);
  EXPECT_EQ(a.m[2][3], -3.0f);  // translation kept
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

TEST(LensToFov, TableEntriesExactlyAndOtherLensesByFormula) {
  const float table[][2] = {{15, 115}, {20, 94.28571f}, {24, 84},  {28, 76.36364f}, {35, 63},
                            {50, 46},  {85, 28},        {135, 18}, {200, 12}};
  float fov = 0;
  for (const auto& [lens, expected] : table) {
    lens_to_fov(lens, fov);
    EXPECT_EQ(fov, expected) << "lens " << lens;
  }
  for (auto [lens, expected] : {std::pair{100.0f, 24.0f}, {40.0f, 60.0f}, {50.5f, 15.0f / 50.5f * 160}}) {
    lens_to_fov(lens, fov);  // 50.5, near a table entry, is not the entry
    EXPECT_FLOAT_EQ(fov, expected) << "lens " << lens;
  }
}

TEST(CameraMatrix, WorkedViews) {
  struct Case {
    const char* what;
    Vector3 position, target;
    float roll;
    Vector3 point, seen;
  } cases[] = {
      {"target at ten x lands on the z axis", {}, {10, 0, 0}, 0, {10, 0, 0}, {0, 0, 10}},
      {"position moves to the origin", {0, 0, -5}, {}, 0, {0, 0, 0}, {0, 0, 5}},
      {"position moves to the origin, point above it", {0, 0, -5}, {}, 0, {0, 3, -5}, {0, 3, 0}},
      {"target straight above looks up", {}, {0, 10, 0}, 0, {0, 10, 0}, {0, 0, 10}},
      {"roll 90 turns up to minus x", {}, {0, 0, 10}, 90, {0, 1, 0}, {-1, 0, 0}},
  };
  Camera camera;
  camera.fov = 90;
  camera.screen_width = 320;
  camera.screen_height = 200;
  camera.aspect = 0.75f;
  for (const Case& c : cases) {
    camera.position = c.position, camera.target = c.target, camera.roll = c.roll;
    camera_matrix(camera);
    Vector3 p;
    mat_transform_point(camera.matrix, c.point, p);
    SCOPED_TRACE(c.what);
    expect_vec(p, c.seen.x, c.seen.y, c.seen.z);
  }
  camera.position = {}, camera.target = {0, 0, 10}, camera.roll = 0;
  camera_matrix(camera);  // looking along z: the identity
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(camera.matrix.m[r][c], r == c ? 1.0f : 0.0f, 1e-6f);
  EXPECT_NEAR(camera.perspective_x, 160, 1e-3f);  // a 90 degree fov: half the screen
  EXPECT_NEAR(camera.perspective_y, 133.33333f, 1e-3f);
  camera.position = camera.target = {1, 2, 3};
  camera_matrix(camera);
  Vector3 p;
  mat_transform_point(camera.matrix, {4, 5, 6}, p);
  EXPECT_FALSE(std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z));
}
