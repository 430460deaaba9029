// track.cpp: building, setting up and evaluating keyframe tracks.
#include "scene/track.h"

#include <bit>
#include <cmath>
#include <new>

#include "scene/scene.h"

namespace {

// Running key angles further apart than this are more than a full turn.
constexpr double full_turn = 6.28318430718;
constexpr double turns_per_radian = 0.15915494309188485;
constexpr double two_pi = 6.283185307179586;

// ---- search and wrap ----

// The segment (k, k.next) for frame f, starting from the key found last time, so that playing
// forward costs a step or two. The walk is strict: at a later key's exact frame it stops on the
// key before, unless it started on that key.
Key* find_key(Track& track, float f) {
  Key* k = track.hint != nullptr ? track.hint : track.first;
  if (f < k->frame) k = track.first;
  while (k->next != nullptr && f > k->next->frame) k = k->next;
  track.hint = k;
  return k;
}

// Wraps a repeating or looping track's frame into [0, length). False when the frame has no
// place in the period (length 0, or an infinite frame): the track then reads as before its
// first key.
bool wrap_frame(const Track& track, float& f) {
  if (track.flags == 0) return true;
  double r = std::fmod(double(f), double(track.length));
  if (std::isnan(r)) return false;
  f = float(r);
  return true;
}

// Segment parameter of f in (k, n). A segment of zero length (two keys on one frame) is only
// reached at that frame, and yields the later key, as every segment does at its end.
float segment_t(const Key& k, const Key& n, float f) {
  float span = n.frame - k.frame;
  if (span == 0) return 1.0f;
  return (f - k.frame) / span;
}

void copy_value(const Key& k, int components, float* out) {
  for (int i = 0; i < components; ++i) out[i] = k.value[i];
}

void hermite(const Key& k, const Key& n, float s, int components, float* out) {
  float s2 = s * s, s3 = s2 * s;
  float h00 = 2 * s3 - 3 * s2 + 1;
  float h01 = 3 * s2 - 2 * s3;
  float h10 = s3 - 2 * s2 + s;
  float h11 = s3 - s2;
  for (int i = 0; i < components; ++i)
    out[i] = h00 * k.value[i] + h01 * n.value[i] + h10 * k.out_tangent[i] + h11 * n.in_tangent[i];
}

// Float, vector and colour evaluation. `tests_first` adds the early return at and before the
// first key that float and vector tracks make before searching.
int eval_spline(Track* track, float f, int components, bool wraps, bool tests_first, float* out) {
  if (!(f >= 0)) return SCENE_BAD_FRAME;
  if (track == nullptr || track->first == nullptr) return SCENE_NULL_ARGUMENT;
  const Key& first = *track->first;
  if (wraps && !wrap_frame(*track, f)) {
    copy_value(first, components, out);
    return SCENE_OK;
  }
  if (tests_first && (first.next == nullptr || f < first.frame)) {
    copy_value(first, components, out);
    return SCENE_OK;
  }
  const Key* k = find_key(*track, f);
  if (k->next == nullptr || f < k->frame) {
    copy_value(*k, components, out);
    return SCENE_OK;
  }
  const Key& n = *k->next;
  float s = ease_curve(segment_t(*k, n, f), k->ease_from, n.ease_to);
  hermite(*k, n, s, components, out);
  return SCENE_OK;
}

// ---- set-up ----

// Spacing factors of key k between neighbours at frames pf and nf (moved by the period across
// a loop's seam), with the continuity adjustment. Three keys on one frame count as even spacing.
void spacing_factors(const Key& k, float pf, float nf, float& fp, float& fn) {
  float dt = 0.5f * (nf - pf);
  if (dt == 0) {
    fp = fn = 1.0f;
  } else {
    fp = (k.frame - pf) / dt;
    fn = (nf - k.frame) / dt;
  }
  float c = std::fabs(k.continuity);
  fp = fp + c - c * fp;
  fn = fn + c - c * fn;
}

struct TcbWeights {
  float ksm, ksp, kdm, kdp;
};

TcbWeights tcb_weights(const Key& k, float fp, float fn) {
  float tm = 0.5f * (1 - k.tension);
  float cm = 1 - k.continuity, cp = 2 - cm;
  float bm = 1 - k.bias, bp = 2 - bm;
  return {tm * cm * bp * fp, tm * cp * bm * fp, tm * cp * bp * fn, tm * cm * bm * fn};
}

void tcb_tangents(Key& k, const Key& p, const Key& n, float pf, float nf) {
  float fp, fn;
  spacing_factors(k, pf, nf, fp, fn);
  TcbWeights w = tcb_weights(k, fp, fn);
  for (int i = 0; i < 4; ++i) {
    float dm = k.value[i] - p.value[i];
    float dp = n.value[i] - k.value[i];
    k.in_tangent[i] = w.ksm * dm + w.ksp * dp;
    k.out_tangent[i] = w.kdm * dm + w.kdp * dp;
  }
}

// End tangent of an open track from the end key e and the two keys next to it (k1 nearer, at
// frame distance f10; k2 at f20). Value differences run away from the first key (k - e) and
// toward the last (e - k). With all three keys on one frame the middle one counts as halfway.
void open_end_tangent(const Key& e, const Key& k1, const Key& k2, float f10, float f20, bool at_first,
                      float* tangent) {
  float c = f20 == 0 ? 0.0f : 0.25f - f10 / (2 * f20);
  for (int i = 0; i < 4; ++i) {
    float d20 = at_first ? k2.value[i] - e.value[i] : e.value[i] - k2.value[i];
    float d10 = at_first ? k1.value[i] - e.value[i] : e.value[i] - k1.value[i];
    tangent[i] = (1 - e.tension) * (0.5f * d20 + 1.5f * (d10 - 0.5f * d20) + c * d20);
  }
}

void open_end_tangents(Key& first, Key& last) {
  const Key& k1 = *first.next;
  const Key& k2 = *k1.next;
  open_end_tangent(first, k1, k2, k1.frame - first.frame, k2.frame - first.frame, true, first.out_tangent);
  const Key& l1 = *last.prev;
  const Key& l2 = *l1.prev;
  open_end_tangent(last, l1, l2, last.frame - l1.frame, last.frame - l2.frame, false, last.in_tangent);
}

void two_key_tangents(Key& k0, Key& k1) {
  for (int i = 0; i < 4; ++i) {
    float d = k1.value[i] - k0.value[i];
    k0.in_tangent[i] = 0;
    k0.out_tangent[i] = (1 - k0.tension) * d;
    k1.out_tangent[i] = 0;
    k1.in_tangent[i] = (1 - k1.tension) * d;
  }
}

// Log term between key k and its neighbour `other` for k's squad controls. Keys more than a
// full turn apart use the log of the later key's own axis instead of the orientation difference
// (the difference of two orientations cannot tell the extra turns).
void log_term_toward(const Key& k, const Key& other, bool other_is_next, Quaternion& out) {
  const Key& later = other_is_next ? other : k;
  const Key& earlier = other_is_next ? k : other;
  if (std::fabs(double(later.value[0]) - double(earlier.value[0])) > full_turn) {
    quat_log(Quaternion{0, later.value[1], later.value[2], later.value[3]}, out);
    return;
  }
  Quaternion q = other.orientation;
  if (quat_dot(q, k.orientation) < 0) quat_unit_inverse(q, q);
  if (other_is_next)
    quat_log_diff(k.orientation, q, out);
  else
    quat_log_diff(q, k.orientation, out);
}

void rotation_controls(Key& k, const Key* p, const Key* n) {
  Quaternion lp, ln;
  if (p != nullptr) log_term_toward(k, *p, false, lp);
  if (n != nullptr) log_term_toward(k, *n, true, ln);
  if (p == nullptr) lp = ln;
  if (n == nullptr) ln = lp;
  float fp = 1, fn = 1;
  if (p != nullptr && n != nullptr) spacing_factors(k, p->frame, n->frame, fp, fn);
  TcbWeights w = tcb_weights(k, fp, fn);
  // The control at a segment's start comes from ksm, ksp and the one at its end from kdm, kdp:
  // swapped with respect to the float tangents.
  Quaternion a{0, 0.5f * (w.kdm * lp.x + (w.kdp - 1) * ln.x), 0.5f * (w.kdm * lp.y + (w.kdp - 1) * ln.y),
               0.5f * (w.kdm * lp.z + (w.kdp - 1) * ln.z)};
  Quaternion b{0, 0.5f * ((1 - w.ksm) * lp.x - w.ksp * ln.x), 0.5f * ((1 - w.ksm) * lp.y - w.ksp * ln.y),
               0.5f * ((1 - w.ksm) * lp.z - w.ksp * ln.z)};
  quat_exp(a, a);
  quat_exp(b, b);
  quat_mul(k.orientation, a, k.in_control);
  quat_mul(k.orientation, b, k.out_control);
}

// ---- rotations ----

// The angle key n turns from key k about its own unit axis, whole turns included: the two
// orientations know it modulo 2 pi and the keys' running totals (d = their difference) to within
// one radian. False for a zero axis and for keys whose orientations do not turn about it.
bool own_turn(const Key& k, const Key& n, double d, double& angle, double axis[3]) {
  double ax = n.value[1], ay = n.value[2], az = n.value[3];
  const double axis_length = std::sqrt(ax * ax + ay * ay + az * az);
  if (axis_length == 0) return false;
  axis[0] = ax / axis_length;
  axis[1] = ay / axis_length;
  axis[2] = az / axis_length;

  // rel = n.orientation * conjugate(k.orientation), a rotation about the axis.
  Quaternion k_conjugate{k.orientation.w, -k.orientation.x, -k.orientation.y, -k.orientation.z};
  Quaternion rel;
  quat_mul(n.orientation, k_conjugate, rel);
  const double sin_half = rel.x * axis[0] + rel.y * axis[1] + rel.z * axis[2];
  const double vector_squared = double(rel.x) * rel.x + double(rel.y) * rel.y + double(rel.z) * rel.z;
  const double length_squared = vector_squared + double(rel.w) * rel.w;
  if (vector_squared - sin_half * sin_half > 1e-6 * length_squared) return false;  // another axis

  angle = 2.0 * std::atan2(sin_half, double(rel.w));
  angle += two_pi * std::round((d - angle) / two_pi);
  return std::fabs(angle - d) <= 1.001;
}

// The signed angle about `axis` through which the squad path from k to n turns: the arc between
// the orientations plus the half turns of `spins`, as quat_slerp_long plays them (an arc too short
// to divide by turns nothing, whatever the spins).
double squad_turn(const Key& k, const Key& n, float spins, const double axis[3]) {
  const float dot = quat_dot(k.orientation, n.orientation);
  if (1.0 - std::fabs(double(dot)) < 1e-6) return 0;
  const double arc = 2.0 * (std::acos(double(dot)) + double(spins) * 3.14159265359);
  Quaternion k_conjugate{k.orientation.w, -k.orientation.x, -k.orientation.y, -k.orientation.z};
  Quaternion rel;
  quat_mul(n.orientation, k_conjugate, rel);
  const double along = rel.x * axis[0] + rel.y * axis[1] + rel.z * axis[2];
  return along < 0 ? -arc : arc;
}

// Every segment turns through its key's own angle about the key's own axis, whole turns
// included. The squad path does so for most keys; for the others (keys of a full turn or more,
// and keys whose running totals differ from their own angle by a turn) it would turn the wrong
// way or the wrong number of times, and the segment is played here instead: the key's angle
// about its axis, eased by s, measured from the nearer key so that both ends are met exactly.
// False, leaving the squad path to run, when it is right or when the keys' orientations do not
// agree with their axis.
bool play_own_turn(const Key& k, const Key& n, double d, float spins, float s, Quaternion& out) {
  double angle, axis[3];
  if (!own_turn(k, n, d, angle, axis)) return false;
  if (std::fabs(squad_turn(k, n, spins, axis) - angle) < 0.5) return false;

  // (Should the keys store orientations of opposite sign, the halves differ in sign only: the
  // same rotation.)
  const float ux = float(axis[0]), uy = float(axis[1]), uz = float(axis[2]);
  Quaternion turn;
  if (s < 0.5f) {
    quat_from_angle_axis(float(angle * s), ux, uy, uz, turn);
    quat_mul(turn, k.orientation, out);
  } else {
    quat_from_angle_axis(float(angle * (double(s) - 1.0)), ux, uy, uz, turn);
    quat_mul(turn, n.orientation, out);
  }
  return true;
}

}  // namespace

Track::~Track() {
  Key* k = first;
  while (k != nullptr) {
    Key* next = k->next;
    delete k;
    k = next;
  }
}

std::unique_ptr<Track> track_new() noexcept { return std::unique_ptr<Track>(new (std::nothrow) Track); }
std::unique_ptr<Key> key_new() noexcept { return std::unique_ptr<Key>(new (std::nothrow) Key); }

std::int32_t key_get_int(const Key& key) { return std::bit_cast<std::int32_t>(key.value[0]); }
void key_set_int(Key& key, std::int32_t v) { key.value[0] = std::bit_cast<float>(v); }

int track_append_key(Track* track, std::unique_ptr<Key> key, std::int32_t frame) noexcept {
  if (track == nullptr || key == nullptr) return SCENE_NULL_ARGUMENT;
  Key* k = key.release();
  k->next = nullptr;
  k->frame = float(frame);
  if (track->first != nullptr) {
    // The hint is the tail while the track is built; walking on keeps a late append safe.
    Key* tail = track->hint != nullptr ? track->hint : track->first;
    while (tail->next != nullptr) tail = tail->next;
    k->prev = tail;
    tail->next = k;
  } else {
    k->prev = nullptr;
    track->first = k;
  }
  track->hint = k;
  track->length = k->frame;
  track->key_count += 1;
  return SCENE_OK;
}

void track_free(std::unique_ptr<Track>& track) noexcept { track.reset(); }

int track_setup_spline(Track* track) noexcept {
  if (track == nullptr || track->first == nullptr) return SCENE_NULL_ARGUMENT;
  Key* first = track->first;
  if (first->next == nullptr) return SCENE_SINGLE_KEY;
  Key* last = first;
  while (last->next != nullptr) last = last->next;
  if (first->next == last) {
    two_key_tangents(*first, *last);
    return SCENE_OK;
  }
  for (Key* k = first->next; k != last; k = k->next) tcb_tangents(*k, *k->prev, *k->next, k->prev->frame, k->next->frame);
  if ((track->flags & TRACK_LOOP) != 0) {
    const Key& p = *last->prev;
    const Key& n = *first->next;
    tcb_tangents(*first, p, n, p.frame - track->length, n.frame);
    tcb_tangents(*last, p, n, p.frame, n.frame + track->length);
  } else {
    open_end_tangents(*first, *last);
  }
  return SCENE_OK;
}

int track_setup_rotation(Track* track) noexcept {
  if (track == nullptr || track->first == nullptr) return SCENE_NULL_ARGUMENT;
  Key* first = track->first;
  if (first->next == nullptr) return SCENE_SINGLE_KEY;
  Key* last = first;
  while (last->next != nullptr) last = last->next;
  for (Key* k = first->next; k != last; k = k->next) rotation_controls(*k, k->prev, k->next);
  rotation_controls(*first, nullptr, first->next);
  rotation_controls(*last, last->prev, nullptr);
  return SCENE_OK;
}

float ease_curve(float t, float a, float b) noexcept {
  float s = a + b;
  if (s == 0) return t;
  if (s > 1) {
    a = a / s;
    b = b / s;
  }
  // Every branch is 1 at t = 1; returning it directly keeps a key's own value exact there.
  if (t >= 1) return 1.0f;
  float k = 1.0f / (2.0f - a - b);
  if (t < a) return (k / a) * t * t;
  if (t < 1 - b || b == 0) return k * (2 * t - a);
  float u = 1 - t;
  return 1 - (k / b) * u * u;
}

int track_eval_float(Track* track, float frame, float& out) noexcept {
  return eval_spline(track, frame, 1, true, true, &out);
}

int track_eval_vector(Track* track, float frame, Vector3& out) noexcept {
  float v[3] = {out.x, out.y, out.z};
  int rc = eval_spline(track, frame, 3, true, true, v);
  out = {v[0], v[1], v[2]};
  return rc;
}

int track_eval_color(Track* track, float frame, Vector3& out) noexcept {
  float v[3] = {out.x, out.y, out.z};
  int rc = eval_spline(track, frame, 3, false, false, v);
  out = {v[0], v[1], v[2]};
  return rc;
}

int track_eval_rotation(Track* track, float frame, Quaternion& out) noexcept {
  float f = frame;
  if (!(f >= 0)) return SCENE_BAD_FRAME;
  if (track == nullptr || track->first == nullptr) return SCENE_NULL_ARGUMENT;
  const Key& first = *track->first;
  if (!wrap_frame(*track, f)) {
    out = first.orientation;
    return SCENE_OK;
  }

  if ((lib_flags() & LIB_SLERP) != 0) {
    const Key* k = find_key(*track, f);
    if (k->next != nullptr && f >= k->frame) {
      const Key& n = *k->next;
      float s = ease_curve(segment_t(*k, n, f), k->ease_from, n.ease_to);
      quat_slerp(k->orientation, n.orientation, 0, s, out);
    } else {
      out = k->orientation;
    }
    return SCENE_OK;
  }

  if (first.next == nullptr || f < first.frame) {
    out = first.orientation;
    return SCENE_OK;
  }
  const Key* k = find_key(*track, f);
  if (k->next == nullptr || f < k->frame) {
    out = k->orientation;
    return SCENE_OK;
  }
  const Key& n = *k->next;
  float s = ease_curve(segment_t(*k, n, f), k->ease_from, n.ease_to);
  float d = n.value[0] - k->value[0];
  // Whole turns between the keys' running totals, truncated toward zero.
  double w = double(d) * turns_per_radian;
  float spins = float(d > 0 ? std::floor(w) : std::ceil(w));
  if (play_own_turn(*k, n, d, spins, s, out)) return SCENE_OK;

  Quaternion a, b;
  quat_slerp_long(k->orientation, n.orientation, spins, s, a);
  quat_slerp_long(k->out_control, n.in_control, spins, s, b);
  quat_slerp_long(a, b, 0, 2 * s * (1 - s), out);
  return SCENE_OK;
}

int track_eval_hide(Track* track, float frame, std::int32_t& out) noexcept {
  float f = frame;
  if (!(f >= 0)) return SCENE_BAD_FRAME;
  if (track == nullptr || track->first == nullptr) {
    out = 0;
    return SCENE_NULL_ARGUMENT;
  }
  if (!wrap_frame(*track, f) || f < track->first->frame) {
    out = 0;
    return SCENE_OK;
  }
  out = key_get_int(*find_key(*track, f));
  return SCENE_OK;
}

int track_eval_morph(Track* track, float frame, MorphState& out) noexcept {
  float f = frame;
  if (!(f >= 0)) return SCENE_BAD_FRAME;
  if (track == nullptr || track->first == nullptr) return SCENE_NULL_ARGUMENT;
  const Key* k = find_key(*track, f);
  if (k->next != nullptr && f >= k->frame) {
    const Key& n = *k->next;
    out = {key_get_int(*k), key_get_int(n), ease_curve(segment_t(*k, n, f), k->ease_from, n.ease_to)};
  } else {
    // At or past the last key, or before the first: fully at this key's target.
    const Key& source = k->prev != nullptr ? *k->prev : *k;
    out = {key_get_int(source), key_get_int(*k), 1.0f};
  }
  return SCENE_OK;
}
