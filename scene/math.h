// math.h: the scene library's vector, quaternion and 3x4 matrix value types and their
// free functions. Inputs come by reference and the result goes to `out`, the last argument;
// every function reads all of its inputs before it writes, so `out` may alias any input.
// Nothing here allocates; values are 32-bit floats, intermediate sums may be wider.
#pragma once

struct Camera;

struct Vector3 {
  float x = 0, y = 0, z = 0;
};

// Scalar part first; the identity is (1, 0, 0, 0).
struct Quaternion {
  float w = 0, x = 0, y = 0, z = 0;
};

// Three rows of four: the left 3x3 block is the linear part, column 3 the translation, with an
// implied fourth row (0, 0, 0, 1). Points are column vectors: p' = M p.
struct Matrix {
  float m[3][4] = {};
};

// ---- vectors ----
void vec_make(float x, float y, float z, Vector3& out);
void vec_zero(Vector3& out);
void vec_copy(const Vector3& a, Vector3& out);
void vec_add(const Vector3& a, const Vector3& b, Vector3& out);
void vec_sub(const Vector3& a, const Vector3& b, Vector3& out);
void vec_scale(const Vector3& a, float s, Vector3& out);
void vec_negate(const Vector3& a, Vector3& out);
// Euclidean length, but 1.0 for the zero vector so that dividing by it is always safe.
float vec_length(const Vector3& a);
// Cosine of the angle between a and b; 0 when either is the zero vector.
float vec_cos_angle(const Vector3& a, const Vector3& b);
void vec_cross(const Vector3& a, const Vector3& b, Vector3& out);
void vec_lerp(const Vector3& a, const Vector3& b, float t, Vector3& out);
// a / vec_length(a): the zero vector stays zero.
void vec_normalize(const Vector3& a, Vector3& out);

// ---- quaternions ----
// Angle in radians; the axis is used as given, not normalised.
void quat_from_angle_axis(float angle, float x, float y, float z, Quaternion& out);
void quat_make(float w, float x, float y, float z, Quaternion& out);
void quat_identity(Quaternion& out);
void quat_zero(Quaternion& out);
void quat_copy(const Quaternion& a, Quaternion& out);
// Hamilton product a b.
void quat_mul(const Quaternion& a, const Quaternion& b, Quaternion& out);
float quat_length(const Quaternion& a);
float quat_dot(const Quaternion& a, const Quaternion& b);
float quat_cos_angle(const Quaternion& a, const Quaternion& b);
void quat_scale(const Quaternion& a, float s, Quaternion& out);
// The caller never passes the zero quaternion.
void quat_normalize(const Quaternion& a, Quaternion& out);
// Conjugate divided by the squared length; exactly the conjugate when that length is 1.
void quat_inverse(const Quaternion& a, Quaternion& out);
// Conjugate of the normalised quaternion.
void quat_unit_inverse(const Quaternion& a, Quaternion& out);
// Uses x, y, z only: (cos t, sin t / t * v) with t = |v|.
void quat_exp(const Quaternion& a, Quaternion& out);
// (0, atan(|v| / w) * v), with the angle pi/2 when w is exactly 0.
void quat_log(const Quaternion& a, Quaternion& out);
// Log of the rotation from a to b, the tangent term of rotation splines.
void quat_log_diff(const Quaternion& a, const Quaternion& b, Quaternion& out);
// Shortest-arc interpolation; each whole unit of `spin` adds one extra turn of the rotation.
void quat_slerp(const Quaternion& a, const Quaternion& b, float spin, float t, Quaternion& out);
// The same along the arc from a to b as given, without choosing the shorter one.
void quat_slerp_long(const Quaternion& a, const Quaternion& b, float spin, float t, Quaternion& out);
// Rotation matrix of a unit quaternion, zero translation.
void quat_to_matrix(const Quaternion& q, Matrix& out);

// ---- matrices ----
void mat_zero(Matrix& out);
void mat_identity(Matrix& out);
void mat_copy(const Matrix& a, Matrix& out);
// a b: b is applied first.
void mat_mul(const Matrix& a, const Matrix& b, Matrix& out);
// Each row of the 3x3 block divided by its squared length (the inverse of a matrix whose
// columns are perpendicular axes); translation copied. A zero row gives the identity and 13.
int mat_inverse_axes(const Matrix& a, Matrix& out);
// Each row of the 3x3 block made unit length (a zero row stays zero); returns 0.
int mat_normalize_rows(const Matrix& a, Matrix& out);
// a T(v): translate by v first, then apply a.
void mat_pretranslate(const Vector3& v, const Matrix& a, Matrix& out);
void mat_scale(const Vector3& v, Matrix& out);
void mat_transform_point(const Matrix& a, const Vector3& p, Vector3& out);
void mat_transform_vector(const Matrix& a, const Vector3& p, Vector3& out);

// ---- cameras ----
// Field of view in degrees for a lens in millimetres: the standard lenses from a table,
// any other by (15 / lens) * 160.
void lens_to_fov(float lens, float& out);
// Perspective factors and world-to-camera matrix from the camera's position, target, fov,
// roll and screen size; the target ends on the camera's +z axis.
void camera_matrix(Camera& camera);
