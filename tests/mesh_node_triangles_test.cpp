// Grouping of triangle corners by node: every node's triangles in triangle
// order, for any thread count, including more threads than nodes.
#include <gtest/gtest.h>
#include <omp.h>

#include <random>
#include <vector>

#include "mesh/node_triangles.h"

namespace Tavrin {
namespace {

std::vector<std::vector<int32_t>> oracle(const std::vector<TriangleRecord>& tris, int64_t n) {
  std::vector<std::vector<int32_t>> lists(n > 0 ? n : 0);
  for (size_t i = 0; i < tris.size(); ++i)
    for (int32_t v : {tris[i].a, tris[i].b, tris[i].c})
      if (v >= 0 && v < n) lists[v].push_back(static_cast<int32_t>(i));
  return lists;
}

void expectGrouping(const std::vector<TriangleRecord>& tris, int64_t n) {
  const std::vector<std::vector<int32_t>> want = oracle(tris, n);
  const NodeTriangles g = group_triangles_by_node(tris, n);
  ASSERT_EQ(g.num_nodes, n);
  EXPECT_EQ(g.first[0], 0);
  for (int64_t v = 0; v < n; ++v) {
    ASSERT_EQ(g.first[v + 1] - g.first[v], static_cast<int64_t>(want[v].size())) << "node " << v;
    for (size_t k = 0; k < want[v].size(); ++k)
      ASSERT_EQ(g.triangle[g.first[v] + k], want[v][k]) << "node " << v;
  }
}

TEST(NodeTriangles, MatchesSerialGroupingForAnyThreadCount) {
  std::mt19937 gen(3);
  const int saved = omp_get_max_threads();
  for (int threads : {1, 2, 3, 5, 16}) {
    omp_set_num_threads(threads);
    SCOPED_TRACE(threads);
    for (int64_t n : {0, 1, 2, 3, 7, 1000}) {
      std::vector<TriangleRecord> tris;
      for (int i = 0; i < 500; ++i) {
        // Mostly valid nodes; some repeated corners and some out of range.
        std::uniform_int_distribution<int32_t> node(-2, static_cast<int32_t>(n) + 1);
        const int32_t a = node(gen);
        tris.push_back({a, i % 7 == 0 ? a : node(gen), node(gen), 0});
      }
      expectGrouping(tris, n);
    }
    expectGrouping({}, 5);
  }
  omp_set_num_threads(saved);
}

}  // namespace
}  // namespace Tavrin
