// Keyframe tracks: building, spline set-up, evaluation, and rotation tracks (squad set-up,
// whole turns between keys, the slerp option) on hand-worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/scene.h"
#include "scene/track.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// A float track (value[0] = value, value[1] = 2 * value) with its spline set up.
std::unique_ptr<Track> float_track(const std::vector<std::pair<int, float>>& keys, std::uint32_t flags = 0) {
  auto track = track_new();
  track->flags = flags;
  for (auto [frame, value] : keys) {
    auto key = key_new();
    key->value[0] = value;
    key->value[1] = 2 * value;
    EXPECT_EQ(track_append_key(track.get(), std::move(key), frame), SCENE_OK);
  }
  track_setup_spline(track.get());
  return track;
}

std::unique_ptr<Track> int_track(const std::vector<std::pair<int, int>>& keys, std::uint32_t flags = 0) {
  auto track = track_new();
  track->flags = flags;
  for (auto [frame, v] : keys) {
    auto key = key_new();
    key_set_int(*key, v);
    track_append_key(track.get(), std::move(key), frame);
  }
  return track;
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

void expect_morph(const MorphState& m, std::int32_t source, std::int32_t target, float blend) {
  EXPECT_EQ(m.source_id, source);
  EXPECT_EQ(m.target_id, target);
  EXPECT_FLOAT_EQ(m.blend, blend);
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
    key->value[1] = k.axis.x, key->value[2] = k.axis.y, key->value[3] = k.axis.z;
    key->tension = k.tension, key->continuity = k.continuity, key->bias = k.bias;
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

bool same(const Quaternion& a, const Quaternion& b) { return a.w == b.w && a.x == b.x && a.y == b.y && a.z == b.z; }

// Signed angle (radians, about `axis`) through which the evaluated orientation turns between
// frames `from` and `to`, summed over small steps.
double turned_angle(Track* track, float from, float to, Vector3 axis) {
  Quaternion previous = eval_rotation(track, from), inverse, rel;
  double total = 0;
  for (int i = 1; i <= 2000; ++i) {
    const Quaternion q = eval_rotation(track, from + (to - from) * float(i) / 2000);
    quat_unit_inverse(previous, inverse);
    quat_mul(q, inverse, rel);
    const double along = double(rel.x) * axis.x + double(rel.y) * axis.y + double(rel.z) * axis.z;
    const double step = 2 * std::atan2(along, double(rel.w));
    total += step > pi ? step - 2 * pi : step < -pi ? step + 2 * pi : step;
    previous = q;
  }
  return total;
}

class RotationTrack : public ::testing::Test {
 protected:
  void SetUp() override { lib_init(0); }
  void TearDown() override { lib_init(0); }
};

}  // namespace

TEST(EaseCurve, WorkedValues) {
  EXPECT_EQ(ease_curve(0.3f, 0, 0), 0.3f);
  EXPECT_FLOAT_EQ(ease_curve(0.25f, 0.5f, 0), 1.0f / 12);
  EXPECT_FLOAT_EQ(ease_curve(0.75f, 0.5f, 0), 2.0f / 3);
  EXPECT_FLOAT_EQ(ease_curve(0.25f, 1, 1), 0.125f);
  EXPECT_FLOAT_EQ(ease_curve(0.5f, 0.5f, 0.5f), 0.5f);
  EXPECT_FLOAT_EQ(ease_curve(0.9f, 0, 0.5f), 1 - (1.0f / 1.5f / 0.5f) * 0.01f);
  for (auto [a, b] : {std::pair{0.5f, 0.0f}, {0.3f, 0.9f}, {2.5f, 1.5f}}) {  // exactly 0 and 1 at the ends
    EXPECT_EQ(ease_curve(0, a, b), 0.0f) << a << " " << b;
    EXPECT_EQ(ease_curve(1, a, b), 1.0f) << a << " " << b;
  }
}

TEST(TrackAppendKey, LinksKeysTracksLengthAndRefusesMissingArguments) {
  auto track = int_track({{0, 1}, {5, 0}, {12, 1}});
  EXPECT_EQ(track->key_count, 3);
  EXPECT_EQ(track->length, 12.0f);
  EXPECT_EQ(key_at(*track, 2)->prev, key_at(*track, 1));
  EXPECT_EQ(track_append_key(nullptr, key_new(), 3), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_append_key(track.get(), nullptr, 3), SCENE_NULL_ARGUMENT);
}

TEST(TrackSetupSpline, MissingOrSingleKeyCodesLeaveTheKeyAlone) {
  EXPECT_EQ(track_setup_spline(nullptr), SCENE_NULL_ARGUMENT);
  auto empty = track_new();
  EXPECT_EQ(track_setup_spline(empty.get()), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_setup_rotation(empty.get()), SCENE_NULL_ARGUMENT);
  auto one = int_track({{4, 0}});
  one->first->in_tangent[0] = 99;
  EXPECT_EQ(track_setup_spline(one.get()), SCENE_SINGLE_KEY);
  EXPECT_EQ(track_setup_rotation(one.get()), SCENE_SINGLE_KEY);
  EXPECT_EQ(one->first->in_tangent[0], 99.0f);
}

TEST(TrackSetupSpline, TwoAndThreeEvenKeysGiveTangentsTenAndAreLinear) {
  auto two = float_track({{0, 0}, {10, 10}});
  EXPECT_EQ(two->first->out_tangent[0], 10.0f);
  EXPECT_EQ(two->first->in_tangent[0], 0.0f);
  EXPECT_EQ(key_at(*two, 1)->in_tangent[0], 10.0f);
  EXPECT_EQ(key_at(*two, 1)->out_tangent[0], 0.0f);
  EXPECT_FLOAT_EQ(eval(two.get(), 2.5f), 2.5f);
  EXPECT_FLOAT_EQ(eval(two.get(), 5), 5);
  auto three = float_track({{0, 0}, {10, 10}, {20, 20}});
  for (int i = 1; i < 3; ++i) {
    EXPECT_FLOAT_EQ(key_at(*three, i)->in_tangent[0], 10) << i;
    EXPECT_FLOAT_EQ(key_at(*three, i - 1)->out_tangent[0], 10) << i;
  }
  EXPECT_FLOAT_EQ(eval(three.get(), 15), 15);
}

TEST(TrackSetupSpline, MiddleOfUnevenKeysAndLoopTangentsAcrossTheSeam) {
  auto track = float_track({{0, 0}, {10, 10}, {30, 20}});
  // Middle: fp = 10/15, fn = 20/15, all weights 0.5 times those; every component.
  EXPECT_FLOAT_EQ(key_at(*track, 1)->in_tangent[0], 20.0f / 3);
  EXPECT_FLOAT_EQ(key_at(*track, 1)->out_tangent[0], 40.0f / 3);
  EXPECT_FLOAT_EQ(key_at(*track, 1)->out_tangent[1], 80.0f / 3);
  auto loop = float_track({{0, 0}, {10, 10}, {20, 0}}, TRACK_LOOP);
  EXPECT_FLOAT_EQ(loop->first->out_tangent[0], 0);
  EXPECT_FLOAT_EQ(loop->first->in_tangent[0], 0);
  EXPECT_FLOAT_EQ(key_at(*loop, 2)->in_tangent[0], 0);
  auto repeat = float_track({{0, 0}, {10, 10}, {20, 0}}, TRACK_REPEAT);  // open ends
  EXPECT_FLOAT_EQ(repeat->first->out_tangent[0], 15);
  EXPECT_FLOAT_EQ(key_at(*repeat, 2)->in_tangent[0], -15);
}

TEST(TrackEvalFloat, EndValuesHoldOutsideTheKeysAndKeysAreReachedExactly) {
  auto one = float_track({{5, 3}});
  for (float f : {0.0f, 5.0f, 100.0f}) EXPECT_EQ(eval(one.get(), f), 3.0f);
  auto two = float_track({{5, 3}, {10, 8}});
  EXPECT_EQ(eval(two.get(), 1), 3.0f);
  EXPECT_EQ(eval(two.get(), 40), 8.0f);
  auto track = float_track({{0, 0}, {7, 3.3f}, {20, -1.7f}});
  key_at(*track, 0)->ease_from = 0.4f;
  key_at(*track, 1)->ease_to = 0.3f;
  for (int f = 0; f <= 7; ++f) eval(track.get(), float(f));
  EXPECT_EQ(track->hint, track->first);  // frame 7 was found on the segment that ends there
  EXPECT_EQ(eval(track.get(), 7), 3.3f);
  EXPECT_EQ(eval(track.get(), 20), -1.7f);
}

TEST(TrackEval, BadFrameGivesSixMissingOrEmptyTrackTenAndTheOutputIsKept) {
  auto track = float_track({{0, 0}, {10, 10}});
  auto empty = track_new();
  float out = 42;
  Vector3 v{1, 2, 3};
  EXPECT_EQ(track_eval_float(track.get(), -1, out), SCENE_BAD_FRAME);
  EXPECT_EQ(track_eval_float(track.get(), std::nanf(""), out), SCENE_BAD_FRAME);
  EXPECT_EQ(track_eval_float(nullptr, 1, out), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_eval_float(empty.get(), 1, out), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_eval_vector(empty.get(), 1, v), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_eval_color(nullptr, 1, v), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(out, 42.0f);
  EXPECT_EQ(v.y, 2.0f);
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

TEST(TrackEvalFloat, ZeroLengthSegmentsGiveTheLaterKeyOrTheFirstWithoutNaN) {
  auto loop = float_track({{0, 4}, {0, 9}}, TRACK_LOOP);  // wrapping with length 0: the first key
  EXPECT_EQ(eval(loop.get(), 0), 4.0f);
  EXPECT_EQ(eval(loop.get(), 13), 4.0f);
  auto hide = int_track({{0, 1}}, TRACK_REPEAT);
  std::int32_t hidden = 7;
  EXPECT_EQ(track_eval_hide(hide.get(), 13, hidden), SCENE_OK);
  EXPECT_EQ(hidden, 0);
  auto track = float_track({{0, 1}, {0, 2}, {10, 3}});
  EXPECT_EQ(eval(track.get(), 0), 2.0f);  // search from the first key lands on the empty segment
  EXPECT_FALSE(std::isnan(eval(track.get(), 5)));
  auto same = float_track({{10, 1}, {10, 2}, {10, 3}, {20, 4}});
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(std::isnan(key_at(*same, i)->in_tangent[0])) << i;
    EXPECT_FALSE(std::isnan(key_at(*same, i)->out_tangent[0])) << i;
  }
  EXPECT_FALSE(std::isnan(eval(same.get(), 15)));
}

TEST(TrackEvalHide, KeysAtZeroAndTenHideThroughTenPlayingForward) {
  auto track = int_track({{0, 1}, {10, 0}});
  std::int32_t hidden = -1;
  for (int f = 0; f <= 10; ++f) {
    track_eval_hide(track.get(), float(f), hidden);
    EXPECT_EQ(hidden, 1) << f;
  }
  track_eval_hide(track.get(), 11, hidden);
  EXPECT_EQ(hidden, 0);
  track_eval_hide(track.get(), 10, hidden);  // right after a frame past 10 the hint is the key at 10
  EXPECT_EQ(hidden, 0);
  auto late = int_track({{5, 1}, {10, 0}});
  track_eval_hide(late.get(), 2, hidden);  // before the first key: visible
  EXPECT_EQ(hidden, 0);
  hidden = 5;
  EXPECT_EQ(track_eval_hide(late.get(), -2, hidden), SCENE_BAD_FRAME);
  EXPECT_EQ(hidden, 5);
  EXPECT_EQ(track_eval_hide(nullptr, 2, hidden), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(hidden, 0);
}

TEST(TrackEvalMorph, ExactKeyFrameDependsOnTheHintAndTheEndsAreFullyAtTheirKey) {
  auto track = int_track({{0, 3}, {10, 4}, {20, 5}});
  MorphState m;
  track_eval_morph(track.get(), 5, m);
  expect_morph(m, 3, 4, 0.5f);
  track_eval_morph(track.get(), 10, m);  // forward: end of the first segment
  expect_morph(m, 3, 4, 1);
  track_eval_morph(track.get(), 15, m);
  track_eval_morph(track.get(), 10, m);  // hint on the key at 10: start of the second segment
  expect_morph(m, 4, 5, 0);
  auto repeat = int_track({{5, 3}, {10, 4}}, TRACK_REPEAT);
  track_eval_morph(repeat.get(), 250, m);  // morph tracks never wrap
  expect_morph(m, 3, 4, 1);
  track_eval_morph(repeat.get(), 2, m);
  expect_morph(m, 3, 3, 1);
  MorphState kept{7, 8, 0.5f};
  EXPECT_EQ(track_eval_morph(nullptr, 1, kept), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_eval_morph(repeat.get(), -1, kept), SCENE_BAD_FRAME);
  EXPECT_EQ(kept.target_id, 8);
}

TEST_F(RotationTrack, OneKeyTrackHoldsItsOrientationAndBadCallsKeepTheOutput) {
  auto one = track_new();
  auto key = key_new();
  key->orientation = {0.6f, 0.8f, 0, 0};
  track_append_key(one.get(), std::move(key), 3);
  EXPECT_EQ(track_setup_rotation(one.get()), SCENE_SINGLE_KEY);
  EXPECT_TRUE(same(eval_rotation(one.get(), 0), Quaternion{0.6f, 0.8f, 0, 0}));
  EXPECT_TRUE(same(eval_rotation(one.get(), 50), Quaternion{0.6f, 0.8f, 0, 0}));
  Quaternion kept{1, 2, 3, 4};
  EXPECT_EQ(track_eval_rotation(one.get(), -1, kept), SCENE_BAD_FRAME);
  EXPECT_EQ(track_eval_rotation(nullptr, 1, kept), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(kept.w, 1.0f);
}

// Keys a full turn or more apart play their own angle, whole turns included, in their
// direction, and arrive exactly on the next key's orientation.
TEST_F(RotationTrack, WholeTurnsBetweenKeysArePlayed) {
  const float s = 0.70710678f;
  const Vector3 y{0, 1, 0}, tilted{0, s, s};
  struct Case {
    const char* what;
    std::vector<RotationKey> keys;
    int segment;  // the segment measured starts at this key
    float total;  // the value[0] its end key holds
    double turned, tolerance = 1e-3;
    bool negate = false;  // the end key stored as the negated quaternion
  } cases[] = {
      {"+7 turns +7", {{0, 0, y}, {10, 7.0f, y}}, 0, 7, 7.0},
      {"-7 turns -7", {{0, 0, y}, {10, -7.0f, y}}, 0, -7, -7.0},
      {"+6.5 turns +6.5 though its total says 6", {{0, 0, y}, {10, 6.5f, y}}, 0, 6, 6.5},
      {"6, under a full turn, turns 6", {{0, 0, y}, {10, 6.0f, y}}, 0, 6, 6.0},
      {"+7 stored negated turns +7", {{0, 0, y}, {10, 7.0f, y}}, 0, 7, 7.0, 1e-3, true},
      {"13 about a tilted axis from a tilted start, between neighbours",
       {{0, 0.5f, {1, 0, 0}}, {10, 0.8f, tilted}, {30, 13.0f, tilted}, {40, -0.4f, {0, 0, 1}}},
       1,
       13,
       13.0,
       2e-3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto track = rotation_track(c.keys);
    Key& end = *key_at(*track, c.segment + 1);
    EXPECT_EQ(end.value[0], c.total);
    if (c.negate) {
      quat_scale(end.orientation, -1, end.orientation);
      track_setup_rotation(track.get());
    }
    const RotationKey& spec = c.keys[std::size_t(c.segment) + 1];
    const double turned = turned_angle(track.get(), key_at(*track, c.segment)->frame, end.frame, spec.axis);
    EXPECT_NEAR(turned, c.turned, c.tolerance);
    EXPECT_TRUE(same(eval_rotation(track.get(), end.frame), end.orientation));
  }
}

TEST_F(RotationTrack, SegmentsUnderAFullTurnAreTheSquadOfTheKeysBitForBit) {
  auto track = rotation_track({{0, 0.5f, {1, 0, 0}, 0.3f, -0.2f, 0.1f},
                               {8, 1.2f, {0, 1, 0}, -0.4f, 0.5f, 0.0f},
                               {20, -2.0f, {0.6f, 0, 0.8f}, 0.0f, 0.0f, -0.7f},
                               {25, 3.0f, {0, 0, 1}}});
  key_at(*track, 1)->ease_to = 0.3f;
  key_at(*track, 1)->ease_from = 0.6f;
  for (int i = 0; i <= 100; ++i) {
    const float f = 0.25f * float(i);
    const Key& k = *key_at(*track, f <= 8 ? 0 : f <= 20 ? 1 : 2);
    const Key& n = *k.next;
    const float s = ease_curve((f - k.frame) / (n.frame - k.frame), k.ease_from, n.ease_to);
    Quaternion a, b, expected;
    quat_slerp_long(k.orientation, n.orientation, 0, s, a);
    quat_slerp_long(k.out_control, n.in_control, 0, s, b);
    quat_slerp_long(a, b, 0, 2 * s * (1 - s), expected);
    EXPECT_TRUE(same(eval_rotation(track.get(), f), expected)) << "frame " << f;
  }
}

TEST_F(RotationTrack, KeyMoreThanAFullTurnAwayUsesItsAxisAsLogTerm) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, 7.0f, {0, 1, 0}}, {20, 0, {0, 1, 0}}});
  const Key& middle = *key_at(*track, 1);
  // LP = (0, 1.5707964 * axis), LN = 0: both controls are the orientation turned by pi/4 about y.
  Quaternion turn, expected;
  quat_from_angle_axis(float(pi / 4), 0, 1, 0, turn);
  quat_mul(middle.orientation, turn, expected);
  for (const Quaternion& control : {middle.in_control, middle.out_control}) {
    EXPECT_NEAR(control.w, expected.w, 1e-6f);
    EXPECT_NEAR(control.y, expected.y, 1e-6f);
  }
}

TEST_F(RotationTrack, SlerpOptionTakesTheShorterArcAndIgnoresControls) {
  auto track = rotation_track({{0, 0, {0, 1, 0}}, {10, float(1.5 * pi), {0, 1, 0}}});
  Matrix m;
  Vector3 x;
  quat_to_matrix(eval_rotation(track.get(), 5), m);
  mat_transform_point(m, Vector3{1, 0, 0}, x);
  EXPECT_NEAR(x.x, -0.70710678f, 1e-5f);  // +135 degrees: the way the key turns
  EXPECT_NEAR(x.z, -0.70710678f, 1e-5f);
  lib_init(LIB_SLERP);
  quat_to_matrix(eval_rotation(track.get(), 5), m);
  mat_transform_point(m, Vector3{1, 0, 0}, x);
  EXPECT_NEAR(x.x, 0.70710678f, 1e-5f);  // -45 degrees: the shorter way
  EXPECT_NEAR(x.z, 0.70710678f, 1e-5f);
}

TEST_F(RotationTrack, TwoKeysOnOneFrameGiveNoNaN) {
  auto track =
      rotation_track({{0, 0.2f, {1, 0, 0}}, {0, 0.4f, {0, 1, 0}}, {0, 0.1f, {0, 0, 1}}, {10, 0.5f, {0, 1, 0}}});
  for (float f : {0.0f, 0.5f, 5.0f, 10.0f}) {
    const Quaternion q = eval_rotation(track.get(), f);
    EXPECT_FALSE(std::isnan(q.w) || std::isnan(q.x) || std::isnan(q.y) || std::isnan(q.z)) << f;
  }
}
