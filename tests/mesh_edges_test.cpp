// Refinement and the derived fields (boundary, artificial), which share the
// edge collection.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <tuple>
#include <utility>

#include "mesh/object.h"
#include "tests/test_support.h"

namespace Tavrin {
namespace {

// A flat n x n grid of squares, each split into two triangles; node (i, j)
// is j * (n + 1) + i at position (i, j, 0).
void make_grid(Object& o, int n) {
  o.nodes.clear();
  o.triangles.clear();
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) o.nodes.emplace_back(float(i), float(j), 0.0f);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
      o.triangles.push_back({a, b, c, 7});
      o.triangles.push_back({a, c, d, 7});
    }
  o.compute_normals();
}

std::vector<float> scalar_values(const Object& o, const std::string& name) {
  for (const Scalar& s : o.scalars)
    if (s.name == name) return s.values;
  return {};
}

TEST(MeshRefine, OneTriangleNumbersMidpointsInEdgeSetOrder) {
  Object o;
  o.nodes = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
  o.triangles = {{0, 1, 2, 5}};
  o.scalars.push_back({"s", {0.0f, 2.0f, 4.0f}});
  o.compute_normals();
  test::MessageCapture capture;
  o.refine();

  ASSERT_EQ(o.triangles.size(), 4u);
  const int expected[4][3] = {{0, 3, 4}, {1, 5, 3}, {2, 4, 5}, {3, 5, 4}};
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(o.triangles[t].a, expected[t][0]) << t;
    EXPECT_EQ(o.triangles[t].b, expected[t][1]) << t;
    EXPECT_EQ(o.triangles[t].c, expected[t][2]) << t;
    EXPECT_EQ(o.triangles[t].tag, 0);
  }
  ASSERT_EQ(o.nodes.size(), 6u);
  EXPECT_EQ(o.nodes[3], Vec3(1, 0, 0));
  EXPECT_EQ(o.nodes[4], Vec3(0, 1, 0));
  EXPECT_EQ(o.nodes[5], Vec3(1, 1, 0));
  EXPECT_EQ(o.scalars[0].values, (std::vector<float>{0, 2, 4, 1, 2, 3}));
  o.ensure_normals();
  ASSERT_EQ(o.normals.size(), 6u);
  for (const Vec3& n : o.normals) EXPECT_EQ(n, Vec3(0, 0, 1));
  EXPECT_EQ(capture.text(), "Refined mesh has 6 points and 4 triangles.\n");
}

// Against an independent edge list: every child triangle has the corners
// and midpoints of its parent, in the parent's orientation.
TEST(MeshRefine, GridMatchesEdgeOracleAndReportsGroupedCounts) {
  Object o;
  make_grid(o, 60);
  const std::vector<Vec3> old_nodes = o.nodes;
  const std::vector<TriangleRecord> old_triangles = o.triangles;
  std::set<std::pair<int, int>> edges;
  for (const TriangleRecord& t : old_triangles)
    for (auto [a, b] : {std::pair{t.a, t.b}, std::pair{t.b, t.c}, std::pair{t.c, t.a}})
      edges.insert({std::min(a, b), std::max(a, b)});
  ASSERT_EQ(edges.size(), 10920u);

  test::MessageCapture capture;
  o.refine();
  EXPECT_EQ(capture.text(), "Refined mesh has 14.641 points and 28.800 triangles.\n");
  ASSERT_EQ(o.nodes.size(), old_nodes.size() + edges.size());
  ASSERT_EQ(o.triangles.size(), 4 * old_triangles.size());
  for (size_t i = 0; i < old_nodes.size(); ++i) ASSERT_EQ(o.nodes[i], old_nodes[i]);
  for (size_t i = 0; i < old_triangles.size(); ++i) {
    const TriangleRecord& t = old_triangles[i];
    Vec3 a = old_nodes[t.a], b = old_nodes[t.b], c = old_nodes[t.c];
    Vec3 ab = (a + b) * 0.5f, bc = (b + c) * 0.5f, ca = (c + a) * 0.5f;
    const Vec3 expected[4][3] = {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}, {ab, bc, ca}};
    for (int k = 0; k < 4; ++k) {
      const TriangleRecord& r = o.triangles[4 * i + k];
      ASSERT_EQ(o.nodes[r.a], expected[k][0]) << i << " " << k;
      ASSERT_EQ(o.nodes[r.b], expected[k][1]) << i << " " << k;
      ASSERT_EQ(o.nodes[r.c], expected[k][2]) << i << " " << k;
    }
  }
  // Every midpoint is used, and each exactly once as a node.
  std::set<std::tuple<float, float, float>> positions;
  for (const Vec3& p : o.nodes) positions.insert({p.x, p.y, p.z});
  EXPECT_EQ(positions.size(), o.nodes.size());
}

TEST(MeshRefine, SameResultForAnyThreadCount) {
  Object reference;
  const int saved = omp_get_max_threads();
  for (int threads : {1, 2, 4}) {
    omp_set_num_threads(threads);
    Object o;
    make_grid(o, 150);
    // Interleave far-apart triangles so that threads meet in the same buckets.
    std::reverse(o.triangles.begin() + o.triangles.size() / 2, o.triangles.end());
    o.scalars.push_back({"i", {}});
    for (size_t i = 0; i < o.nodes.size(); ++i) o.scalars[0].values.push_back(float(i % 97));
    test::MessageCapture capture;
    o.refine();
    o.refine();
    if (threads == 1) {
      reference.nodes = o.nodes;
      reference.triangles = o.triangles;
      reference.scalars = o.scalars;
      continue;
    }
    EXPECT_TRUE(o.nodes == reference.nodes) << threads;
    EXPECT_EQ(o.scalars[0].values, reference.scalars[0].values) << threads;
    ASSERT_EQ(o.triangles.size(), reference.triangles.size());
    EXPECT_EQ(0, memcmp(o.triangles.data(), reference.triangles.data(),
                        o.triangles.size() * sizeof(TriangleRecord)))
        << threads;
  }
  omp_set_num_threads(saved);
}

TEST(MeshBoundary, MarksNodesOfSingleUseEdges) {
  Object o;
  make_grid(o, 5);
  o.nodes.emplace_back(9.0f, 9.0f, 9.0f);  // used by no triangle
  o.normals.emplace_back();
  o.add_boundary_scalar();
  std::vector<float> b = scalar_values(o, "Boundary");
  ASSERT_EQ(b.size(), o.nodes.size());
  for (int j = 0; j <= 5; ++j)
    for (int i = 0; i <= 5; ++i) {
      bool border = i == 0 || j == 0 || i == 5 || j == 5;
      EXPECT_EQ(b[j * 6 + i], border ? 1000.0f : 0.0f) << i << "," << j;
    }
  EXPECT_EQ(b.back(), 0.0f);
}

TEST(MeshBoundary, ReplacesOlderFieldAtTheEndOfTheList) {
  struct Case {
    const char* label;
    std::vector<TriangleRecord> triangles;
    std::vector<float> expected;  // empty: no field, and the message
  } cases[] = {
      {"one triangle", {{0, 1, 2, 0}}, {1000, 1000, 1000, 0}},
      {"closed tetrahedron", {{0, 1, 2, 0}, {0, 3, 1, 0}, {1, 3, 2, 0}, {0, 2, 3, 0}}, {}},
      {"no triangles", {}, {}},
  };
  for (const Case& c : cases) {
    Object o;
    o.nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    o.triangles = c.triangles;
    o.scalars = {{"boundary", {5, 5, 5, 5}}, {"temp", {1, 2, 3, 4}}};
    test::MessageCapture capture;
    o.add_boundary_scalar();
    if (c.expected.empty()) {
      EXPECT_EQ(capture.text(), "No boundary could be found.\n") << c.label;
      ASSERT_EQ(o.scalars.size(), 1u) << c.label;
    } else {
      EXPECT_EQ(capture.text(), "") << c.label;
      ASSERT_EQ(o.scalars.size(), 2u) << c.label;
      EXPECT_EQ(o.scalars[1].name, "Boundary");
      EXPECT_EQ(o.scalars[1].values, c.expected) << c.label;
    }
    EXPECT_EQ(o.scalars[0].name, "temp") << c.label;
  }
}

// Random meshes, with repeated triangles and triangles that use a node twice
// or three times, against a single-threaded oracle: edge counts in a std::map
// for the boundary, normals summed in triangle order for the nodes. Both the
// separate calls and the build that takes the arrays over must agree with it
// for any number of threads.
TEST(MeshBoundary, RandomMeshesMatchSerialOracleForAnyThreadCount) {
  const int saved = omp_get_max_threads();
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    const int n = seed == 4 ? 40 : 3000;  // few nodes: many repeated edges
    const int t = 6000;
    std::vector<Vec3> nodes(n);
    for (Vec3& p : nodes)
      p = Vec3(std::uniform_real_distribution<float>(-1, 1)(rng),
               std::uniform_real_distribution<float>(-1, 1)(rng),
               std::uniform_real_distribution<float>(-1, 1)(rng));
    std::vector<TriangleRecord> triangles(t);
    for (TriangleRecord& r : triangles) {
      std::uniform_int_distribution<int> node(0, n - 1);
      r = {node(rng), node(rng), node(rng), 0};
      const int kind = static_cast<int>(rng() % 20);
      if (kind == 0) r.b = r.a;
      if (kind == 1) r.c = r.b = r.a;
      if (kind == 2) r = triangles[rng() % t];  // may repeat an earlier triangle
    }

    std::map<std::pair<int, int>, int> uses;
    std::vector<Vec3> sums(n);
    for (const TriangleRecord& r : triangles) {
      for (auto [x, y] : {std::pair{r.a, r.b}, std::pair{r.b, r.c}, std::pair{r.a, r.c}})
        ++uses[{std::min(x, y), std::max(x, y)}];
      const Vec3 face = normalize(cross(nodes[r.b] - nodes[r.a], nodes[r.c] - nodes[r.a]));
      sums[r.a] += face;
      sums[r.b] += face;
      sums[r.c] += face;
    }
    std::vector<float> boundary(n, 0.0f);
    for (const auto& [edge, count] : uses)
      if (count == 1) boundary[edge.first] = boundary[edge.second] = 1000.0f;
    // No field at all when no node is marked.
    if (std::count(boundary.begin(), boundary.end(), 1000.0f) == 0) boundary.clear();
    std::vector<Vec3> normals(n);
    for (int v = 0; v < n; ++v) normals[v] = normalize(sums[v]);

    for (int threads : {1, 2, 3, 16}) {
      omp_set_num_threads(threads);
      Object o;
      o.nodes = nodes;
      o.triangles = triangles;
      o.compute_normals();
      test::MessageCapture capture;
      o.add_boundary_scalar();
      Object moved;
      moved.build(std::vector<Vec3>(nodes), {}, std::vector<TriangleRecord>(triangles), {}, true);
      EXPECT_TRUE(moved.normals.empty()) << "normals are made when first needed";
      moved.ensure_normals();
      for (const Object* m : {&o, &moved}) {
        ASSERT_EQ(m->normals.size(), normals.size());
        EXPECT_EQ(0, std::memcmp(m->normals.data(), normals.data(), n * sizeof(Vec3)))
            << "seed " << seed << ", " << threads << " threads";
        EXPECT_EQ(scalar_values(*m, "Boundary"), boundary)
            << "seed " << seed << ", " << threads << " threads";
      }
      EXPECT_EQ(moved.scalars.front().name, "Artificial");
    }
  }
  omp_set_num_threads(saved);
}

TEST(MeshArtificial, DistanceFromOriginReplacesOlderField) {
  Object o;
  const float coordinates[] = {3, 4, 0, 0, 0, 0, -1, 2, 2};
  const int32_t triangle[] = {0, 1, 2};
  o.build(3, 0, 1, 0, coordinates, nullptr, triangle, nullptr, nullptr, nullptr);
  ASSERT_EQ(o.scalars.size(), 1u);
  EXPECT_EQ(o.scalars[0].name, "Artificial");
  EXPECT_EQ(o.scalars[0].values, (std::vector<float>{5, 0, 3}));

  o.scalars.push_back({"other", {0, 0, 0}});
  o.add_artificial_scalar();
  ASSERT_EQ(o.scalars.size(), 2u);
  EXPECT_EQ(o.scalars[0].name, "other");
  EXPECT_EQ(o.scalars[1].name, "Artificial");
}

// The operations reach the full-resolution mesh too, and each mesh ends with
// exactly one field of the name.
TEST(MeshFields, ApplyToFullMeshOnce) {
  Object o;
  make_grid(o, 2);
  o.full = std::make_unique<Object>();
  make_grid(*o.full, 4);
  test::MessageCapture capture;
  o.add_boundary_scalar();
  o.add_boundary_scalar();
  o.add_artificial_scalar();
  o.add_artificial_scalar();
  for (Object* m : {&o, o.full.get()}) {
    ASSERT_EQ(m->scalars.size(), 2u);
    EXPECT_EQ(m->scalars[0].name, "Boundary");
    EXPECT_EQ(m->scalars[1].name, "Artificial");
    EXPECT_EQ(m->scalars[0].values.size(), m->nodes.size());
  }
  o.refine();
  EXPECT_EQ(o.triangles.size(), 32u);
  EXPECT_EQ(o.full->triangles.size(), 128u);
}

}  // namespace
}  // namespace Tavrin
