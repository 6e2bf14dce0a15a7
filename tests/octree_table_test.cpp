// KeyValueHashTable: sizes, lookups under every build schedule, the refusal
// of an unplaceable table, the cell solve and reproducible accumulation.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstring>
#include <map>
#include <vector>

#include "octree/key_value_table.h"

namespace Tavrin {
namespace {

std::vector<uint64_t> sequence(uint64_t n, uint64_t stride, uint64_t offset) {
  std::vector<uint64_t> k(n);
  for (uint64_t i = 0; i < n; ++i) k[i] = offset + i * stride;
  return k;
}

TEST(OctreeTable, BucketCountMemoryAndLookup) {
  struct Case {
    uint64_t n, stride, offset;
    uint32_t buckets;
  };
  // Stride 9 * 8 puts every key of the 3273-key case in one bucket under
  // k mod B, forcing the second bucket function.
  const Case cases[] = {{0, 1, 0, 8},    {1, 1, 0, 8},     {3272, 1, 0, 8},
                        {3273, 1, 0, 9}, {3273, 72, 5, 9}, {40000, 7, 3, 98}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    std::vector<uint64_t> keys = sequence(c.n, c.stride, c.offset);
    KeyValueHashTable table;
    EXPECT_EQ(table.build(keys.data(), static_cast<int32_t>(c.n)), static_cast<int32_t>(c.n));
    ASSERT_TRUE(table.usable());
    EXPECT_EQ(table.bucketCount(), c.buckets);
    EXPECT_EQ(table.memory_bytes(), static_cast<int64_t>(c.buckets) * 36686 + 48);
    QefRecord r{};
    for (uint64_t k : keys) {
      r.v[0] = static_cast<float>(k);
      table.add(k, r);
    }
    for (uint64_t k : keys) {
      const QefRecord* found = table.find(k);
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->v[0], static_cast<float>(k));
      EXPECT_EQ(found->v[13], 0.0f);
    }
    EXPECT_EQ(table.find(c.offset + c.n * c.stride), nullptr);
  }
  KeyValueHashTable eight;
  eight.build(nullptr, 0);
  EXPECT_EQ(eight.memory_bytes(), 293536);
}

TEST(OctreeTable, UnplaceableBucketMakesTableUnusable) {
  // Four keys in one bucket with equal low 32 bits share all three positions
  // under every seed, so no seed can place them.
  std::vector<uint64_t> keys;
  for (uint64_t j = 0; j < 4; ++j) keys.push_back(5 + (j << 35));
  KeyValueHashTable table;
  EXPECT_EQ(table.build(keys.data(), 4), 0);
  EXPECT_FALSE(table.usable());
  for (uint64_t k : keys) EXPECT_EQ(table.find(k), nullptr);
}

ClusterGrid unit_grid(int32_t n) {
  ClusterGrid g;
  Box b;
  b.min = Vec3(-1, -1, -1);
  b.max = Vec3(1, 1, 1);
  g.setUp(b, n, n, n, 0);
  return g;
}

TEST(OctreeTable, SolveCell) {
  const ClusterGrid grid = unit_grid(64);
  const uint64_t key = grid.key(Vec3(0.1f, 0.1f, 0.1f));
  {
    // Three corners without a quadric: their average, error 0.
    QefRecord r{};
    r.v[10] = 1.0f;
    r.v[11] = 1.0f;
    r.v[13] = 3.0f;
    EXPECT_EQ(octree_solve_cell(r, key, grid), 1);
    EXPECT_FLOAT_EQ(r.v[10], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(r.v[11], 1.0f / 3.0f);
    EXPECT_EQ(r.v[12], 0.0f);
    EXPECT_EQ(r.v[13], 0.0f);
  }
  {
    // Empty slot.
    QefRecord r{};
    EXPECT_EQ(octree_solve_cell(r, key, grid), 0);
  }
  // Three axis planes meeting at the lower corner of the cell (a point on
  // three of its faces), with sums whose average lies elsewhere.
  int64_t ix, iy, iz;
  grid.indices(Vec3(0.1f, 0.1f, 0.1f), ix, iy, iz);
  const Vec3 corner(grid.min.x + static_cast<float>(ix) * grid.cell_size.x,
                    grid.min.y + static_cast<float>(iy) * grid.cell_size.y,
                    grid.min.z + static_cast<float>(iz) * grid.cell_size.z);
  for (int count : {2, 3}) {
    SCOPED_TRACE(count);
    QefRecord r{};
    r.v[0] = r.v[3] = r.v[5] = 1.0f;  // xx, yy, zz
    r.v[6] = dot(corner, corner);
    r.v[7] = -corner.x;
    r.v[8] = -corner.y;
    r.v[9] = -corner.z;
    r.v[10] = 0.3f * count;
    r.v[13] = static_cast<float>(count);
    EXPECT_EQ(octree_solve_cell(r, key, grid), 1);
    if (count < 3) {
      // One or two corners always take the average.
      EXPECT_FLOAT_EQ(r.v[10], 0.3f);
      EXPECT_EQ(r.v[11], 0.0f);
    } else {
      EXPECT_EQ(r.v[10], corner.x);
      EXPECT_EQ(r.v[11], corner.y);
      EXPECT_EQ(r.v[12], corner.z);
      EXPECT_LT(r.v[13], 1e-3f);
    }
  }
}

// A bumpy sheet of triangles over a 40 x 40 node lattice.
void sheet(std::vector<Vec3>& nodes, std::vector<TriangleRecord>& tris) {
  const int m = 40;
  for (int j = 0; j < m; ++j)
    for (int i = 0; i < m; ++i) {
      const float x = -0.9f + 1.8f * i / (m - 1), y = -0.9f + 1.8f * j / (m - 1);
      nodes.emplace_back(x, y, 0.2f * std::sin(7.0f * x) * std::cos(5.0f * y));
    }
  for (int j = 0; j + 1 < m; ++j)
    for (int i = 0; i + 1 < m; ++i) {
      const int a = j * m + i;
      tris.push_back({a, a + 1, a + m + 1, 0});
      tris.push_back({a, a + m + 1, a + m, 0});
    }
}

TEST(OctreeTable, AccumulationMatchesSerialSumsForAnyThreadCount) {
  std::vector<Vec3> nodes;
  std::vector<TriangleRecord> tris;
  sheet(nodes, tris);
  const ClusterGrid grid = unit_grid(16);
  // Serial oracle: every triangle in order, corners 0, 1, 2.
  std::map<uint64_t, QefRecord> oracle;
  const Vec3 d = grid.max - grid.min;
  const float eps = 1e-30f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  for (const Vec3& p : nodes) oracle[grid.key(p)] = QefRecord{};
  for (const TriangleRecord& t : tris) {
    const PlaneQuadric q = trianglePlaneQuadric(nodes[t.a], nodes[t.b], nodes[t.c], eps);
    for (int32_t v : {t.a, t.b, t.c}) addCorner(oracle[grid.key(nodes[v])], q, nodes[v]);
  }
  std::vector<uint64_t> keys;
  for (auto& [k, r] : oracle) keys.push_back(k);

  const int saved = omp_get_max_threads();
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    omp_set_num_threads(threads);
    KeyValueHashTable table, twin;
    ASSERT_EQ(table.build(keys.data(), static_cast<int32_t>(keys.size())),
              static_cast<int32_t>(keys.size()));
    ASSERT_EQ(twin.build(keys.data(), static_cast<int32_t>(keys.size())),
              static_cast<int32_t>(keys.size()));
    table.accumulate_triangles(static_cast<int64_t>(tris.size()), nodes.data(), tris.data(), grid);
    twin.accumulate_triangles(static_cast<int64_t>(tris.size()), nodes.data(), tris.data(), grid);
    for (auto& [k, r] : oracle) ASSERT_EQ(std::memcmp(table.find(k), &r, sizeof r), 0) << k;
    EXPECT_EQ(table.solve_all(grid), static_cast<int32_t>(keys.size()));
    EXPECT_EQ(twin.solve_level(grid), static_cast<int32_t>(keys.size()));
    for (uint64_t k : keys) {
      ASSERT_EQ(std::memcmp(table.find(k), twin.find(k), sizeof(QefRecord)), 0);
      EXPECT_GE(table.find(k)->v[13], 0.0f);
    }
  }
  omp_set_num_threads(saved);
}

}  // namespace
}  // namespace Tavrin
