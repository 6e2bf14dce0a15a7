// Three 32-bit floats: positions, normals, box corners and cell sizes.
#pragma once

#include <cmath>

namespace Tavrin {

struct Vec3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;

  constexpr Vec3() = default;
  constexpr Vec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3 operator-() const { return {-x, -y, -z}; }
  Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
  Vec3 operator*(double s) const {
    return {static_cast<float>(x * s), static_cast<float>(y * s), static_cast<float>(z * s)};
  }
  Vec3& operator+=(const Vec3& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  bool operator==(const Vec3& o) const { return x == o.x && y == o.y && z == o.z; }
};

// Component-wise product.
inline Vec3 mul(const Vec3& a, const Vec3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& u, const Vec3& v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// Scales to unit length, except that a vector whose sum of absolute values is
// at most 0 or exactly 1 is returned unchanged: (0.6, 0.4, 0) stays as it is.
inline Vec3 normalize(const Vec3& v) {
  float s = std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z);
  if (!(s > 0.0f) || s == 1.0f) return v;
  float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / len, v.y / len, v.z / len};
}

constexpr float kLargestFloat = 3.4028235e38f;

// An axis-aligned box; empty until a point is added.
struct Box {
  Vec3 min{kLargestFloat, kLargestFloat, kLargestFloat};
  Vec3 max{-kLargestFloat, -kLargestFloat, -kLargestFloat};

  Vec3 centre() const { return (min + max) * 0.5f; }
};

// The cube around a box: every axis widened symmetrically to the longest extent.
inline Box cube_around(const Box& b) {
  Vec3 ext = b.max - b.min;
  float side = ext.x;
  if (ext.y > side) side = ext.y;
  if (ext.z > side) side = ext.z;
  Box c;
  for (int i = 0; i < 3; ++i) {
    float pad = (side - ext[i]) * 0.5f;
    c.min[i] = b.min[i] - pad;
    c.max[i] = b.max[i] + pad;
  }
  return c;
}

}  // namespace Tavrin
