// track.h: keyframe tracks. A Track owns its chain of Keys; the one-time set-up turns the keys
// into a tension/continuity/bias spline (Hermite tangents, or squad controls for rotations),
// and the evaluations read any frame. Evaluation never allocates; it moves only `hint`.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/math.h"

// Track flags, from the file.
enum : std::uint32_t {
  TRACK_REPEAT = 1,  // the frame wraps at `length`
  TRACK_LOOP = 2,    // the frame wraps at `length`, and the end tangents cross the seam
};

// One keyframe. Field order is part of the record's contract: bias comes before continuity.
struct Key {
  float frame = 0;
  float tension = 0;
  float bias = 0;
  float continuity = 0;
  float ease_to = 0;    // easing into this key, at the end of the segment that ends here
  float ease_from = 0;  // easing out of this key, at the start of the segment that starts here
  // Position, scale, colour: x, y, z. Fov, roll: [0] in degrees. Rotation: [0] the running
  // total of key angles in radians, [1..3] this key's own axis. Morph and hide: the first word
  // holds a 32-bit integer (key_get_int / key_set_int).
  float value[4] = {};
  float in_tangent[4] = {};   // used at the end of the segment that ends at this key
  float out_tangent[4] = {};  // used at the start of the segment that starts at this key
  Quaternion in_control;      // squad control at the end of the segment that ends here
  Quaternion out_control;     // squad control at the start of the segment that starts here
  Quaternion orientation;     // absolute orientation at this key (rotation tracks)
  Key* next = nullptr;        // owned by the Track, like every key of the chain
  Key* prev = nullptr;
};

// Keys are appended in ascending frame order and never after evaluation has begun.
struct Track {
  std::uint32_t flags = 0;     // 0, TRACK_REPEAT or TRACK_LOOP
  std::int32_t key_count = 0;  // keys appended
  float length = 0;            // frame of the last key appended: the period when wrapping
  Key* first = nullptr;        // owns the chain first -> next -> ...
  Key* hint = nullptr;         // the tail while building; afterwards the key found last

  Track() = default;
  ~Track();  // frees the chain front to back, without recursion
  Track(const Track&) = delete;
  Track& operator=(const Track&) = delete;
};

// Current morph of a mesh: blend 0 is fully the source, 1 fully the target.
struct MorphState {
  std::int32_t source_id = 0;
  std::int32_t target_id = 0;
  float blend = 0;
};

// A new empty track or key; null when out of memory.
std::unique_ptr<Track> track_new() noexcept;
std::unique_ptr<Key> key_new() noexcept;

// The integer held in the first word of a morph or hide key's value.
std::int32_t key_get_int(const Key& key);
void key_set_int(Key& key, std::int32_t v);

// Appends key at the end and takes ownership; key.frame = frame. 10 when track or key is null
// (the key is then freed). The caller may fill the key's other fields before or after.
int track_append_key(Track* track, std::unique_ptr<Key> key, std::int32_t frame) noexcept;
// Frees the track and all of its keys; nothing for null.
void track_free(std::unique_ptr<Track>& track) noexcept;

// Hermite tangents of a float, vector or colour track (all four value components).
// 0, 10 without keys, 12 with a single key (nothing to compute).
int track_setup_spline(Track* track) noexcept;
// Squad control quaternions of a rotation track from its keys' orientations. 0, 10 or 12.
int track_setup_rotation(Track* track) noexcept;

// Remaps the segment parameter t in [0, 1] by the ease out of the segment's first key (a) and
// the ease into its second key (b); returns 0 at t = 0 and 1 at t = 1.
float ease_curve(float t, float a, float b) noexcept;

// Evaluations at a frame: 0, 6 for a negative (or NaN) frame, 10 for a null or empty track; on
// 6 and 10 the output keeps its value (hide: 10 outputs 0, visible). Float, vector, rotation and
// hide tracks wrap the frame at `length` when flagged; colour and morph tracks never wrap.
// A segment of zero length (two keys on one frame) yields its later key, as any segment at its
// end does; a wrapping track of length 0 reads as before its first key.
int track_eval_float(Track* track, float frame, float& out) noexcept;
int track_eval_vector(Track* track, float frame, Vector3& out) noexcept;
int track_eval_color(Track* track, float frame, Vector3& out) noexcept;
// Squad between key orientations (plain shortest-arc slerp when LIB_SLERP is set). Every segment
// turns through its key's own angle about the key's own axis, whole turns included: where the
// squad path would turn otherwise, the segment is played as that turn about the axis, eased.
int track_eval_rotation(Track* track, float frame, Quaternion& out) noexcept;
// 1 hidden, 0 visible.
int track_eval_hide(Track* track, float frame, std::int32_t& out) noexcept;
int track_eval_morph(Track* track, float frame, MorphState& out) noexcept;
