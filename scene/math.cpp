// math.cpp: vector, quaternion and matrix functions. Each computes into a local first and
// copies to `out` last, which is what lets `out` alias an input.
#include "scene/math.h"

#include <algorithm>
#include <cmath>

#include "scene/scene.h"

namespace {

// The constants below are kept exactly as the animation data was tuned against.
constexpr double slerp_pi = 3.14159265359;
constexpr float half_pi = 1.5707964f;
constexpr float one_over_180 = 0.0055555557f;
constexpr double camera_pi = 3.14159265359;
constexpr double degrees_to_radians = 0.017453292519944444;
constexpr double slerp_linear_limit = 1e-6;  // below this 1 - dot, sin(theta) is too small to divide by

constexpr Matrix identity_matrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};

double dot3(double ax, double ay, double az, double bx, double by, double bz) {
  return ax * bx + ay * by + az * bz;
}

// Weights k0, k1 of the two ends for an arc of cos(theta) = d with `spin` extra turns.
void slerp_weights(float d, float spin, float t, float& k0, float& k1) {
  if (1.0 - double(d) >= slerp_linear_limit) {
    double theta = std::acos(double(d));
    double phi = (theta + double(spin) * slerp_pi) * double(t);
    float sin_theta = float(std::sin(theta));
    k0 = float(std::sin(theta - phi) / sin_theta);
    k1 = float(std::sin(phi) / sin_theta);
  } else {
    k0 = 1.0f - t;
    k1 = t;
  }
}

void quat_blend(const Quaternion& a, float k0, const Quaternion& b, float k1, Quaternion& out) {
  Quaternion r{k0 * a.w + k1 * b.w, k0 * a.x + k1 * b.x, k0 * a.y + k1 * b.y, k0 * a.z + k1 * b.z};
  out = r;
}

}  // namespace

// ---- vectors ----

void vec_make(float x, float y, float z, Vector3& out) { out = {x, y, z}; }
void vec_zero(Vector3& out) { out = {0, 0, 0}; }
void vec_copy(const Vector3& a, Vector3& out) { out = a; }

void vec_add(const Vector3& a, const Vector3& b, Vector3& out) {
  Vector3 r{a.x + b.x, a.y + b.y, a.z + b.z};
  out = r;
}

void vec_sub(const Vector3& a, const Vector3& b, Vector3& out) {
  Vector3 r{a.x - b.x, a.y - b.y, a.z - b.z};
  out = r;
}

void vec_scale(const Vector3& a, float s, Vector3& out) {
  Vector3 r{s * a.x, s * a.y, s * a.z};
  out = r;
}

void vec_negate(const Vector3& a, Vector3& out) {
  Vector3 r{-a.x, -a.y, -a.z};
  out = r;
}

float vec_length(const Vector3& a) {
  double squared = dot3(a.x, a.y, a.z, a.x, a.y, a.z);
  return squared == 0 ? 1.0f : float(std::sqrt(squared));
}

float vec_cos_angle(const Vector3& a, const Vector3& b) {
  float length_a = vec_length(a);
  float length_b = vec_length(b);
  return float(dot3(a.x, a.y, a.z, b.x, b.y, b.z) / (double(length_a) * double(length_b)));
}

void vec_cross(const Vector3& a, const Vector3& b, Vector3& out) {
  Vector3 r{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  out = r;
}

void vec_lerp(const Vector3& a, const Vector3& b, float t, Vector3& out) {
  Vector3 r{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
  out = r;
}

void vec_normalize(const Vector3& a, Vector3& out) {
  float length = vec_length(a);
  Vector3 r{a.x / length, a.y / length, a.z / length};
  out = r;
}

// ---- quaternions ----

void quat_from_angle_axis(float angle, float x, float y, float z, Quaternion& out) {
  double half = double(angle) * 0.5;
  float s = float(std::sin(half));
  out = {float(std::cos(half)), x * s, y * s, z * s};
}

void quat_make(float w, float x, float y, float z, Quaternion& out) { out = {w, x, y, z}; }
void quat_identity(Quaternion& out) { out = {1, 0, 0, 0}; }
void quat_zero(Quaternion& out) { out = {0, 0, 0, 0}; }
void quat_copy(const Quaternion& a, Quaternion& out) { out = a; }

void quat_mul(const Quaternion& a, const Quaternion& b, Quaternion& out) {
  Quaternion r{a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
               a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
               a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
               a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x};
  out = r;
}

float quat_length(const Quaternion& a) {
  return float(std::sqrt(double(a.w) * a.w + dot3(a.x, a.y, a.z, a.x, a.y, a.z)));
}

float quat_dot(const Quaternion& a, const Quaternion& b) {
  return float(double(a.w) * b.w + dot3(a.x, a.y, a.z, b.x, b.y, b.z));
}

float quat_cos_angle(const Quaternion& a, const Quaternion& b) {
  float length_a = quat_length(a);
  float length_b = quat_length(b);
  double dot = double(a.w) * b.w + dot3(a.x, a.y, a.z, b.x, b.y, b.z);
  return float(dot / (double(length_a) * double(length_b)));
}

void quat_scale(const Quaternion& a, float s, Quaternion& out) {
  Quaternion r{s * a.w, s * a.x, s * a.y, s * a.z};
  out = r;
}

void quat_normalize(const Quaternion& a, Quaternion& out) { quat_scale(a, 1.0f / quat_length(a), out); }

void quat_inverse(const Quaternion& a, Quaternion& out) {
  float n = float(double(a.w) * a.w + dot3(a.x, a.y, a.z, a.x, a.y, a.z));
  float f = n == 1.0f ? 1.0f : 1.0f / n;
  Quaternion r{f * a.w, -f * a.x, -f * a.y, -f * a.z};
  out = r;
}

void quat_unit_inverse(const Quaternion& a, Quaternion& out) {
  Quaternion n;
  quat_normalize(a, n);
  out = {n.w, -n.x, -n.y, -n.z};
}

void quat_exp(const Quaternion& a, Quaternion& out) {
  double theta = std::sqrt(dot3(a.x, a.y, a.z, a.x, a.y, a.z));
  float s = theta > 0 ? float(std::sin(theta) / theta) : 1.0f;
  Quaternion r{float(std::cos(theta)), s * a.x, s * a.y, s * a.z};
  out = r;
}

void quat_log(const Quaternion& a, Quaternion& out) {
  float theta = a.w == 0 ? half_pi : float(std::atan(std::sqrt(dot3(a.x, a.y, a.z, a.x, a.y, a.z)) / a.w));
  Quaternion r{0, theta * a.x, theta * a.y, theta * a.z};
  out = r;
}

void quat_log_diff(const Quaternion& a, const Quaternion& b, Quaternion& out) {
  Quaternion c;
  quat_inverse(a, c);
  quat_mul(c, b, c);
  float s = float(std::sqrt(dot3(c.x, c.y, c.z, c.x, c.y, c.z)));
  float g = quat_cos_angle(a, b);
  float theta = g == 0 ? half_pi : float(std::atan(double(s) / g));
  if (s != 0) theta /= s;
  out = {0, theta * c.x, theta * c.y, theta * c.z};
}

void quat_slerp(const Quaternion& a, const Quaternion& b, float spin, float t, Quaternion& out) {
  float d = quat_dot(a, b);
  float sign = 1.0f;
  if (d < 0) {
    d = -d;
    sign = -1.0f;
  }
  float k0, k1;
  slerp_weights(d, spin, t, k0, k1);
  quat_blend(a, k0, b, k1 * sign, out);
}

void quat_slerp_long(const Quaternion& a, const Quaternion& b, float spin, float t, Quaternion& out) {
  float d = quat_dot(a, b);
  float k0, k1;
  if (1.0 - std::fabs(double(d)) >= slerp_linear_limit) {
    slerp_weights(d, spin, t, k0, k1);
  } else {
    k0 = 1.0f - t;
    k1 = t;
  }
  quat_blend(a, k0, b, k1, out);
}

void quat_to_matrix(const Quaternion& q, Matrix& out) {
  float x2 = q.x + q.x, y2 = q.y + q.y, z2 = q.z + q.z;
  float xx = q.x * x2, yy = q.y * y2, zz = q.z * z2;
  float xy = q.x * y2, xz = q.x * z2, yz = q.y * z2;
  float wx = q.w * x2, wy = q.w * y2, wz = q.w * z2;
  out = {{{1 - (yy + zz), xy - wz, xz + wy, 0},
          {xy + wz, 1 - (xx + zz), yz - wx, 0},
          {xz - wy, yz + wx, 1 - (xx + yy), 0}}};
}

// ---- matrices ----

void mat_zero(Matrix& out) { out = Matrix{}; }
void mat_identity(Matrix& out) { out = identity_matrix; }
void mat_copy(const Matrix& a, Matrix& out) { out = a; }

void mat_mul(const Matrix& a, const Matrix& b, Matrix& out) {
  Matrix r;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) {
      double sum = double(a.m[row][0]) * b.m[0][col] + double(a.m[row][1]) * b.m[1][col] +
                   double(a.m[row][2]) * b.m[2][col];
      if (col == 3) sum += a.m[row][3];
      r.m[row][col] = float(sum);
    }
  }
  out = r;
}

int mat_inverse_axes(const Matrix& a, Matrix& out) {
  Matrix r = a;
  for (int row = 0; row < 3; ++row) {
    const float* v = a.m[row];
    double squared = dot3(v[0], v[1], v[2], v[0], v[1], v[2]);
    if (squared == 0) {
      out = identity_matrix;
      return SCENE_SINGULAR;
    }
    for (int col = 0; col < 3; ++col) r.m[row][col] = float(v[col] / squared);
  }
  out = r;
  return SCENE_OK;
}

int mat_normalize_rows(const Matrix& a, Matrix& out) {
  Matrix r = a;
  for (int row = 0; row < 3; ++row) {
    const float* v = a.m[row];
    double squared = dot3(v[0], v[1], v[2], v[0], v[1], v[2]);
    if (squared == 0) continue;
    double length = std::sqrt(squared);
    for (int col = 0; col < 3; ++col) r.m[row][col] = float(v[col] / length);
  }
  out = r;
  return SCENE_OK;
}

void mat_pretranslate(const Vector3& v, const Matrix& a, Matrix& out) {
  Matrix r = a;
  for (int row = 0; row < 3; ++row)
    r.m[row][3] = float(dot3(a.m[row][0], a.m[row][1], a.m[row][2], v.x, v.y, v.z) + a.m[row][3]);
  out = r;
}

void mat_scale(const Vector3& v, Matrix& out) {
  out = identity_matrix;
  out.m[0][0] = v.x;
  out.m[1][1] = v.y;
  out.m[2][2] = v.z;
}

void mat_transform_point(const Matrix& a, const Vector3& p, Vector3& out) {
  Vector3 r{float(dot3(a.m[0][0], a.m[0][1], a.m[0][2], p.x, p.y, p.z) + a.m[0][3]),
            float(dot3(a.m[1][0], a.m[1][1], a.m[1][2], p.x, p.y, p.z) + a.m[1][3]),
            float(dot3(a.m[2][0], a.m[2][1], a.m[2][2], p.x, p.y, p.z) + a.m[2][3])};
  out = r;
}

void mat_transform_vector(const Matrix& a, const Vector3& p, Vector3& out) {
  Vector3 r{float(dot3(a.m[0][0], a.m[0][1], a.m[0][2], p.x, p.y, p.z)),
            float(dot3(a.m[1][0], a.m[1][1], a.m[1][2], p.x, p.y, p.z)),
            float(dot3(a.m[2][0], a.m[2][1], a.m[2][2], p.x, p.y, p.z))};
  out = r;
}

// ---- cameras ----

void lens_to_fov(float lens, float& out) {
  struct LensFov {
    float lens, fov;
  };
  static constexpr LensFov table[] = {{15, 115}, {20, 94.28571f}, {24, 84}, {28, 76.36364f}, {35, 63},
                                      {50, 46},  {85, 28},        {135, 18}, {200, 12}};
  for (const LensFov& entry : table) {
    if (entry.lens == lens) {
      out = entry.fov;
      return;
    }
  }
  out = float(15.0 / double(lens) * 160.0);
}

void camera_matrix(Camera& camera) {
  double h = std::tan(double(camera.fov) * 0.5 * double(one_over_180) * camera_pi);
  camera.perspective_x = float(double(camera.screen_width) * 0.5 / h);
  camera.perspective_y = float(double(camera.screen_height) * 0.5 / double(camera.aspect) / h);

  Vector3 d;
  vec_sub(camera.target, camera.position, d);
  double yaw = -std::atan2(double(d.x), double(d.z));
  // Rounding can push the ratio a hair past 1 for a target straight above or below.
  double pitch = std::asin(std::clamp(double(d.y) / double(vec_length(d)), -1.0, 1.0));
  double roll = -double(camera.roll) * degrees_to_radians;
  double sa = std::sin(yaw), ca = std::cos(yaw);
  double sb = std::sin(pitch), cb = std::cos(pitch);
  double sr = std::sin(roll), cr = std::cos(roll);

  Matrix r = {{{float(cr * ca + sr * sb * sa), float(sr * cb), float(cr * sa - sr * sb * ca), 0},
               {float(cr * sb * sa - sr * ca), float(cr * cb), float(-cr * sb * ca - sr * sa), 0},
               {float(-cb * sa), float(sb), float(cb * ca), 0}}};
  Vector3 minus_position;
  vec_negate(camera.position, minus_position);
  mat_pretranslate(minus_position, r, camera.matrix);
}
