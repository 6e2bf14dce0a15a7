// The passes that replaced locked hash sets with grouping by bucket: the
// occupied-cell collection and the output triangles and lines. Each must give
// exactly what one thread inserting the items in order into a bucketed set
// would give, for any number of threads. The oracles are those sets, built
// single-threaded.

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <random>
#include <vector>

#include "hashuc/grid.h"
#include "hashuc/output_assembly.h"
#include "hashuc/triangle_set.h"
#include "mesh/edge_set.h"
#include "tables/cell_slot.h"

namespace Tavrin {
namespace {

// Distinct keys bucket by bucket (key % buckets), each bucket in first-node order.
std::vector<uint64_t> oracleCells(const std::vector<uint64_t>& node_keys, uint64_t buckets) {
  std::vector<std::vector<uint64_t>> per(buckets);
  for (uint64_t k : node_keys) {
    auto& b = per[k % buckets];
    if (std::find(b.begin(), b.end(), k) == b.end()) b.push_back(k);
  }
  std::vector<uint64_t> out;
  for (const auto& b : per) out.insert(out.end(), b.begin(), b.end());
  return out;
}

TEST(HashucLockfreeSets, OccupiedCellsInBucketThenFirstNodeOrder) {
  const int saved_threads = omp_get_max_threads();
  struct Case {
    int32_t grid, nodes;
    float spread;  // 1: all over the grid; small: a few cells
  };
  for (const Case& c : {Case{4, 50, 1.0f}, Case{16, 5000, 1.0f}, Case{64, 20000, 0.05f},
                        Case{256, 30000, 1.0f}, Case{1, 10, 1.0f}}) {
    std::mt19937 rng(c.grid * 7 + c.nodes);
    std::uniform_real_distribution<float> u(-c.spread, c.spread);
    std::vector<float> coords(3 * c.nodes);
    for (float& x : coords) x = u(rng);
    for (int threads : {1, 2, 3}) {
      omp_set_num_threads(threads);
      ClusterSpace space;
      space.setUpGrid(c.grid, coords.data(), c.nodes, 3, 0);
      const int64_t n = collectOccupiedCells(space, coords.data(), c.nodes, 3);
      std::vector<uint64_t> keys(c.nodes);
      for (int32_t i = 0; i < c.nodes; ++i)
        keys[i] = space.grid.key(space.normalisation.normalise(&coords[3 * i]));
      const auto expected = oracleCells(keys, occupiedCellBuckets(c.nodes, c.grid, false));
      ASSERT_EQ(n, static_cast<int64_t>(expected.size()));
      EXPECT_EQ(space.cellKeys, expected) << c.grid << " " << threads;
      ASSERT_EQ(space.nodeCell.size(), keys.size());
      for (int32_t i = 0; i < c.nodes; ++i)
        ASSERT_EQ(space.cellKeys[space.nodeCell[i]], keys[i]) << "node " << i;
    }
  }
  omp_set_num_threads(saved_threads);
}

// A table of solved records: number in fields 0, 1, point in 2..4.
struct Layout {
  static constexpr int kNumberField = 0;
  static constexpr int kPointField = 2;
};
struct Rec {
  float v[5];
};
struct FakeTable {
  struct Slot {
    uint64_t key;
    Rec rec;
  };
  std::vector<Slot> slots;
  uint64_t slotCount() const { return slots.size(); }
  Slot& slot(uint64_t s) { return slots[s]; }
};

// The assembly as one thread with the locked sets does it.
void oracleAssembly(FakeTable& table, const NormalizationBox& nb, const NodeSlots& map,
                    const TriangleInput& in, int32_t c, bool lines, std::vector<int32_t>& tris,
                    std::vector<int32_t>& segs) {
  EdgeSet edges(static_cast<uint32_t>(lines ? std::max(1, 3 * c / 10 ? 3 * c / 10 : c) : 1));
  TriangleSet set(static_cast<uint32_t>(std::max(1, 2 * c / 7 ? 2 * c / 7 : c)));
  for (int64_t i = 0; i < in.count; ++i) {
    int32_t node[3], o[3];
    for (int j = 0; j < 3; ++j) {
      node[j] = in.node(i, j);
      o[j] = outputNumberOf<Layout>(table.slot(map.slot[node[j]]).rec);
    }
    if (o[0] != o[1] && o[1] != o[2] && o[0] != o[2]) {
      const Vec3 p0 = nb.normalise(in.position(node[0])), p1 = nb.normalise(in.position(node[1])),
                 p2 = nb.normalise(in.position(node[2]));
      const Vec3 r0 = pointOf<Layout>(table.slot(map.slot[node[0]]).rec),
                 r1 = pointOf<Layout>(table.slot(map.slot[node[1]]).rec),
                 r2 = pointOf<Layout>(table.slot(map.slot[node[2]]).rec);
      if (dot(normalize(cross(p1 - p0, p2 - p0)), normalize(cross(r1 - r0, r2 - r0))) >= 0.0f)
        set.add(o[0], o[1], o[2], static_cast<int32_t>(i));
      else
        set.add(o[0], o[2], o[1], static_cast<int32_t>(i));
    } else if (lines && !(o[0] == o[1] && o[1] == o[2])) {
      const int32_t a = o[0] != o[1] ? o[0] : o[1], b = o[0] != o[1] ? o[1] : o[2];
      edges.add(std::min(a, b), std::max(a, b), 0);
    }
  }
  tris.assign(3 * set.count(), 0);
  set.copyOut(tris.data(), set.count());
  for (size_t t = 0; t < tris.size() / 3; ++t)
    for (int j = 0; j < 3; ++j) {
      const int32_t a = tris[3 * t + j], b = tris[3 * t + (j + 1) % 3];
      if (EdgeSet::Entry* e = edges.find(std::min(a, b), std::max(a, b))) e->counter += 1;
    }
  segs.assign(2 * edges.countWithCounter(0), 0);
  edges.copyOutWithCounter(0, segs.data(), segs.size() / 2);
}

TEST(HashucLockfreeSets, TrianglesAndLinesMatchTheLockedSets) {
  const int saved_threads = omp_get_max_threads();
  struct Case {
    int32_t nodes, slots, outputs, triangles;
    bool lines;
  };
  // Few outputs give many duplicates and collapsed edges; several slots may
  // share an output number (merged sub-clusters).
  for (const Case& c : {Case{30, 8, 8, 200, true}, Case{500, 60, 40, 3000, true},
                        Case{2000, 700, 700, 8000, true}, Case{2000, 700, 700, 8000, false},
                        Case{100, 3, 3, 500, true}, Case{50, 50, 1, 100, true}}) {
    std::mt19937 rng(c.nodes + c.slots * 31 + c.triangles);
    std::vector<float> coords(3 * c.nodes);
    for (float& x : coords) x = std::uniform_real_distribution<float>(-1, 1)(rng);
    FakeTable table;
    table.slots.resize(c.slots + 5);  // a few never-used slots
    for (auto& s : table.slots) {
      s.key = kEmptyCellKey;
      s.rec = Rec{};
    }
    for (int32_t s = 0; s < c.slots; ++s) {
      setNodeNumber(table.slots[s].rec.v, static_cast<int32_t>(rng() % c.outputs));
      for (int k = 2; k < 5; ++k)
        table.slots[s].rec.v[k] = std::uniform_real_distribution<float>(-1, 1)(rng);
    }
    NodeSlots map;
    map.slot.resize(c.nodes);
    for (auto& s : map.slot) s = static_cast<uint32_t>(rng() % c.slots);
    std::vector<int32_t> tri(4 * c.triangles);
    for (int32_t t = 0; t < c.triangles; ++t)
      for (int j = 0; j < 4; ++j) tri[4 * t + j] = static_cast<int32_t>(rng() % c.nodes);
    TriangleInput in;
    in.coords = coords.data();
    in.triangles = tri.data();
    in.count = c.triangles;
    in.stride = 4;
    NormalizationBox nb;
    nb.compute(boundingBox(coords.data(), c.nodes, 3));
    std::vector<int32_t> want_tris, want_lines;
    oracleAssembly(table, nb, map, in, c.outputs, c.lines, want_tris, want_lines);
    for (int threads : {1, 2, 4}) {
      omp_set_num_threads(threads);
      SimplifiedMesh mesh;
      mesh.want_lines = c.lines;
      int64_t bad = -1;
      ASSERT_TRUE(assembleTrianglesAndLines<Layout>(table, nb, map, in, c.outputs, mesh, bad));
      EXPECT_EQ(mesh.triangles, want_tris) << c.slots << " slots, " << threads << " threads";
      EXPECT_EQ(mesh.lines, want_lines) << c.slots << " slots, " << threads << " threads";
    }
    // A bad node anywhere: the smallest bad triangle is named.
    tri[4 * (c.triangles / 2) + 1] = c.nodes;
    tri[4 * (c.triangles - 1)] = c.nodes + 7;
    for (int threads : {1, 3}) {
      omp_set_num_threads(threads);
      SimplifiedMesh mesh;
      int64_t bad = -1;
      EXPECT_FALSE(assembleTrianglesAndLines<Layout>(table, nb, map, in, c.outputs, mesh, bad));
      EXPECT_EQ(bad, c.triangles / 2);
      EXPECT_TRUE(mesh.triangles.empty() && mesh.lines.empty());
    }
  }
  omp_set_num_threads(saved_threads);
}

}  // namespace
}  // namespace Tavrin
