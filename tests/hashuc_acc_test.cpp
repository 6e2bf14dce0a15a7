// HashUCAcc: every output node is the mean of its cell's triangle corners,
// checked against a small single-threaded oracle; value averaging per array;
// the memory report; thread-count independence; a driver run end to end.

#include <gtest/gtest.h>

#include <map>

#include "hashuc/hash_uc_acc.h"
#include "hashuc_run_util.h"
#include "simplify/driver.h"

namespace Tavrin {
namespace {

using test::Mesh;

// A torus with one node used by no triangle, far from the rest.
Mesh torusWithLooseNode() {
  Mesh m = test::bumpyTorus(60, 24);
  m.addNode(1.6f, 1.6f, 0.4f);
  return m;
}

// The oracle: per cell, the float sum of the normalised corner positions in
// triangle and corner order divided by the corner count; for a cell without
// corners the mean of its nodes, summed in double in node order.
std::vector<float> oracleNodes(const Mesh& m, const ClusterSpace& space) {
  std::map<uint64_t, std::array<float, 4>> sums;
  for (int32_t t = 0; t < m.triangleCount(); ++t)
    for (int c = 0; c < 3; ++c) {
      const Vec3 q = space.normalisation.normalise(&m.coords[3 * m.tris[3 * t + c]]);
      std::array<float, 4>& s = sums[space.grid.key(q)];
      s[0] += q.x;
      s[1] += q.y;
      s[2] += q.z;
      s[3] += 1.0f;
    }
  std::map<uint64_t, std::array<double, 4>> node_sums;
  for (int32_t i = 0; i < m.nodeCount(); ++i) {
    const uint64_t key = space.grid.key(space.normalisation.normalise(&m.coords[3 * i]));
    if (sums.count(key)) continue;
    std::array<double, 4>& s = node_sums[key];
    for (int a = 0; a < 3; ++a) s[a] += m.coords[3 * i + a];
    s[3] += 1.0;
  }
  std::vector<float> nodes;
  for (uint64_t key : space.cellKeys) {
    auto it = sums.find(key);
    if (it == sums.end()) {
      const std::array<double, 4>& s = node_sums.at(key);
      nodes.insert(nodes.end(), {static_cast<float>(s[0] / s[3]), static_cast<float>(s[1] / s[3]),
                                 static_cast<float>(s[2] / s[3])});
      continue;
    }
    const std::array<float, 4>& s = it->second;
    const Vec3 p = space.normalisation.denormalise(Vec3(s[0] / s[3], s[1] / s[3], s[2] / s[3]));
    nodes.insert(nodes.end(), {p.x, p.y, p.z});
  }
  return nodes;
}

TEST(HashUCAcc, NodesAreTheMeansOfTheirCellsCorners) {
  const Mesh m = torusWithLooseNode();
  for (int32_t grid : {1, 5, 16, 64}) {
    SCOPED_TRACE("grid " + std::to_string(grid));
    test::FactoryRun run = test::runThroughFactory(m, grid, HASH_UC_ACC);
    ASSERT_TRUE(run.handler);
    EXPECT_EQ(run.handler->type(), HASH_UC_ACC);
    const auto* acc = dynamic_cast<const HashUCAcc*>(run.handler.get());
    ASSERT_TRUE(acc);
    EXPECT_TRUE(test::sameBytes(run.mesh.nodes, oracleNodes(m, acc->space())));
    test::expectMeshInvariants(run.mesh);
  }
}

TEST(HashUCAcc, SharedNodesCountOncePerTriangle) {
  // Grid 1: one cell. Triangles ABC and ACD: A and C count twice.
  Mesh m;
  const Vec3 p[4] = {{0, 0, 0}, {4, 0, 0}, {4, 2, 0}, {0, 2, 1}};
  for (const Vec3& v : p) m.addNode(v.x, v.y, v.z);
  m.tris = {0, 1, 2, 0, 2, 3};
  test::FactoryRun run = test::runThroughFactory(m, 1, HASH_UC_ACC);
  ASSERT_EQ(run.nodes, 1);
  const Vec3 want = (p[0] * 2.0f + p[1] + p[2] * 2.0f + p[3]) * (1.0f / 6.0f);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(run.mesh.nodes[k], want[k], 1e-5f);
  EXPECT_EQ(run.mesh.triangleCount(), 0);
  std::vector<std::vector<float>> exported;
  int32_t length = -7;
  EXPECT_EQ(run.handler->exportCells(exported, length), 0);
  EXPECT_EQ(length, -7);
  EXPECT_TRUE(exported.empty());
}

TEST(HashUCAcc, ValuesAveragedPerArrayFromClearedRecords) {
  const Mesh m = torusWithLooseNode();
  const int32_t n = m.nodeCount();
  std::vector<float> a(n), b(n);
  for (int32_t i = 0; i < n; ++i) {
    a[i] = static_cast<float>(i % 7);
    b[i] = i % 5 == 0 ? kNoValue : 0.25f * static_cast<float>(i % 11);
  }
  test::FactoryRun run = test::runThroughFactory(m, 12, HASH_UC_ACC);
  ASSERT_TRUE(run.handler);
  const ClusterSpace space = dynamic_cast<const HashUCAcc*>(run.handler.get())->space();

  const float* both[2] = {a.data(), b.data()};
  const int32_t strides[2] = {1, 1};
  std::vector<std::vector<float>> together, first, second;
  reset_handler_cells(run.handler.get());
  ASSERT_EQ(interpolate_handler_values(run.handler.get(), m.coords.data(), n, both, strides, 2,
                                       &together),
            space.cellCount());
  reset_handler_cells(run.handler.get());
  interpolate_handler_values(run.handler.get(), m.coords.data(), n, both, strides, 1, &first);
  reset_handler_cells(run.handler.get());
  interpolate_handler_values(run.handler.get(), m.coords.data(), n, both + 1, strides, 1, &second);
  ASSERT_EQ(together.size(), 2u);
  EXPECT_TRUE(test::sameBytes(together[0], first[0]));
  EXPECT_TRUE(test::sameBytes(together[1], second[0]));

  // Oracle: per cell the float mean of its nodes' values, in node order; a
  // node without a value (b only) adds nothing to b's average.
  for (int j = 0; j < 2; ++j) {
    const std::vector<float>& v = j == 0 ? a : b;
    std::map<uint64_t, std::pair<float, float>> sums;
    for (int32_t i = 0; i < n; ++i) {
      if (v[i] == kNoValue) continue;
      auto& s = sums[space.grid.key(space.normalisation.normalise(&m.coords[3 * i]))];
      s.first += v[i];
      s.second += 1.0f;
    }
    for (int32_t c = 0; c < space.cellCount(); ++c) {
      auto it = sums.find(space.cellKeys[c]);
      const float want = it == sums.end() ? 0.0f : it->second.first / it->second.second;
      EXPECT_EQ(together[j][c], want) << "array " << j << " cell " << c;
    }
  }
}

TEST(HashUCAcc, MemoryReport) {
  // 1000 cells, one node at the centre of each cell of a 10^3 grid: a table of 8 buckets.
  Mesh m;
  for (int z = 0; z < 10; ++z)
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x) m.addNode(x + 0.5f, y + 0.5f, z + 0.5f);
  HashUCAcc h;
  EXPECT_EQ(h.memoryBytes(), 160u);
  h.initialise(10, m.coords.data(), m.nodeCount(), 3);
  ASSERT_TRUE(h.table());
  ASSERT_EQ(h.table()->bucketCount(), 8u);
  ASSERT_EQ(h.space().cellCount(), 1000);
  EXPECT_EQ(h.memoryBytes(), 155000u);
  h.releaseCells();
  EXPECT_EQ(h.memoryBytes(), 160u);
}

TEST(HashUCAcc, SameBytesForOneTwoFourThreads) {
  std::unique_ptr<Object> dragon = load_ply(test::data_path("dragon_small.ply"));
  ASSERT_TRUE(dragon);
  const Mesh m = test::fromObject(*dragon);
  std::vector<float> value(m.nodeCount());
  for (int32_t i = 0; i < m.nodeCount(); ++i) value[i] = m.coords[3 * i] * 3.0f + 0.1f * (i % 13);
  struct Result {
    SimplifiedMesh mesh;
    std::vector<std::vector<float>> values;
  };
  auto run = [&] {
    Result r;
    test::FactoryRun f = test::runThroughFactory(m, 40, HASH_UC_ACC);
    r.mesh = f.mesh;
    const float* v[1] = {value.data()};
    const int32_t s[1] = {1};
    reset_handler_cells(f.handler.get());
    interpolate_handler_values(f.handler.get(), m.coords.data(), m.nodeCount(), v, s, 1, &r.values);
    return r;
  };
  const Result one = test::withThreads(1, run);
  test::expectMeshInvariants(one.mesh);
  EXPECT_GT(one.mesh.triangleCount(), 1000);
  for (int threads : {2, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    const Result r = test::withThreads(threads, run);
    test::expectSameMesh(one.mesh, r.mesh);
    ASSERT_EQ(r.values.size(), 1u);
    EXPECT_TRUE(test::sameBytes(one.values[0], r.values[0]));
  }
}

TEST(HashUCAcc, DriverRunKeepsConstantFields) {
  std::unique_ptr<Object> src = load_ply(test::data_path("bunny.ply"));
  ASSERT_TRUE(src);
  src->scalars.clear();
  for (int i = 0; i < 3; ++i) {
    Scalar s;
    s.name = "f" + std::to_string(i);
    s.values.assign(src->nodes.size(), 1.5f + i);
    src->scalars.push_back(std::move(s));
  }
  test::MessageCapture capture;
  std::unique_ptr<Object> r = simplify_object(src.get(), 24, HASH_UC_ACC);
  ASSERT_TRUE(r);
  EXPECT_GT(r->num_triangles(), 100);
  ASSERT_EQ(r->scalars.size(), 3u);
  for (int i = 0; i < 3; ++i)
    for (float v : r->scalars[i].values) ASSERT_EQ(v, 1.5f + i);
}

}  // namespace
}  // namespace Tavrin
