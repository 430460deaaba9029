// Rotation tracks: squad set-up, evaluation, whole turns between keys and the slerp option.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/scene.h"
#include "scene/track.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct RotationKey {
  int frame;
  float angle;  // relative to the previous key, radians
  Vector3 axis;
  float tension = 0, continuity = 0, bias = 0;
};

// Builds a rotation track as the file readers do: relative keys, an integer running total of
// the angles, and absolute orientations as the running product.
std::unique_ptr<Track> rotation_track(const std::vector<RotationKey>& keys) {
  auto track = track_new();
  Quaternion running{1, 0, 0, 0};
  int total = 0;
  bool first = true;
  for (const RotationKey& key_spec : keys) {
    auto key = key_new();
    Quaternion q;
    quat_from_angle_axis(key_spec.angle, key_spec.axis.x, key_spec.axis.y, key_spec.axis.z, q);
    total = first ? int(key_spec.angle) : int(float(total) + key_spec.angle);
    first = false;
    key->value[0] = float(total);
    key->value[1] = key_spec.axis.x;
    key->value[2] = key_spec.axis.y;
    key->value[3] = key_spec.axis.z;
    key->tension = key_spec.tension;
    key->continuity = key_spec.continuity;
    key->bias = key_spec.bias;
    quat_mul(q, running, running);
    key->orientation = running;
    track_append_key(track.get(), std::move(key), key_spec.frame);
  }
  EXPECT_EQ(track_setup_rotation(track.get()), SCENE_OK);
  return track;
}

Quaternion eval(Track* track, float frame) {
  Quaternion q;
  EXPECT_EQ(track_eval_rotation(track, frame, q), SCENE_OK);
  return q;
}

// Signed angle (radians, about `axis`) through which the evaluated orientation turns between
// frames `from` and `to`, summed over small steps.
double turned_angle(Track* track, float from, float to, Vector3 axis) {
  const int steps = 2000;
  Quaternion previous = eval(track, from);
  double total = 0;
  for (int i = 1; i <= steps; ++i) {
    Quaternion q = eval(track, from + (to - from) * float(i) / steps);
    Quaternion inverse, rel;
    quat_unit_inverse(previous, inverse);
    quat_mul(q, inverse, rel);
    double step = 2 * std::atan2(double(rel.x) * axis.x + double(rel.y) * axis.y + double(rel.z) * axis.z, double(rel.w));
    if (step > pi) step -= 2 * pi;
    if (step < -pi) step += 2 * pi;
    total += step;
    previous = q;
  }
  return total;
}

const Key& key_at(const Track& track, int index) {
  const Key* k = track.first;
  while (index-- > 0) k = k->next;
  return *k;
}

void expect_same(const Quaternion& a, const Quaternion& b) {
  EXPECT_EQ(a.w, b.w);
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

class RotationTrack : public ::testing::Test {
 protected:
  void SetUp() override { lib_init(0); }
  void TearDown() override { lib_init(0); }
};

}  // namespace

TEST_F(RotationTrack, TwoKeysQuarterTurnIsEighthTurnHalfway) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, float(pi / 2), {0, 1, 0}}});
  Quaternion expected;
  quat_from_angle_axis(float(pi / 4), 0, 1, 0, expected);
  Quaternion q = eval(track.get(), 5);
  EXPECT_NEAR(q.w, expected.w, 1e-6f);
  EXPECT_NEAR(q.y, expected.y, 1e-6f);
  expect_same(eval(track.get(), 10), track->first->next->orientation);
  expect_same(eval(track.get(), 0), track->first->orientation);
}

TEST_F(RotationTrack, OneKeyTrackGivesItsOrientationEverywhere) {
  auto track = track_new();
  auto key = key_new();
  key->orientation = {0.6f, 0.8f, 0, 0};
  track_append_key(track.get(), std::move(key), 3);
  EXPECT_EQ(track_setup_rotation(track.get()), SCENE_SINGLE_KEY);
  expect_same(eval(track.get(), 0), Quaternion{0.6f, 0.8f, 0, 0});
  expect_same(eval(track.get(), 50), Quaternion{0.6f, 0.8f, 0, 0});
  Quaternion kept{1, 2, 3, 4};
  EXPECT_EQ(track_eval_rotation(track.get(), -1, kept), SCENE_BAD_FRAME);
  EXPECT_EQ(track_eval_rotation(nullptr, 1, kept), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(kept.w, 1.0f);
}

TEST_F(RotationTrack, SevenRadiansForwardTurnsSevenRadians) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, 7.0f, {0, 1, 0}}});
  EXPECT_EQ(track->first->next->value[0], 7.0f);
  EXPECT_NEAR(turned_angle(track.get(), 0, 10, {0, 1, 0}), 7.0, 1e-3);
  expect_same(eval(track.get(), 10), track->first->next->orientation);
}

TEST_F(RotationTrack, SevenRadiansBackwardTurnsMinusSevenRadians) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, -7.0f, {0, 1, 0}}});
  EXPECT_NEAR(turned_angle(track.get(), 0, 10, {0, 1, 0}), -7.0, 1e-3);
  expect_same(eval(track.get(), 10), track->first->next->orientation);
}

TEST_F(RotationTrack, SixAndAHalfRadiansTurnsSixAndAHalfThoughItsTotalSaysSix) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, 6.5f, {0, 1, 0}}});
  EXPECT_EQ(track->first->next->value[0], 6.0f);
  EXPECT_NEAR(turned_angle(track.get(), 0, 10, {0, 1, 0}), 6.5, 1e-3);
  expect_same(eval(track.get(), 10), track->first->next->orientation);
}

TEST_F(RotationTrack, SevenRadiansWithTheKeyStoredAsTheNegatedQuaternionStillTurnsSeven) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, 7.0f, {0, 1, 0}}});
  Quaternion& stored = track->first->next->orientation;
  quat_scale(stored, -1, stored);
  track_setup_rotation(track.get());
  EXPECT_NEAR(turned_angle(track.get(), 0, 10, {0, 1, 0}), 7.0, 1e-3);
  expect_same(eval(track.get(), 10), stored);
}

TEST_F(RotationTrack, SixRadiansIsLessThanAFullTurnAndTurnsSix) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, 6.0f, {0, 1, 0}}});
  EXPECT_NEAR(turned_angle(track.get(), 0, 10, {0, 1, 0}), 6.0, 1e-3);
}

TEST_F(RotationTrack, WholeTurnsFromATiltedStartAboutATiltedAxisWithNeighbours) {
  const float s = 0.70710678f;
  auto track = rotation_track({{0, 0.5f, {1, 0, 0}}, {10, 0.8f, {0, s, s}}, {30, 13.0f, {0, s, s}},
                               {40, -0.4f, {0, 0, 1}}});
  EXPECT_NEAR(turned_angle(track.get(), 10, 30, {0, s, s}), 13.0, 2e-3);
  expect_same(eval(track.get(), 30), key_at(*track, 2).orientation);
}

TEST_F(RotationTrack, SegmentsUnderAFullTurnAreTheSquadOfTheKeys) {
  auto track = rotation_track({{0, 0.5f, {1, 0, 0}, 0.3f, -0.2f, 0.1f},
                               {8, 1.2f, {0, 1, 0}, -0.4f, 0.5f, 0.0f},
                               {20, -2.0f, {0.6f, 0, 0.8f}, 0.0f, 0.0f, -0.7f},
                               {25, 3.0f, {0, 0, 1}}});
  Key* keys[4] = {track->first, track->first->next, track->first->next->next, track->first->next->next->next};
  keys[1]->ease_to = 0.3f;
  keys[1]->ease_from = 0.6f;
  for (int i = 0; i <= 100; ++i) {
    float f = 0.25f * float(i);
    int seg = f <= 8 ? 0 : f <= 20 ? 1 : 2;
    const Key& k = *keys[seg];
    const Key& n = *keys[seg + 1];
    float s = ease_curve((f - k.frame) / (n.frame - k.frame), k.ease_from, n.ease_to);
    Quaternion a, b, expected;
    quat_slerp_long(k.orientation, n.orientation, 0, s, a);
    quat_slerp_long(k.out_control, n.in_control, 0, s, b);
    quat_slerp_long(a, b, 0, 2 * s * (1 - s), expected);
    expect_same(eval(track.get(), f), expected);
  }
}

TEST_F(RotationTrack, KeyMoreThanAFullTurnAwayUsesItsAxisAsLogTerm) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, 7.0f, {0, 1, 0}}, {20, 0, {0, 1, 0}}});
  const Key& middle = key_at(*track, 1);
  // LP = (0, 1.5707964 * axis), LN = 0: both controls are the orientation turned by pi/4 about y.
  Quaternion turn, expected;
  quat_from_angle_axis(float(pi / 4), 0, 1, 0, turn);
  quat_mul(middle.orientation, turn, expected);
  EXPECT_NEAR(middle.in_control.w, expected.w, 1e-6f);
  EXPECT_NEAR(middle.in_control.y, expected.y, 1e-6f);
  EXPECT_NEAR(middle.out_control.w, expected.w, 1e-6f);
  EXPECT_NEAR(middle.out_control.y, expected.y, 1e-6f);
}

TEST_F(RotationTrack, SlerpOptionTakesTheShorterArcAndIgnoresControls) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, float(1.5 * pi), {0, 1, 0}}});
  Matrix m;
  Vector3 x;
  quat_to_matrix(eval(track.get(), 5), m);
  mat_transform_point(m, Vector3{1, 0, 0}, x);
  EXPECT_NEAR(x.x, -0.70710678f, 1e-5f);  // +135 degrees: the way the key turns
  EXPECT_NEAR(x.z, -0.70710678f, 1e-5f);
  lib_init(LIB_SLERP);
  quat_to_matrix(eval(track.get(), 5), m);
  mat_transform_point(m, Vector3{1, 0, 0}, x);
  EXPECT_NEAR(x.x, 0.70710678f, 1e-5f);  // -45 degrees: the shorter way
  EXPECT_NEAR(x.z, 0.70710678f, 1e-5f);
}

TEST_F(RotationTrack, TwoKeysOnOneFrameGiveNoNaN) {
  auto track = rotation_track({{0, 0.2f, {1, 0, 0}}, {0, 0.4f, {0, 1, 0}}, {0, 0.1f, {0, 0, 1}},
                               {10, 0.5f, {0, 1, 0}}});
  for (float f : {0.0f, 0.5f, 5.0f, 10.0f}) {
    Quaternion q = eval(track.get(), f);
    EXPECT_FALSE(std::isnan(q.w) || std::isnan(q.x) || std::isnan(q.y) || std::isnan(q.z)) << f;
  }
}
