// Keyframe tracks: building, spline set-up and evaluation on hand-worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/scene.h"
#include "scene/track.h"

namespace {

struct KeySpec {
  int frame;
  float value;
  float tension = 0;
};

// A float track (value[0] = value, the other components = 2 * value) with its spline set up.
std::unique_ptr<Track> float_track(const std::vector<KeySpec>& keys, std::uint32_t flags = 0) {
  auto track = track_new();
  track->flags = flags;
  for (const KeySpec& key_spec : keys) {
    auto key = key_new();
    key->value[0] = key_spec.value;
    key->value[1] = 2 * key_spec.value;
    key->tension = key_spec.tension;
    EXPECT_EQ(track_append_key(track.get(), std::move(key), key_spec.frame), SCENE_OK);
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

Key* key_at(Track& track, int index) {
  Key* k = track.first;
  while (index-- > 0) k = k->next;
  return k;
}

}  // namespace

TEST(EaseCurve, WorkedValues) {
  EXPECT_EQ(ease_curve(0.3f, 0, 0), 0.3f);
  EXPECT_FLOAT_EQ(ease_curve(0.25f, 0.5f, 0), 1.0f / 12);
  EXPECT_FLOAT_EQ(ease_curve(0.75f, 0.5f, 0), 2.0f / 3);
  EXPECT_EQ(ease_curve(1, 0.5f, 0), 1.0f);
  EXPECT_FLOAT_EQ(ease_curve(0.25f, 1, 1), 0.125f);
  EXPECT_FLOAT_EQ(ease_curve(0.5f, 0.5f, 0.5f), 0.5f);
  EXPECT_FLOAT_EQ(ease_curve(0.9f, 0, 0.5f), 1 - (1.0f / 1.5f / 0.5f) * 0.01f);
}

TEST(EaseCurve, EndsAtZeroAndOneForAnyEasing) {
  for (float a : {0.0f, 0.3f, 0.7f, 1.0f, 2.5f})
    for (float b : {0.0f, 0.2f, 0.9f, 1.5f}) {
      EXPECT_EQ(ease_curve(0, a, b), 0.0f) << a << " " << b;
      EXPECT_EQ(ease_curve(1, a, b), 1.0f) << a << " " << b;
    }
}

TEST(TrackAppendKey, LinksKeysAndTracksLength) {
  auto track = int_track({{0, 1}, {5, 0}, {12, 1}});
  EXPECT_EQ(track->key_count, 3);
  EXPECT_EQ(track->length, 12.0f);
  EXPECT_EQ(track->hint, key_at(*track, 2));
  EXPECT_EQ(key_at(*track, 1)->prev, track->first);
  EXPECT_EQ(key_at(*track, 2)->next, nullptr);
  EXPECT_EQ(track_append_key(nullptr, key_new(), 3), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_append_key(track.get(), nullptr, 3), SCENE_NULL_ARGUMENT);
}

TEST(TrackAppendKey, AfterAnEvaluationStillAppendsAtTheTail) {
  auto track = int_track({{0, 1}, {10, 0}, {20, 1}});
  std::int32_t hidden;
  track_eval_hide(track.get(), 5, hidden);  // hint is now the first key
  track_append_key(track.get(), key_new(), 30);
  EXPECT_EQ(track->key_count, 4);
  EXPECT_EQ(key_at(*track, 3)->frame, 30.0f);
  EXPECT_EQ(key_at(*track, 3)->prev, key_at(*track, 2));
}

TEST(TrackSetupSpline, MissingOrSingleKeyCodes) {
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

TEST(TrackSetupSpline, TwoKeysZeroToTenGiveTangentsTenAndAreLinear) {
  auto track = float_track({{0, 0}, {10, 10}});
  EXPECT_EQ(track->first->out_tangent[0], 10.0f);
  EXPECT_EQ(track->first->in_tangent[0], 0.0f);
  EXPECT_EQ(key_at(*track, 1)->in_tangent[0], 10.0f);
  EXPECT_EQ(key_at(*track, 1)->out_tangent[0], 0.0f);
  EXPECT_FLOAT_EQ(eval(track.get(), 2.5f), 2.5f);
  EXPECT_FLOAT_EQ(eval(track.get(), 5), 5);
}

TEST(TrackSetupSpline, ThreeEvenKeysGiveEveryTangentTen) {
  auto track = float_track({{0, 0}, {10, 10}, {20, 20}});
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      EXPECT_FLOAT_EQ(key_at(*track, i)->in_tangent[0], 10);
    }
    if (i < 2) {
      EXPECT_FLOAT_EQ(key_at(*track, i)->out_tangent[0], 10);
    }
  }
  EXPECT_FLOAT_EQ(eval(track.get(), 15), 15);
}

TEST(TrackSetupSpline, UnevenKeysOpenEnds) {
  auto track = float_track({{0, 0}, {10, 10}, {30, 20}});
  // First: c = 0.25 - 10/60; 0.5*20 + 1.5*(10 - 10) + c*20.
  EXPECT_FLOAT_EQ(track->first->out_tangent[0], 10 + (0.25f - 1.0f / 6) * 20);
  // Last: c = 0.25 - 20/60.
  EXPECT_FLOAT_EQ(key_at(*track, 2)->in_tangent[0], 10 + (0.25f - 1.0f / 3) * 20);
  // Middle: fp = 10/15, fn = 20/15, all weights 0.5 times those.
  EXPECT_FLOAT_EQ(key_at(*track, 1)->in_tangent[0], 20.0f / 3);
  EXPECT_FLOAT_EQ(key_at(*track, 1)->out_tangent[0], 40.0f / 3);
  EXPECT_FLOAT_EQ(key_at(*track, 1)->out_tangent[1], 80.0f / 3);  // all components
}

TEST(TrackSetupSpline, LoopTangentsCrossTheSeamWhereRepeatUsesOpenEnds) {
  auto loop = float_track({{0, 0}, {10, 10}, {20, 0}}, TRACK_LOOP);
  EXPECT_FLOAT_EQ(loop->first->out_tangent[0], 0);
  EXPECT_FLOAT_EQ(loop->first->in_tangent[0], 0);
  EXPECT_FLOAT_EQ(key_at(*loop, 2)->in_tangent[0], 0);
  auto repeat = float_track({{0, 0}, {10, 10}, {20, 0}}, TRACK_REPEAT);
  EXPECT_FLOAT_EQ(repeat->first->out_tangent[0], 15);
  EXPECT_FLOAT_EQ(key_at(*repeat, 2)->in_tangent[0], -15);
}

TEST(TrackEvalFloat, OneKeyTrackGivesItsValueEverywhere) {
  auto track = float_track({{5, 3}});
  for (float f : {0.0f, 5.0f, 100.0f}) EXPECT_EQ(eval(track.get(), f), 3.0f);
}

TEST(TrackEvalFloat, BeforeFirstAndAfterLastKeyHoldTheEndValues) {
  auto track = float_track({{5, 3}, {10, 8}});
  EXPECT_EQ(eval(track.get(), 1), 3.0f);
  EXPECT_EQ(eval(track.get(), 40), 8.0f);
}

TEST(TrackEvalFloat, CountingUpToAKeyGivesExactlyItsValue) {
  auto track = float_track({{0, 0}, {7, 3.3f}, {20, -1.7f}});
  key_at(*track, 0)->ease_from = 0.4f;
  key_at(*track, 1)->ease_to = 0.3f;
  for (int f = 0; f <= 7; ++f) eval(track.get(), float(f));
  EXPECT_EQ(track->hint, track->first);  // frame 7 was found on the segment that ends there
  EXPECT_EQ(eval(track.get(), 7), 3.3f);
  EXPECT_EQ(eval(track.get(), 20), -1.7f);
}

TEST(TrackEvalFloat, NegativeOrNaNFrameGivesSixAndKeepsOutput) {
  auto track = float_track({{0, 0}, {10, 10}});
  float out = 42;
  EXPECT_EQ(track_eval_float(track.get(), -1, out), SCENE_BAD_FRAME);
  EXPECT_EQ(track_eval_float(track.get(), std::nanf(""), out), SCENE_BAD_FRAME);
  EXPECT_EQ(out, 42.0f);
}

TEST(TrackEvalFloat, MissingOrEmptyTrackGivesTenAndKeepsOutput) {
  float out = 42;
  EXPECT_EQ(track_eval_float(nullptr, 1, out), SCENE_NULL_ARGUMENT);
  auto empty = track_new();
  EXPECT_EQ(track_eval_float(empty.get(), 1, out), SCENE_NULL_ARGUMENT);
  Vector3 v{1, 2, 3};
  EXPECT_EQ(track_eval_vector(empty.get(), 1, v), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_eval_color(nullptr, 1, v), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(out, 42.0f);
  EXPECT_EQ(v.y, 2.0f);
}

TEST(TrackEvalVector, RepeatingTrackAt250IsItsValueAt50) {
  auto track = float_track({{0, 0}, {40, 10}, {100, 30}}, TRACK_REPEAT);
  Vector3 wrapped, direct;
  track_eval_vector(track.get(), 250, wrapped);
  track_eval_vector(track.get(), 50, direct);
  EXPECT_EQ(wrapped.x, direct.x);
  EXPECT_EQ(wrapped.y, direct.y);
  EXPECT_NE(direct.x, 30.0f);
}

TEST(TrackEvalColor, NeverWrapsSoRepeatAt250IsTheLastKey) {
  auto track = float_track({{0, 0}, {40, 10}, {100, 30}}, TRACK_REPEAT);
  Vector3 c;
  EXPECT_EQ(track_eval_color(track.get(), 250, c), SCENE_OK);
  EXPECT_EQ(c.x, 30.0f);
  EXPECT_EQ(c.y, 60.0f);
}

TEST(TrackEvalFloat, WrappingTrackOfLengthZeroGivesItsFirstKey) {
  auto track = float_track({{0, 4}, {0, 9}}, TRACK_LOOP);
  EXPECT_EQ(eval(track.get(), 0), 4.0f);
  EXPECT_EQ(eval(track.get(), 13), 4.0f);
  auto hide = int_track({{0, 1}}, TRACK_REPEAT);
  std::int32_t hidden = 7;
  EXPECT_EQ(track_eval_hide(hide.get(), 13, hidden), SCENE_OK);
  EXPECT_EQ(hidden, 0);
}

TEST(TrackEvalFloat, TwoKeysOnOneFrameGiveTheLaterKeyWithoutNaN) {
  auto track = float_track({{0, 1}, {0, 2}, {10, 3}});
  EXPECT_EQ(eval(track.get(), 0), 2.0f);  // search from the first key lands on the empty segment
  float mid = eval(track.get(), 5);
  EXPECT_FALSE(std::isnan(mid));
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
  // Right after a frame past 10 the hint is the key at 10 itself.
  track_eval_hide(track.get(), 10, hidden);
  EXPECT_EQ(hidden, 0);
}

TEST(TrackEvalHide, BeforeFirstKeyIsVisibleAndEmptyTrackOutputsZero) {
  auto track = int_track({{5, 1}, {10, 0}});
  std::int32_t hidden = -1;
  track_eval_hide(track.get(), 2, hidden);
  EXPECT_EQ(hidden, 0);
  hidden = 5;
  EXPECT_EQ(track_eval_hide(track.get(), -2, hidden), SCENE_BAD_FRAME);
  EXPECT_EQ(hidden, 5);
  EXPECT_EQ(track_eval_hide(nullptr, 2, hidden), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(hidden, 0);
}

TEST(TrackEvalMorph, ExactKeyFrameDependsOnTheHint) {
  auto track = int_track({{0, 3}, {10, 4}, {20, 5}});
  MorphState m;
  track_eval_morph(track.get(), 5, m);
  EXPECT_EQ(m.source_id, 3);
  EXPECT_EQ(m.target_id, 4);
  EXPECT_FLOAT_EQ(m.blend, 0.5f);
  track_eval_morph(track.get(), 10, m);  // forward: end of the first segment
  EXPECT_EQ(m.source_id, 3);
  EXPECT_EQ(m.target_id, 4);
  EXPECT_EQ(m.blend, 1.0f);
  track_eval_morph(track.get(), 15, m);
  track_eval_morph(track.get(), 10, m);  // hint on the key at 10: start of the second segment
  EXPECT_EQ(m.source_id, 4);
  EXPECT_EQ(m.target_id, 5);
  EXPECT_EQ(m.blend, 0.0f);
}

TEST(TrackEvalMorph, PastTheLastKeyAndBeforeTheFirstAreFullyAtThatTarget) {
  auto track = int_track({{5, 3}, {10, 4}}, TRACK_REPEAT);
  MorphState m;
  track_eval_morph(track.get(), 250, m);  // morph tracks never wrap
  EXPECT_EQ(m.source_id, 3);
  EXPECT_EQ(m.target_id, 4);
  EXPECT_EQ(m.blend, 1.0f);
  track_eval_morph(track.get(), 2, m);
  EXPECT_EQ(m.target_id, 3);
  EXPECT_EQ(m.source_id, 3);
  EXPECT_EQ(m.blend, 1.0f);
  MorphState kept{7, 8, 0.5f};
  EXPECT_EQ(track_eval_morph(nullptr, 1, kept), SCENE_NULL_ARGUMENT);
  EXPECT_EQ(track_eval_morph(track.get(), -1, kept), SCENE_BAD_FRAME);
  EXPECT_EQ(kept.target_id, 8);
}
