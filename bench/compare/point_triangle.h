// Exact distance from a point to a triangle in double precision. The closest
// point is found by the Voronoi region of the point with respect to the
// triangle (a vertex, an edge or the interior); a triangle of zero area falls
// back to the nearest of its three edges.
#pragma once

#include <algorithm>

namespace Tavrin {

struct Point3d {
  double x = 0.0, y = 0.0, z = 0.0;
};

inline Point3d operator-(const Point3d& a, const Point3d& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point3d operator+(const Point3d& a, const Point3d& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point3d operator*(const Point3d& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(const Point3d& a, const Point3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3d cross(const Point3d& u, const Point3d& v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}
inline double squared_length(const Point3d& a) { return dot(a, a); }

// Squared distance from p to the segment [a, b].
inline double squared_distance_to_segment(const Point3d& p, const Point3d& a, const Point3d& b) {
  const Point3d ab = b - a;
  const double len2 = dot(ab, ab);
  double t = len2 > 0.0 ? dot(p - a, ab) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return squared_length(p - (a + ab * t));
}

// Squared distance from p to the triangle (a, b, c).
inline double squared_distance_to_triangle(const Point3d& p, const Point3d& a, const Point3d& b,
                                           const Point3d& c) {
  const Point3d ab = b - a, ac = c - a, ap = p - a;
  const Point3d n = cross(ab, ac);
  const double n2 = dot(n, n);
  const double scale = std::max(dot(ab, ab), dot(ac, ac));
  if (!(n2 > 1e-24 * scale * scale)) {
    // Zero area: the triangle is a segment or a point.
    return std::min({squared_distance_to_segment(p, a, b), squared_distance_to_segment(p, b, c),
                     squared_distance_to_segment(p, c, a)});
  }
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0.0 && d2 <= 0.0) return squared_length(ap);  // vertex a
  const Point3d bp = p - b;
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0.0 && d4 <= d3) return squared_length(bp);  // vertex b
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {  // edge ab
    const double v = d1 / (d1 - d3);
    return squared_length(p - (a + ab * v));
  }
  const Point3d cp = p - c;
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0.0 && d5 <= d6) return squared_length(cp);  // vertex c
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {  // edge ac
    const double w = d2 / (d2 - d6);
    return squared_length(p - (a + ac * w));
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0) {  // edge bc
    const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    return squared_length(p - (b + (c - b) * w));
  }
  // Interior: the distance to the plane.
  const double h = dot(ap, n);
  return h * h / n2;
}

}  // namespace Tavrin
