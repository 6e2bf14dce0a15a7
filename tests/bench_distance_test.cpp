// The comparison's surface distance tool on cases with known answers: exact
// point-to-triangle distances by region, the grid search against a brute
// force over every triangle, and whole-surface figures for identical meshes,
// parallel squares and a sphere against an inscribed icosahedron.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "bench/compare/surface_distance.h"
#include "io/gid_writer.h"
#include "test_support.h"

namespace Tavrin {
namespace {

TEST(BenchDistance, PointToTriangleByRegion) {
  // Triangle (0,0,0) (1,0,0) (0,1,0); each case lies in a different region.
  const Point3d a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
  struct Case {
    const char* region;
    Point3d p;
    double expected;
  } cases[] = {
      {"interior, above", {0.25, 0.25, 2.0}, 2.0},
      {"interior, in plane", {0.2, 0.3, 0.0}, 0.0},
      {"edge ab", {0.5, -1.0, 1.0}, std::sqrt(2.0)},
      {"edge ac", {-3.0, 0.5, 4.0}, 5.0},
      {"edge bc", {1.0, 1.0, 0.0}, std::sqrt(0.5)},
      {"vertex a", {-1.0, -2.0, 2.0}, 3.0},
      {"vertex b", {2.0, -1.0, 0.0}, std::sqrt(2.0)},
      {"vertex c", {-0.5, 1.5, 0.0}, std::sqrt(0.5)},
      {"vertex c, above", {0.0, 2.0, 1.0}, std::sqrt(2.0)},
  };
  for (const Case& k : cases) {
    EXPECT_NEAR(std::sqrt(squared_distance_to_triangle(k.p, a, b, c)), k.expected, 1e-12)
        << k.region;
    // The corners' order must not matter.
    EXPECT_NEAR(std::sqrt(squared_distance_to_triangle(k.p, c, a, b)), k.expected, 1e-12)
        << k.region;
    EXPECT_NEAR(std::sqrt(squared_distance_to_triangle(k.p, b, a, c)), k.expected, 1e-12)
        << k.region;
  }
  // A triangle of zero area is its longest edge.
  const Point3d s0{0, 0, 0}, s1{2, 0, 0}, s2{1, 0, 0};
  EXPECT_NEAR(squared_distance_to_triangle({1.5, 3.0, 4.0}, s0, s1, s2), 25.0, 1e-12);
  EXPECT_NEAR(squared_distance_to_triangle({3.0, 0.0, 0.0}, s0, s1, s2), 1.0, 1e-12);
}

SurfaceMesh square(double z) {
  SurfaceMesh m;
  m.nodes = {Vec3(0, 0, z), Vec3(1, 0, z), Vec3(1, 1, z), Vec3(0, 1, z)};
  m.triangles = {0, 1, 2, 2, 3, 0};
  return m;
}

// An icosahedron inscribed in the unit sphere, each triangle split in four
// `levels` times with the new nodes pushed out onto the sphere.
SurfaceMesh icosphere(int levels) {
  const float t = static_cast<float>((1.0 + std::sqrt(5.0)) / 2.0);
  SurfaceMesh m;
  m.nodes = {Vec3(-1, t, 0), Vec3(1, t, 0), Vec3(-1, -t, 0), Vec3(1, -t, 0),
             Vec3(0, -1, t), Vec3(0, 1, t), Vec3(0, -1, -t), Vec3(0, 1, -t),
             Vec3(t, 0, -1), Vec3(t, 0, 1), Vec3(-t, 0, -1), Vec3(-t, 0, 1)};
  m.triangles = {0, 11, 5,  0, 5,  1, 0, 1, 7, 0, 7,  10, 0, 10, 11, 1, 5, 9, 5, 11,
                 4, 11, 10, 2, 10, 7, 6, 7, 1, 8, 3,  9,  4, 3,  4,  2, 3, 2, 6, 3,
                 6, 8,  3,  8, 9,  4, 9, 5, 2, 4, 11, 6,  2, 10, 8,  6, 7, 9, 8, 1};
  auto unit = [](Vec3 v) {
    const double len = std::sqrt(static_cast<double>(dot(v, v)));
    return Vec3(static_cast<float>(v.x / len), static_cast<float>(v.y / len),
                static_cast<float>(v.z / len));
  };
  for (Vec3& v : m.nodes) v = unit(v);
  for (int level = 0; level < levels; ++level) {
    std::vector<int32_t> next;
    for (size_t i = 0; i < m.triangles.size(); i += 3) {
      const int32_t a = m.triangles[i], b = m.triangles[i + 1], c = m.triangles[i + 2];
      const int32_t ab = static_cast<int32_t>(m.nodes.size());
      m.nodes.push_back(unit((m.nodes[a] + m.nodes[b]) * 0.5f));
      m.nodes.push_back(unit((m.nodes[b] + m.nodes[c]) * 0.5f));
      m.nodes.push_back(unit((m.nodes[c] + m.nodes[a]) * 0.5f));
      const int32_t bc = ab + 1, ca = ab + 2;
      next.insert(next.end(), {a, ab, ca, ab, b, bc, ca, bc, c, ab, bc, ca});
    }
    m.triangles = std::move(next);
  }
  return m;
}

TEST(BenchDistance, GridSearchEqualsBruteForce) {
  // Points spread around and inside a sphere mesh, and far outside it.
  const SurfaceMesh sphere = icosphere(3);
  std::vector<Point3d> points;
  for (int i = 0; i < 3000; ++i) {
    const double r = i < 2900 ? 1.6 * uniform_at(7, 3 * i) : 40.0;
    const double u = 2.0 * uniform_at(7, 3 * i + 1) - 1.0,
                 phi = 6.283185307 * uniform_at(7, 3 * i + 2);
    const double s = std::sqrt(1.0 - u * u);
    points.push_back({r * s * std::cos(phi), r * s * std::sin(phi), r * u});
  }
  Box region = sphere.bounds();
  const std::vector<double> found = distances_to(sphere, region, points);
  TriangleGrid grid(sphere, region);
  for (size_t i = 0; i < points.size(); ++i) {
    double best = std::numeric_limits<double>::infinity();
    for (int32_t t = 0; t < sphere.triangle_count(); ++t)
      best = std::min(best, grid.squared_distance(points[i], t));
    ASSERT_EQ(found[i], std::sqrt(best)) << "point " << i;
  }
}

TEST(BenchDistance, KnownSurfaces) {
  struct Case {
    const char* name;
    SurfaceMesh a, b;
    double rms_lo, rms_hi, max_lo, max_hi;  // absolute, both directions
  } cases[] = {
      {"identical spheres", icosphere(3), icosphere(3), 0.0, 1e-7, 0.0, 1e-7},
      {"parallel squares", square(0.0), square(0.1), 0.1 - 1e-7, 0.1 + 1e-7, 0.1 - 1e-7,
       0.1 + 1e-7},
      // A point of the sphere is farthest from the icosahedron above a face
      // centre: 1 - inradius = 1 - 0.794654 (less the fine mesh's own sag).
      // Over the cap around a face, cos(angle) and so the distance is uniform
      // on [0, 0.2053], an RMS of 0.2053 / sqrt(3) = 0.1185; the face's
      // triangle leaves out the cap's rim, where the distance is smallest.
      {"sphere vs icosahedron", icosphere(4), icosphere(0), 0.1185, 0.17, 0.200, 0.2054},
  };
  for (const Case& k : cases) {
    const SurfaceDistance d = surface_distance(k.a, k.b, 50000, 1);
    for (const DirectedDistance* dd : {&d.a_to_b, &d.b_to_a}) {
      EXPECT_EQ(dd->samples, 50000) << k.name;
      EXPECT_GE(dd->rms, k.rms_lo) << k.name;
      EXPECT_LE(dd->rms, k.rms_hi) << k.name;
      EXPECT_GE(dd->max, k.max_lo) << k.name;
      EXPECT_LE(dd->max, k.max_hi) << k.name;
    }
  }
  // The relative figures divide by the first mesh's diagonal.
  EXPECT_NEAR(surface_distance(square(0.0), square(0.1), 1000, 1).diagonal, std::sqrt(2.0), 1e-12);
  // An empty mesh is infinitely far; nothing is sampled on it.
  const SurfaceDistance empty = surface_distance(square(0.0), SurfaceMesh(), 100, 1);
  EXPECT_TRUE(std::isinf(empty.a_to_b.max));
  EXPECT_EQ(empty.b_to_a.samples, 0);
}

TEST(BenchDistance, SamplesAreRepeatableAndOnTheSurface) {
  const SurfaceMesh m = icosphere(2);
  const std::vector<Point3d> p = sample_surface(m, 5000, 3), q = sample_surface(m, 5000, 3);
  ASSERT_EQ(p.size(), 5000u);
  for (size_t i = 0; i < p.size(); ++i) {
    ASSERT_EQ(p[i].x, q[i].x);
    const double r = std::sqrt(squared_length(p[i]));
    ASSERT_GT(r, 0.9);  // inside the unit sphere, beyond the icosahedron's inradius
    ASSERT_LE(r, 1.0 + 1e-6);
  }
  // Area-uniform: the two halves of a unit square split 1:3 by area get
  // their share of the samples.
  SurfaceMesh split;
  split.nodes = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0), Vec3(0.5f, 0, 0)};
  split.triangles = {0, 4, 3, 4, 1, 2, 4, 2, 3};  // areas 1/4, 1/4, 1/2
  int left = 0;
  for (const Point3d& s : sample_surface(split, 40000, 5))
    if (s.x < 0.5 && s.y < 1.0 - 2.0 * s.x) ++left;
  EXPECT_NEAR(left / 40000.0, 0.25, 0.01);
}

TEST(BenchDistance, ReadsGidMeshes) {
  const std::string dir = test::temp_dir("bench_distance");
  const Vec3 nodes[] = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(1, 1, 0.5f)};
  const TriangleRecord tris[] = {{0, 1, 2, 0}, {1, 3, 2, 0}};
  const LineRecord lines[] = {{0, 3, 0}};
  ASSERT_TRUE(write_gid(dir + "/m.msh", "m", 4, nodes, 2, tris, 1, lines, {}));
  SurfaceMesh m;
  std::string error;
  ASSERT_TRUE(read_surface_mesh(dir + "/m.msh", m, error)) << error;
  ASSERT_EQ(m.nodes.size(), 4u);
  EXPECT_EQ(m.triangles, (std::vector<int32_t>{0, 1, 2, 1, 3, 2}));
  EXPECT_EQ(m.nodes[3], Vec3(1, 1, 0.5f));
  EXPECT_FALSE(read_surface_mesh(dir + "/missing.msh", m, error));
}

}  // namespace
}  // namespace Tavrin
