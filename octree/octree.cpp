// Building the octree: collect the occupied cells of all six levels from the
// nodes, build one cell table per level, accumulate the triangle quadrics at
// the finest level, merge every level into its parent level and solve every
// cell. All levels share one grid box, so the cell (ix, iy, iz) of level L + 1
// lies inside the cell (ix >> 1, iy >> 1, iz >> 1) of level L.
//
// The merge is reproducible: child cells are grouped by the bucket of their
// parent with a stable counting sort and each parent sums its children in
// the order of the child level's key array.

#include "octree/octree.h"

#include <omp.h>

#include <algorithm>
#include <memory>

#include "base/messages.h"
#include "base/timer.h"
#include "tables/slot_groups.h"

namespace Tavrin {

bool Octree::build(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                   OctreeBuildTimes& times) {
  const int64_t N = static_cast<int64_t>(nodes.size());
  const float* coords = reinterpret_cast<const float*>(nodes.data());
  Timer timer;

  // Key collection: every level's keys sorted and made unique. A sort keeps
  // the key arrays independent of the thread order and avoids the long
  // bucket chains a hash set of millions of fine cells would scan.
  const Box bounds = boundingBox(coords, N, 3);
  for (int L = 0; L < kLevels; ++L) {
    const int32_t n = kCoarsestCells << L;
    levels[L].grid.setUp(bounds, n, n, n, 0);
  }
  const Vec3* p = nodes.data();
#pragma omp parallel for schedule(static)
  for (int L = 0; L < kLevels; ++L) {
    std::vector<uint64_t>& keys = levels[L].keys;
    keys.resize(static_cast<size_t>(N));
    for (int64_t i = 0; i < N; ++i) keys[i] = levels[L].grid.key(p[i]);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    keys.shrink_to_fit();
  }
  times.keys += timer.elapsed();

  // Tables.
  timer.start();
  for (int L = 0; L < kLevels; ++L) {
    const int32_t n = static_cast<int32_t>(levels[L].keys.size());
    if (levels[L].table.build(levels[L].keys.data(), n) != n || !levels[L].table.usable()) {
      times.tables += timer.elapsed();
      log_message(
          format("Octree: the cell table of level %d (%d cells per axis, %d cells) could "
                 "not be built; the mesh was not simplified.\n",
                 L, kCoarsestCells << L, n));
      return false;
    }
  }
  times.tables += timer.elapsed();

  // Finest-level accumulation and upward merge.
  timer.start();
  OctreeLevel& finest = levels[kLevels - 1];
  finest.table.accumulate_triangles(static_cast<int64_t>(triangles.size()), nodes.data(),
                                    triangles.data(), finest.grid);
  for (int L = kLevels - 1; L > 0; --L) merge_into_parent(L);
  times.quadrics += timer.elapsed();

  // Best positions.
  timer.start();
  for (int L = 0; L < kLevels; ++L) levels[L].table.solve_level(levels[L].grid);
  times.solve += timer.elapsed();
  return true;
}

void Octree::merge_into_parent(int child_level) {
  const OctreeLevel& child = levels[child_level];
  OctreeLevel& parent = levels[child_level - 1];
  const uint64_t cx = static_cast<uint64_t>(child.grid.nx);
  const uint64_t cxy = cx * static_cast<uint64_t>(child.grid.ny);
  const uint64_t px = static_cast<uint64_t>(parent.grid.nx);
  const uint64_t py = static_cast<uint64_t>(parent.grid.ny);
  const uint64_t cy = static_cast<uint64_t>(child.grid.ny);
  auto parent_key = [=](uint64_t k) {
    const uint64_t iz = k / cxy;
    const uint64_t iy = (k - iz * cxy) / cx;
    const uint64_t ix = k - cx * (cy * iz + iy);
    return px * ((iz >> 1) * py + (iy >> 1)) + (ix >> 1);
  };
  const uint64_t* keys = child.keys.data();
  const uint32_t B = parent.table.bucketCount();
  // Children grouped by their parent's bucket, in key order within a bucket,
  // so each parent sums its children in the order one thread would.
  SlotGroups groups;
  if (!groups.build(B, child.keys.size(),
                    [&](uint64_t j) { return parent.table.bucketOf(parent_key(keys[j])); }))
    return;
#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < static_cast<int64_t>(B); ++b) {
    for (uint32_t j = groups.begin(b); j < groups.end(b); ++j) {
      const uint64_t k = keys[groups.item(j)];
      const int64_t from = child.table.slot_index(k);
      const int64_t to = parent.table.slot_index(parent_key(k));
      if (from < 0 || to < 0) continue;  // every parent was collected from the same nodes
      const QefRecord& c = child.table.record_at(static_cast<uint64_t>(from));
      QefRecord& p = parent.table.record_at(static_cast<uint64_t>(to));
      for (int f = 0; f < 14; ++f) p.v[f] += c.v[f];
    }
  }
}

OctreeCluster Octree::cluster_of(float max_error, const Vec3& p) const {
  OctreeCluster found{kLevels - 1, 0};
  for (int L = 0; L < kLevels; ++L) {
    const int64_t s = levels[L].table.slot_index(levels[L].grid.key(p));
    if (s < 0) continue;
    found = {L, static_cast<uint32_t>(s)};
    if (max_error >= levels[L].table.record_at(static_cast<uint64_t>(s)).v[13]) break;
  }
  return found;
}

std::pair<float, float> Octree::error_range(int level) const {
  const OctreeLevel& l = levels[level];
  float lo = 0.0f, hi = 0.0f;
  bool any = false;
  for (uint64_t key : l.keys) {
    const int64_t s = l.table.slot_index(key);
    if (s < 0) continue;
    const QefRecord& r = l.table.record_at(static_cast<uint64_t>(s));
    const float e = r.v[13];
    // Cells whose error is 0 (planes through one point, a single plane, no
    // triangle area) qualify under any maximum error.
    if (!(e > 0.0f)) continue;
    lo = any ? std::min(lo, e) : e;
    hi = any ? std::max(hi, e) : e;
    any = true;
  }
  return {lo, hi};
}

bool Octree::matches(int32_t node_count, int32_t triangle_count, const Box& box) const {
  return node_count == source_nodes_ && triangle_count == source_triangles_ &&
         box.min == source_box_.min && box.max == source_box_.max;
}

void Octree::remember_source(int32_t node_count, int32_t triangle_count, const Box& box) {
  source_nodes_ = node_count;
  source_triangles_ = triangle_count;
  source_box_ = box;
}

int64_t Octree::memory_bytes() const {
  int64_t bytes = 192;
  for (const OctreeLevel& level : levels) {
    bytes += level.table.memory_bytes() + 64;
    if (!level.keys.empty()) bytes += 8 * static_cast<int64_t>(level.keys.size());
  }
  return bytes;
}

}  // namespace Tavrin
