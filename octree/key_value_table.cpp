// Build schedule, accumulation and solve of the octree's cell store.
//
// Accumulation is reproducible: triangle corners are grouped by the bucket of
// their cell with a stable counting sort, and each bucket is summed by one
// worker in corner order (triangle by triangle, corner 0, 1, 2), so every
// cell's float sums are formed exactly as one thread would form them.

#include "octree/key_value_table.h"

#include <cmath>

#include "tables/prime_table.h"
#include "tables/random_streams.h"
#include "tables/slot_groups.h"

namespace Tavrin {

int octree_solve_cell(QefRecord& v, uint64_t key, const ClusterGrid& grid) {
  if (!(v.v[13] >= 1.0f)) return 0;  // empty slot (NaN included)
  const int64_t c = static_cast<int64_t>(v.v[13]);
  const float inverse = 1.0f / v.v[13];
  const Vec3 average(v.v[10] * inverse, v.v[11] * inverse, v.v[12] * inverse);
  float q[16];
  recordQuadric(v, q);
  Vec3 p = average;
  if (c >= 3) {
    Vec3 candidate;
    // The minimiser is kept only inside the grid box and the cell's own box,
    // faces included; grid.contains tests both.
    if (minimiseQuadric4(q, key, grid, candidate) == QEF_SOLVED) p = candidate;
  }
  v.v[10] = p.x;
  v.v[11] = p.y;
  v.v[12] = p.z;
  v.v[13] = std::sqrt(std::fabs(quadricError4(q, p)));
  return 1;
}

int32_t KeyValueHashTable::build(const uint64_t* keys, int32_t n) {
  table_.release();
  if (n < 0 || (n > 0 && !keys)) return 0;
  const uint32_t count = static_cast<uint32_t>(n);
  Random64& random = octree_random();
  bool distributed = false;
  for (int attempt = 1; attempt <= 3 && !distributed; ++attempt) {
    table_.allocate(count);
    if (attempt == 2) {
      table_.setBucketFunction(BucketFunction::mixed(largestEntryAtMost(512 * table_.bucketCount()),
                                                     firstCubeAbove(count), 1900813u));
    } else if (attempt == 3) {
      const uint32_t c1 = static_cast<uint32_t>(random.next());
      const uint32_t c0 = static_cast<uint32_t>(random.next());
      table_.setBucketFunction(BucketFunction::mixed(c1, c0, 2670049u));
    }
    distributed = table_.distribute(keys, count);
  }
  // A bucket that no seed can place would leave keys that find() cannot
  // reach; such a table is released rather than used.
  if (!distributed || !table_.placeBuckets(random)) {
    table_.release();
    return 0;
  }
  return n;
}

void KeyValueHashTable::add(uint64_t key, const QefRecord& record) {
  const int64_t i = table_.find_index(key);
  if (i < 0) return;  // not stored: nothing to add to
  SpinGuard guard(table_.lock(static_cast<uint64_t>(i)));
  QefRecord& r = table_.slot(static_cast<uint64_t>(i)).rec;
  for (int k = 0; k < 14; ++k) r.v[k] += record.v[k];
}

const QefRecord* KeyValueHashTable::find(uint64_t key) const {
  const Table::Slot* s = table_.find(key);
  return s ? &s->rec : nullptr;
}

void KeyValueHashTable::accumulate_triangles(int64_t count, const Vec3* nodes,
                                             const TriangleRecord* triangles,
                                             const ClusterGrid& grid) {
  if (count <= 0 || !table_.built()) return;
  const Vec3 diagonal = grid.max - grid.min;
  const float threshold = 1e-30f * std::sqrt(diagonal.x * diagonal.x + diagonal.y * diagonal.y +
                                             diagonal.z * diagonal.z);
  auto corner_node = [&](uint64_t c) -> int32_t {
    const TriangleRecord& t = triangles[c / 3];
    const uint64_t k = c % 3;
    return k == 0 ? t.a : (k == 1 ? t.b : t.c);
  };
  const uint32_t B = table_.bucketCount();
  // Corners grouped by bucket in input order: each bucket's worker folds its
  // corners in the order one thread would, without locks.
  SlotGroups groups;
  if (!groups.build(B, static_cast<uint64_t>(count) * 3,
                    [&](uint64_t c) { return table_.bucketOf(grid.key(nodes[corner_node(c)])); }))
    return;

#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < static_cast<int64_t>(B); ++b) {
    int64_t last_triangle = -1;
    PlaneQuadric q{};
    for (uint32_t j = groups.begin(b); j < groups.end(b); ++j) {
      const uint64_t c = groups.item(j);
      const int64_t t = static_cast<int64_t>(c / 3);
      if (t != last_triangle) {
        const TriangleRecord& tr = triangles[t];
        q = trianglePlaneQuadric(nodes[tr.a], nodes[tr.b], nodes[tr.c], threshold);
        last_triangle = t;
      }
      const Vec3& p = nodes[corner_node(c)];
      const int64_t i = table_.find_index(grid.key(p));
      if (i < 0) continue;  // a corner outside the collected cells cannot be stored
      // This worker owns bucket b, so no lock is needed.
      addCorner(table_.slot(static_cast<uint64_t>(i)).rec, q, p);
    }
  }
}

int32_t KeyValueHashTable::solve_all(const ClusterGrid& grid) {
  if (!table_.built()) return 0;
  const int64_t B = table_.bucketCount();
  constexpr uint64_t S = Table::kSlotsPerBucket;
  int64_t solved = 0;
#pragma omp parallel for schedule(static) reduction(+ : solved)
  for (int64_t b = 0; b < B; ++b) {
    for (uint64_t i = static_cast<uint64_t>(b) * S; i < static_cast<uint64_t>(b + 1) * S; ++i) {
      Table::Slot& s = table_.slot(i);
      solved += octree_solve_cell(s.rec, s.key, grid);
    }
  }
  return static_cast<int32_t>(solved);
}

}  // namespace Tavrin
