// Keyframe tracks: building, spline set-up, evaluation, and rotation tracks (whole turns between
// keys, the slerp option) on hand-worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/scene.h"
#include "scene/track.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// A track of (frame, value) keys: value[0] = value and value[1] = 2 * value with the spline set
// up, or, for hide and morph tracks, the integer value.
std::unique_ptr<Track> float_track(const std::vector<std::pair<int, float>>& keys, std::uint32_t flags = 0,
                                   bool integer = false) {
  auto track = track_new();
  track->flags = flags;
  for (auto [frame, value] : keys) {
    auto key = key_new();
    key->value[0] = value;
    key->value[1] = 2 * value;
    if (integer) key_set_int(*key, int(value));
    EXPECT_EQ(track_append_key(track.get(), std::move(key), frame), SCENE_OK);
  }
  if (!integer) track_setup_spline(track.get());
  return track;
}

std::unique_ptr<Track> int_track(const std::vector<std::pair<int, float>>& keys, std::uint32_t flags = 0) {
  return float_track(keys, flags, true);
}

float eval(Track* track, float frame) {
  float out = -1;
  EXPECT_EQ(track_eval_float(track, frame, out), SCENE_OK);
  return out;
}

Key* key_at(const Track& track, int index) {
  Key* k = track.first;
  while (index-- > 0) k = k->next;
  return k;
}

struct RotationKey {
  int frame;
  float angle;  // relative to the previous key, radians
  Vector3 axis;
  float tension = 0, continuity = 0, bias = 0;
};

// A rotation track as the file readers build it: relative keys, an integer running total of
// the angles, and absolute orientations as the running product.
std::unique_ptr<Track> rotation_track(const std::vector<RotationKey>& keys) {
  auto track = track_new();
  Quaternion running{1, 0, 0, 0}, q;
  int total = 0;
  for (const RotationKey& k : keys) {
    auto key = key_new();
    quat_from_angle_axis(k.angle, k.axis.x, k.axis.y, k.axis.z, q);
    total = track->first == nullptr ? int(k.angle) : int(float(total) + k.angle);
    key->value[0] = float(total);
    key->value[1] = k.axis.x;
    key->value[2] = k.axis.y;
    key->value[3] = k.axis.z;
    key->tension = k.tension;
    key->continuity = k.continuity;
    key->bias = k.bias;
    quat_mul(q, running, running);
    key->orientation = running;
    track_append_key(track.get(), std::move(key), k.frame);
  }
  EXPECT_EQ(track_setup_rotation(track.get()), SCENE_OK);
  return track;
}

Quaternion eval_rotation(Track* track, float frame) {
  Quaternion q;
  EXPECT_EQ(track_eval_rotation(track, frame, q), SCENE_OK);
  return q;
}

// Signed angle about `axis` through which orientation_at(s) turns as s runs from 0 to 1,
// summed over small steps.
template <class At>
double turned_angle(At orientation_at, Vector3 axis) {
  Quaternion previous = orientation_at(0.0f);
  double total = 0;
  for (int i = 1; i <= 2000; ++i) {
    const Quaternion q = orientation_at(float(i) / 2000);
    Quaternion inverse;
    Quaternion rel;
    quat_unit_inverse(previous, inverse);
    quat_mul(q, inverse, rel);
    const double along = double(rel.x) * axis.x + double(rel.y) * axis.y + double(rel.z) * axis.z;
    const double step = 2 * std::atan2(along, double(rel.w));
    total += step > pi ? step - 2 * pi : step < -pi ? step + 2 * pi : step;
    previous = q;
  }
  return total;
}

}  // namespace

TEST(EaseCurve, WorkedValues) {
  EXPECT_EQ(ease_curve(0.3f, 0, 0), 0.3f);
  EXPECT_FLOAT_EQ(ease_curve(0.25f, 0.5f, 0), 1.0f / 12);
  EXPECT_FLOAT_EQ(ease_curve(0.25f, 1, 1), 0.125f);
  for (auto [a, b] : {std::pair{0.5f, 0.0f}, {0.3f, 0.9f}, {2.5f, 1.5f}}) {  // exactly 0 and 1 at the ends
    EXPECT_EQ(ease_curve(0, a, b), 0.0f) << a << " " << b;
    EXPECT_EQ(ease_curve(1, a, b), 1.0f) << a << " " << b;
  }
}

// Outside the keys the end values hold; keys are reached exactly, also eased.
TEST(TrackSetupSpline, TwoAndThreeEvenKeysAreLinear) {
  auto two = float_track({{0, 0}, {10, 10}});
  EXPECT_FLOAT_EQ(eval(two.get(), 2.5f), 2.5f);
  EXPECT_EQ(eval(two.get(), 40), 10.0f);
  auto three = float_track({{5, 5}, {15, 15}, {25, 25}});
  EXPECT_FLOAT_EQ(eval(three.get(), 20), 20);
  EXPECT_EQ(eval(three.get(), 1), 5.0f);
  auto eased = float_track({{0, 0}, {7, 3.3f}, {20, -1.7f}});
  key_at(*eased, 0)->ease_from = 0.4f;
  key_at(*eased, 1)->ease_to = 0.3f;
  for (int f = 0; f <= 7; ++f) eval(eased.get(), float(f));  // frame 7 on the segment that ends there
  EXPECT_EQ(eval(eased.get(), 7), 3.3f);
  EXPECT_EQ(eval(eased.get(), 20), -1.7f);
}

TEST(TrackEvalVector, RepeatingTrackAt250IsItsValueAt50AndAColourTrackNeverWraps) {
  auto track = float_track({{0, 0}, {40, 10}, {100, 30}}, TRACK_REPEAT);
  Vector3 wrapped, direct, colour;
  track_eval_vector(track.get(), 250, wrapped);
  track_eval_vector(track.get(), 50, direct);
  EXPECT_EQ(wrapped.x, direct.x);
  EXPECT_EQ(wrapped.y, direct.y);
  EXPECT_NE(direct.x, 30.0f);
  EXPECT_EQ(track_eval_color(track.get(), 250, colour), SCENE_OK);
  EXPECT_EQ(colour.x, 30.0f);
  EXPECT_EQ(colour.y, 60.0f);
}

// Of two keys on one frame the later is the value there; a wrapping track of length 0 is its first key.
TEST(TrackEval, KeysOnOneFrameGiveNoNaN) {
  auto loop = float_track({{0, 4}, {0, 9}}, TRACK_LOOP);
  EXPECT_EQ(eval(loop.get(), 0), 4.0f);
  EXPECT_EQ(eval(loop.get(), 13), 4.0f);
  auto hide = int_track({{0, 1}}, TRACK_REPEAT);
  std::int32_t hidden = 7;
  EXPECT_EQ(track_eval_hide(hide.get(), 13, hidden), SCENE_OK);
  EXPECT_EQ(hidden, 0);
  auto track = float_track({{0, 1}, {0, 2}, {10, 3}});
  EXPECT_EQ(eval(track.get(), 0), 2.0f);  // search from the first key lands on the empty segment
  EXPECT_FALSE(std::isnan(eval(track.get(), 5)));
  auto same_frame = float_track({{10, 1}, {10, 2}, {10, 3}, {20, 4}});
  for (Key* k = same_frame->first; k != nullptr; k = k->next)
    EXPECT_FALSE(std::isnan(k->in_tangent[0] + k->out_tangent[0]));
  EXPECT_FALSE(std::isnan(eval(same_frame.get(), 15)));
  auto rotation =
      rotation_track({{0, 0.2f, {1, 0, 0}}, {0, 0.4f, {0, 1, 0}}, {0, 0.1f, {0, 0, 1}}, {10, 0.5f, {0, 1, 0}}});
  for (float f : {0.0f, 0.5f, 5.0f, 10.0f}) {
    const Quaternion q = eval_rotation(rotation.get(), f);
    for (float c : {q.w, q.x, q.y, q.z}) EXPECT_FALSE(std::isnan(c)) << f;
  }
}

TEST(TrackEvalMorph, ExactKeyFrameDependsOnTheHintAndTheEndsAreFullyAtTheirKey) {
  auto track = int_track({{0, 3}, {10, 4}, {20, 5}}), repeat = int_track({{5, 3}, {10, 4}}, TRACK_REPEAT);
  MorphState m;
  auto expect_morph = [&m](Track* t, float frame, std::int32_t source, std::int32_t target, float blend) {
    track_eval_morph(t, frame, m);
    EXPECT_EQ(m.source_id, source) << "frame " << frame << ": " << m.source_id << " " << m.target_id << " " << m.blend;
    EXPECT_EQ(m.target_id, target) << "frame " << frame << ": " << m.source_id << " " << m.target_id << " " << m.blend;
    EXPECT_EQ(m.blend, blend) << "frame " << frame << ": " << m.source_id << " " << m.target_id << " " << m.blend;
  };
  expect_morph(track.get(), 5, 3, 4, 0.5f);
  expect_morph(track.get(), 10, 3, 4, 1);  // forward: end of the first segment
  track_eval_morph(track.get(), 15, m);
  expect_morph(track.get(), 10, 4, 5, 0);    // hint on the key at 10: start of the second segment
  expect_morph(repeat.get(), 250, 3, 4, 1);  // morph tracks never wrap
  expect_morph(repeat.get(), 2, 3, 3, 1);
}

// Every segment turns through its key's own angle about the key's axis, whole turns included
// (a key of 359 degrees after a total of -7 turned -1 degree, -6.28 after 11 turned +0.18
// degrees, 7 turned -11.85).
TEST(TrackEvalRotation, EverySegmentTurnsItsKeysOwnAngle) {
  lib_init(0);
  const Vector3 axis{0, 0.6f, 0.8f};
  const float totals[] = {-7, 0, 3, 11};
  const float angles[] = {0.5f, 3.5f, 6.2657f, -6.28f, 6.5f, 7, -7, 13, 19};
  for (float total : totals) {
    for (float angle : angles) {
      auto track = rotation_track({{0, total, axis}, {10, angle, axis}});
      const double turned = turned_angle([&](float s) { return eval_rotation(track.get(), 10 * s); }, axis);
      EXPECT_NEAR(turned, angle, 1e-5) << "key " << angle << " after a total of " << total;
    }
  }
}

TEST(TrackEvalRotation, SlerpOptionTakesTheShorterArcAndIgnoresControls) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, float(1.5 * pi), {0, 1, 0}}});
  for (auto [flags, x] : {std::pair{0u, -0.70710678f}, {LIB_SLERP, 0.70710678f}}) {
    lib_init(flags);  // +135 degrees, the way the key turns, or -45, the shorter way
    Matrix m;
    Vector3 turned;
    quat_to_matrix(eval_rotation(track.get(), 5), m);
    mat_transform_point(m, Vector3{1, 0, 0}, turned);
    EXPECT_NEAR(turned.x, x, 1e-5f);
    EXPECT_NEAR(turned.z, x, 1e-5f);
  }
  lib_init(0);
}
