// Surface distance between two triangle meshes, estimated by sampling: points
// spread uniformly by area over one surface (a counter-based generator with a
// fixed seed, so every run and thread count draws the same points) are
// measured exactly against the other surface through a TriangleGrid. Both
// directions are measured; the sums are formed in sample order.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench/compare/point_triangle.h"
#include "bench/compare/surface_mesh.h"
#include "bench/compare/triangle_grid.h"

namespace Tavrin {

// A uniform double in [0, 1) from the 64-bit mix of (seed, counter).
inline double uniform_at(uint64_t seed, uint64_t counter) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull * (counter + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

// `count` points spread uniformly by area over the mesh; none when it has no
// area.
inline std::vector<Point3d> sample_surface(const SurfaceMesh& mesh, int64_t count, uint64_t seed) {
  const int64_t n = mesh.triangle_count();
  auto corner = [&](int64_t t, int j) {
    const Vec3& q = mesh.nodes[mesh.triangles[3 * t + j]];
    return Point3d{q.x, q.y, q.z};
  };
  std::vector<double> cumulative(static_cast<size_t>(n));
  double total = 0.0;
  for (int64_t t = 0; t < n; ++t) {
    const Point3d a = corner(t, 0);
    total += 0.5 * std::sqrt(squared_length(cross(corner(t, 1) - a, corner(t, 2) - a)));
    cumulative[t] = total;
  }
  std::vector<Point3d> points;
  if (!(total > 0.0) || count <= 0) return points;
  points.resize(static_cast<size_t>(count));
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < count; ++i) {
    const double u = uniform_at(seed, 3 * i) * total;
    int64_t t = std::upper_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin();
    t = std::min(t, n - 1);
    // Uniform on the triangle: the square-root warp of two uniforms.
    const double r1 = std::sqrt(uniform_at(seed, 3 * i + 1)), r2 = uniform_at(seed, 3 * i + 2);
    const Point3d a = corner(t, 0), b = corner(t, 1), c = corner(t, 2);
    points[i] = a * (1.0 - r1) + b * (r1 * (1.0 - r2)) + c * (r1 * r2);
  }
  return points;
}

// Distance from each point to the mesh (infinity when the mesh is empty).
inline std::vector<double> distances_to(const SurfaceMesh& mesh, const Box& region,
                                        const std::vector<Point3d>& points) {
  TriangleGrid grid(mesh, region);
  std::vector<double> d(points.size());
  const int64_t n = static_cast<int64_t>(points.size());
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < n; ++i) d[i] = std::sqrt(grid.nearest_squared(points[i]));
  return d;
}

struct DirectedDistance {
  double rms = 0.0, max = 0.0, mean = 0.0;
  int64_t samples = 0;
};

struct SurfaceDistance {
  DirectedDistance a_to_b, b_to_a;
  double diagonal = 0.0;  // of the first mesh's bounding box
  // Symmetric figures: the larger of the two directions.
  double rms() const { return std::max(a_to_b.rms, b_to_a.rms); }
  double max() const { return std::max(a_to_b.max, b_to_a.max); }
};

inline DirectedDistance summarise(const std::vector<double>& d) {
  DirectedDistance r;
  r.samples = static_cast<int64_t>(d.size());
  if (d.empty()) return r;
  double sum = 0.0, sum2 = 0.0;
  for (double x : d) {
    sum += x;
    sum2 += x * x;
    r.max = std::max(r.max, x);
  }
  r.mean = sum / static_cast<double>(d.size());
  r.rms = std::sqrt(sum2 / static_cast<double>(d.size()));
  return r;
}

// Both directed distances, in the meshes' units, from `samples` points on
// each surface. A mesh without area gives no samples from it, and an empty
// mesh gives infinite distances to it.
inline SurfaceDistance surface_distance(const SurfaceMesh& a, const SurfaceMesh& b, int64_t samples,
                                        uint64_t seed) {
  SurfaceDistance r;
  const Box ba = a.bounds(), bb = b.bounds();
  Box region;
  for (int k = 0; k < 3; ++k) {
    region.min[k] = std::min(ba.min[k], bb.min[k]);
    region.max[k] = std::max(ba.max[k], bb.max[k]);
  }
  if (!a.nodes.empty()) {
    const Vec3 e = ba.max - ba.min;
    r.diagonal = std::sqrt(static_cast<double>(e.x) * e.x + static_cast<double>(e.y) * e.y +
                           static_cast<double>(e.z) * e.z);
  }
  r.a_to_b = summarise(distances_to(b, region, sample_surface(a, samples, seed)));
  r.b_to_a = summarise(distances_to(a, region, sample_surface(b, samples, seed + 1)));
  return r;
}

}  // namespace Tavrin
