// Decimation pass of the octree simplifier. Cluster numbers come from the
// ClusterMap (ordered by first corner), duplicate triangles and collapsed
// edges are resolved by TriangleSet and EdgeSet, whose outputs do not depend
// on the thread order, so the result is the same for any number of threads.

#include "octree/decimate.h"

#include "base/timer.h"
#include "hashuc/triangle_set.h"
#include "mesh/edge_set.h"
#include "octree/cluster_map.h"

namespace Tavrin {

namespace {

uint32_t or_count(int64_t wanted, int64_t fallback) {
  const int64_t b = wanted > 0 ? wanted : fallback;
  return static_cast<uint32_t>(b > 0 ? b : 1);
}

Vec3 position(const QefRecord& r) { return {r.v[10], r.v[11], r.v[12]}; }

}  // namespace

void decimate_octree(const Octree& octree, float max_error, const std::vector<Vec3>& nodes,
                     const std::vector<TriangleRecord>& triangles, OctreeDecimation& out,
                     OctreeDecimationTimes& times) {
  const int64_t N = static_cast<int64_t>(nodes.size());
  const int64_t T = static_cast<int64_t>(triangles.size());
  Timer timer;

  // Clusters of all nodes (also needed for the error fields of the caller).
  out.node_clusters.resize(static_cast<size_t>(N));
  OctreeCluster* clusters = out.node_clusters.data();
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < N; ++i) clusters[i] = octree.cluster_of(max_error, nodes[i]);

  // Clusters used by triangle corners, numbered.
  ClusterMap map(occupiedCellBuckets(N, Octree::kCoarsestCells << (Octree::kLevels - 1), false));
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < T; ++t) {
    const int32_t v[3] = {triangles[t].a, triangles[t].b, triangles[t].c};
    for (int k = 0; k < 3; ++k) {
      const OctreeCluster& c = clusters[v[k]];
      map.insert(octree.key(c), c.level, c.slot, static_cast<uint64_t>(3 * t + k));
    }
  }
  const int32_t count = map.number();
  std::vector<int32_t> node_number(static_cast<size_t>(N));
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < N; ++i)
    node_number[i] = map.find(octree.key(clusters[i]), clusters[i].level);
  times.clusters += timer.elapsed();

  // Triangle pass.
  timer.start();
  EdgeSet edges(or_count(3 * static_cast<int64_t>(count) / 10, count));
  TriangleSet kept(or_count(2 * static_cast<int64_t>(count) / 7, count));
  bool line_produced = false;
#pragma omp parallel for schedule(static) reduction(|| : line_produced)
  for (int64_t t = 0; t < T; ++t) {
    const TriangleRecord& tr = triangles[t];
    const int32_t c0 = node_number[tr.a], c1 = node_number[tr.b], c2 = node_number[tr.c];
    if (c0 == c1 || c1 == c2 || c0 == c2) {
      if (c0 == c1 && c1 == c2) continue;
      const int32_t a = c0, b = c0 == c1 ? c2 : c1;
      edges.add(std::min(a, b), std::max(a, b), 0);
      line_produced = true;
      continue;
    }
    const Vec3 p0 = position(octree.record(clusters[tr.a]));
    const Vec3 p1 = position(octree.record(clusters[tr.b]));
    const Vec3 p2 = position(octree.record(clusters[tr.c]));
    const Vec3& v0 = nodes[tr.a];
    const Vec3 new_normal = normalize(cross(p1 - p0, p2 - p0));
    const Vec3 old_normal = normalize(cross(nodes[tr.b] - v0, nodes[tr.c] - v0));
    const bool same_side = dot(new_normal, old_normal) >= 0.0f;
    kept.add(c0, same_side ? c1 : c2, same_side ? c2 : c1, static_cast<int32_t>(t));
    edges.add(std::min(c0, c1), std::max(c0, c1), 1);
    edges.add(std::min(c1, c2), std::max(c1, c2), 1);
    edges.add(std::min(c0, c2), std::max(c0, c2), 1);
  }
  times.elements += timer.elapsed();

  // Outputs.
  timer.start();
  out.lines.clear();
  if (line_produced) {
    const uint64_t n = edges.countWithCounter(0);
    std::vector<int32_t> pairs(2 * n);
    const uint64_t written = edges.copyOutWithCounter(0, pairs.data(), n);
    out.lines.resize(written);
    for (uint64_t i = 0; i < written; ++i) out.lines[i] = {pairs[2 * i], pairs[2 * i + 1], 0};
  }
  std::vector<TriangleSet::Entry> entries;
  kept.copyOutAll(entries);
  out.triangles.resize(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    out.triangles[i] = {entries[i].a, entries[i].b, entries[i].c, entries[i].source};

  std::vector<ClusterMap::Entry> numbered;
  map.copyOut(numbered);
  out.vertices.resize(static_cast<size_t>(count));
  const int64_t M = static_cast<int64_t>(numbered.size());
#pragma omp parallel for schedule(static)
  for (int64_t j = 0; j < M; ++j) {
    const ClusterMap::Entry& e = numbered[j];
    out.vertices[e.number] = position(octree.record({e.level, e.slot}));
  }
  times.rest += timer.elapsed();
}

}  // namespace Tavrin
