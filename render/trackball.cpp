// The virtual trackball's arithmetic; see trackball.h.
#include "render/trackball.h"

#include <cmath>

namespace Tavrin {

namespace {

constexpr float kBallRadius = 0.55f;
constexpr int kRenormaliseAfter = 97;

// Counts compositions across the whole process: the window composes one per
// mouse motion event into a single view quaternion.
int g_compositions = 0;

std::array<float, 3> cross3(const std::array<float, 3>& u, const std::array<float, 3>& v) {
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

}  // namespace

float project_to_sphere(float r, float x, float y) {
  float d = std::sqrt(x * x + y * y);
  if (d < r * 0.70710678118654752440f) return std::sqrt(r * r - d * d);
  float t = r / 1.41421356237309504880f;
  return t * t / d;
}

Quaternion trackball_rotation(float x1, float y1, float x2, float y2) {
  if (x1 == x2 && y1 == y2) return {0, 0, 0, 1};
  std::array<float, 3> p1{x1, y1, project_to_sphere(kBallRadius, x1, y1)};
  std::array<float, 3> p2{x2, y2, project_to_sphere(kBallRadius, x2, y2)};
  std::array<float, 3> axis = cross3(p2, p1);
  float dx = p1[0] - p2[0], dy = p1[1] - p2[1], dz = p1[2] - p2[2];
  float t = std::sqrt(dx * dx + dy * dy + dz * dz) / (2.0f * kBallRadius);
  if (t > 1.0f) t = 1.0f;
  if (t < -1.0f) t = -1.0f;
  float phi = 2.0f * std::asin(t);
  float len = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  // Two distinct points on the same ray from the centre (both on the sheet
  // far out) give a zero axis: no turn rather than a NaN quaternion.
  if (!(len > 0.0f)) return {0, 0, 0, 1};
  float s = std::sin(phi / 2.0f) / len;
  return {axis[0] * s, axis[1] * s, axis[2] * s, std::cos(phi / 2.0f)};
}

Quaternion compose_rotations(const Quaternion& q1, const Quaternion& q2) {
  std::array<float, 3> a{q1[0], q1[1], q1[2]};
  std::array<float, 3> b{q2[0], q2[1], q2[2]};
  std::array<float, 3> c = cross3(b, a);
  Quaternion q;
  for (int i = 0; i < 3; ++i) q[i] = a[i] * q2[3] + b[i] * q1[3] + c[i];
  q[3] = q1[3] * q2[3] - (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
  if (++g_compositions > kRenormaliseAfter) {
    g_compositions = 0;
    // Divide by the length itself: dividing by its square would turn a
    // length of 1 + e into 1 - e and never remove the drift.
    float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (len > 0.0f)
      for (float& v : q) v /= len;
  }
  return q;
}

int composition_count() { return g_compositions; }
void reset_composition_count() { g_compositions = 0; }

std::array<float, 16> rotation_matrix(const Quaternion& q) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  return {1 - 2 * (y * y + z * z),
          2 * (x * y - z * w),
          2 * (z * x + y * w),
          0,
          2 * (x * y + z * w),
          1 - 2 * (z * z + x * x),
          2 * (y * z - x * w),
          0,
          2 * (z * x - y * w),
          2 * (y * z + x * w),
          1 - 2 * (y * y + x * x),
          0,
          0,
          0,
          0,
          1};
}

}  // namespace Tavrin
