// Quaternion and matrix functions on cases worked out by hand: degenerate inputs and the camera
// matrix.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/math.h"
#include "scene/scene.h"

namespace {

void expect_vec(const Vector3& v, Vector3 want, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.x, want.x, tolerance);
  EXPECT_NEAR(v.y, want.y, tolerance);
  EXPECT_NEAR(v.z, want.z, tolerance);
}

}  // namespace

TEST(QuatSlerp, QAndMinusQGiveQAtAnyT) {
  Quaternion q, minus_q, out;
  quat_from_angle_axis(1.1f, 0, 0.6f, 0.8f, q);
  quat_scale(q, -1, minus_q);
  for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
    quat_slerp(q, minus_q, 0, t, out);
    EXPECT_NEAR(out.w, q.w, 1e-6f);
    expect_vec({out.x, out.y, out.z}, {q.x, q.y, q.z}, 1e-6f);
  }
}

TEST(MatInverseAxes, ZeroRowGivesThirteenAndTheIdentity) {
  Matrix a, out;
  mat_identity(a);
  mat_zero(out);
  a.m[1][0] = a.m[1][1] = a.m[1][2] = 0;
  a.m[0][3] = 7;
  EXPECT_EQ(mat_inverse_axes(a, out), SCENE_SINGULAR);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(out.m[r][c], r == c ? 1.0f : 0.0f);
}

TEST(CameraMatrix, WorkedViews) {
  struct Case {
    Vector3 position, target;
    float roll;
    Vector3 point, seen;
  } cases[] = {
      {{}, {10, 0, 0}, 0, {10, 0, 0}, {0, 0, 10}},  // at the origin looking at (10, 0, 0)
      {{0, 0, -5}, {}, 0, {0, 3, -5}, {0, 3, 0}},   // the position moves to the origin
      {{}, {0, 10, 0}, 0, {0, 10, 0}, {0, 0, 10}},  // a target straight above looks up
      {{}, {0, 0, 10}, 90, {0, 1, 0}, {-1, 0, 0}},  // roll 90 turns up to minus x
  };
  Camera camera;
  camera.fov = 90;
  camera.screen_width = 320;
  camera.screen_height = 200;
  camera.aspect = 0.75f;
  Vector3 p;
  for (const Case& c : cases) {
    camera.position = c.position;
    camera.target = c.target;
    camera.roll = c.roll;
    camera_matrix(camera);
    mat_transform_point(camera.matrix, c.point, p);
    expect_vec(p, c.seen);
  }
  camera.position = camera.target = {1, 2, 3};  // no direction: no NaN
  camera_matrix(camera);
  mat_transform_point(camera.matrix, {4, 5, 6}, p);
  for (float c : {p.x, p.y, p.z}) EXPECT_FALSE(std::isnan(c));
}
