// Assembles the simplified mesh from solved cell records, the same way for
// every clustering handler:
//   - numbering: every output node gets a number, written into its records;
//     by default the position of the cell's key in the key array, while a
//     handler that merges sub-clusters gives several records one number;
//   - triangles: each source triangle whose corners reach three different
//     output nodes becomes one, turned so that it faces the way its source
//     faces; duplicates over the same three nodes collapse into one (the
//     one with the smallest source number stays);
//   - lines: the edge left by a triangle collapsed onto two nodes, unless it
//     is an edge of some output triangle;
//   - nodes: each output node at its record's point, denormalised.
// Two corners are the same output node exactly when they carry the same
// output number. The layout names the record fields used:
//   static constexpr int kNumberField;  // two floats: number / 65536, number % 65536
//   static constexpr int kPointField;   // three floats: the normalised point
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/memory_check.h"
#include "hashuc/cluster_pipeline.h"
#include "hashuc/grid.h"
#include "hashuc/handler_interface.h"
#include "hashuc/node_slots.h"
#include "hashuc/qef.h"
#include "hashuc/slot_crossings.h"
#include "tables/large_array.h"
#include "tables/slot_groups.h"

namespace Tavrin {

// The slot of every output node, in output order.
struct OutputNumbering {
  std::vector<uint32_t> output_slot;
  int32_t count() const { return static_cast<int32_t>(output_slot.size()); }
};

template <class Layout, class Record>
inline int32_t outputNumberOf(const Record& r) {
  return nodeNumber(r.v + Layout::kNumberField);
}
template <class Layout, class Record>
inline Vec3 pointOf(const Record& r) {
  const float* p = r.v + Layout::kPointField;
  return {p[0], p[1], p[2]};
}

// Numbers the cells by the position of their key in `keys`. `known`, when
// it holds one slot per key (a node map's cell_slot for these keys), gives
// the slots without looking the keys up again. Returns false when a key is
// missing from the table.
template <class Layout, class Table>
bool numberByKeyOrder(Table& table, const std::vector<uint64_t>& keys, OutputNumbering& out,
                      const std::vector<uint32_t>* known = nullptr) {
  const int64_t n = static_cast<int64_t>(keys.size());
  const uint64_t slots = table.slotCount();
  if (known && static_cast<int64_t>(known->size()) == n) {
    out.output_slot = *known;
  } else {
    // The keys are looked up together, so that their cache misses overlap.
    std::vector<int64_t> found(n);
    table.find_all(keys.data(), static_cast<size_t>(n), found.data());
    out.output_slot.resize(n);
#pragma omp parallel for schedule(static)
    for (int64_t j = 0; j < n; ++j)
      out.output_slot[j] = found[j] < 0 ? kNoSlot : static_cast<uint32_t>(found[j]);
  }
  int64_t missing = n;
#pragma omp parallel for schedule(static) reduction(min : missing)
  for (int64_t j = 0; j < n; ++j) {
    const uint32_t s = out.output_slot[j];
    if (s >= slots) {
      if (j < missing) missing = j;
      continue;
    }
    setNodeNumber(table.slot(s).rec.v + Layout::kNumberField, static_cast<int32_t>(j));
  }
  return missing == n;
}

namespace assembly_detail {

// What the assembly reads of a slot: its representative point and output
// number, packed so that a corner costs one scattered read instead of one
// into the number array and one into the 64-byte record.
struct SlotOutput {
  Vec3 point;
  int32_t number;
};

// A triangle over three different output nodes, turned the way its source faces.
struct OutputTriangle {
  int32_t a, b, c;
};
static_assert(sizeof(OutputTriangle) == 3 * sizeof(int32_t), "copied out as three int32 each");

// The nodes of a triangle in increasing order as one comparable value: the
// two smaller in one word, the largest beside it.
struct NodeSet {
  uint64_t low_mid;
  int32_t high;
  bool operator==(const NodeSet&) const = default;
};
inline NodeSet nodeSet(const OutputTriangle& t) {
  const int32_t a = std::min(t.a, t.b), b = std::max(t.a, t.b);
  const int32_t low = std::min(a, t.c), high = std::max(b, t.c);
  const int32_t mid = std::max(a, std::min(b, t.c));
  return {(static_cast<uint64_t>(static_cast<uint32_t>(low)) << 32) | static_cast<uint32_t>(mid),
          high};
}

inline uint32_t smallestNode(const OutputTriangle& t) {
  return static_cast<uint32_t>(std::min(t.a, std::min(t.b, t.c)));
}

// An edge (a < b) as one sortable word: a in the high half.
inline uint64_t edgeWord(int32_t a, int32_t b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

// Concatenates per-block parts in block order.
template <class T>
void concatenate(std::vector<std::vector<T>>& parts, std::vector<T>& out) {
  size_t total = 0;
  for (const auto& p : parts) total += p.size();
  out.clear();
  out.reserve(total);
  for (auto& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
    std::vector<T>().swap(p);
  }
}

// Moves the triangles of all parts into `sorted`, grouped by bucket (their
// smallest node modulo `buckets`), parts in order and each part in order
// within a bucket. counts[part * buckets + b] holds part's triangles in
// bucket b on entry. start[b] .. start[b + 1] is bucket b's segment on return.
inline void groupByBucket(std::vector<std::vector<OutputTriangle>>& parts, uint64_t buckets,
                          std::vector<uint32_t>& counts, std::vector<uint32_t>& start,
                          LargeArray<OutputTriangle>& sorted) {
  const uint64_t blocks = parts.size();
  sorted = requireLargeArray<OutputTriangle>(slotSegments(buckets, blocks, counts, start));
  OutputTriangle* dst = sorted.get();
#pragma omp parallel for schedule(static)
  for (uint64_t p = 0; p < blocks; ++p) {
    uint32_t* next = counts.data() + p * buckets;
    for (const OutputTriangle& t : parts[p]) dst[next[smallestNode(t) % buckets]++] = t;
    std::vector<OutputTriangle>().swap(parts[p]);
  }
}

}  // namespace assembly_detail

// Triangles and lines of the simplified mesh from the numbered records.
// Returns false (and leaves `mesh` empty) when a triangle names a node the
// map does not hold; bad_triangle is then its number. Only the triangles
// that cross cells are read: those of `crossings` when the accumulation
// noted them for the same triangles and map, else found here.
//
// The result is what one thread would get adding the triangles in order to
// hash sets of 2c/7 (triangles) and 3c/10 (edges) buckets for c output nodes
// and copying them out bucket by bucket: triangles within a bucket by
// source number, the one with the smallest source kept of those over the
// same nodes; edges within a bucket by (a, b). Instead of locked sets, the
// candidates are made per thread block in source order, counted per bucket
// as they are made, moved into bucket order (the only scattered pass) and
// then deduplicated and copied out bucket by bucket, in memory order.
template <class Layout, class Table>
bool assembleTrianglesAndLines(Table& table, const NormalizationBox& nb, const NodeSlots& map,
                               const TriangleInput& in, int32_t output_count, SimplifiedMesh& mesh,
                               int64_t& bad_triangle, const SlotCrossings* crossings = nullptr) {
  using namespace assembly_detail;
  const uint64_t c = static_cast<uint64_t>(output_count);
  const bool lines = mesh.want_lines;
  const uint64_t edge_buckets = lines ? std::max<uint64_t>(1, 3 * c / 10 ? 3 * c / 10 : c) : 1;
  const uint64_t tri_buckets = std::max<uint64_t>(1, 2 * c / 7 ? 2 * c / 7 : c);
  mesh.lines.clear();
  mesh.triangles.clear();

  // The output number and point of every slot, read once (empty slots hold
  // zero records and are never reached from a node).
  const uint64_t slots = table.slotCount();
  LargeArray<SlotOutput> slot_output = requireLargeArray<SlotOutput>(slots);
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slots; ++s) {
    const auto& rec = table.slot(s).rec;
    slot_output[s] = {pointOf<Layout>(rec), outputNumberOf<Layout>(rec)};
  }

  // The triangles that cross cells, from the accumulation when it noted
  // them for these triangles, else from a pass of their own.
  SlotCrossings own;
  if (!crossings || !crossings->matches(in.triangles, in.count, in.stride)) {
    const int64_t bad =
        classifyTriangles(in.triangles, in.count, in.stride, map, slots, nullptr, nullptr, &own);
    if (bad < in.count) {
      bad_triangle = bad;
      return false;
    }
    crossings = &own;
  }

  // Candidate triangles (counted per bucket) and collapsed edges, per block
  // of crossing triangles.
  const uint32_t* node_slot = map.slot.data();
  const SlotOutput* so = slot_output.get();
  const int blocks = static_cast<int>(crossings->spanning.size());
  std::vector<std::vector<OutputTriangle>> tri_parts(blocks);
  std::vector<std::vector<uint64_t>> edge_parts(blocks);
  std::vector<uint32_t> counts(static_cast<uint64_t>(blocks) * tri_buckets, 0);
  ParallelAllocations candidate_allocations;
#pragma omp parallel for schedule(dynamic, 1)
  for (int blk = 0; blk < blocks; ++blk)
    candidate_allocations.run([&] {
      const std::vector<int32_t>& spanning = crossings->spanning[blk];
      std::vector<OutputTriangle>& tris = tri_parts[blk];
      std::vector<uint64_t>& edges = edge_parts[blk];
      uint32_t* count = counts.data() + static_cast<uint64_t>(blk) * tri_buckets;
      tris.reserve(spanning.size());
      auto edge = [&](int32_t a, int32_t b) {
        edges.push_back(edgeWord(std::min(a, b), std::max(a, b)));
      };
      const size_t m = spanning.size();
      for (size_t k = 0; k < m; ++k) {
        // Scattered reads: the nodes of a triangle kFar ahead are fetched
        // early, and the slots of one kNear ahead once their numbers are in.
        constexpr size_t kFar = 16, kNear = 6;
        if (k + kFar < m)
          for (int j = 0; j < 3; ++j) {
            const int32_t later = in.node(spanning[k + kFar], j);
            __builtin_prefetch(node_slot + later);
            __builtin_prefetch(in.coords + static_cast<int64_t>(later) * in.components);
          }
        if (k + kNear < m)
          for (int j = 0; j < 3; ++j)
            __builtin_prefetch(so + node_slot[in.node(spanning[k + kNear], j)]);
        const int64_t i = spanning[k];
        uint32_t node[3];
        const SlotOutput* r[3];
        for (int j = 0; j < 3; ++j) {
          node[j] = static_cast<uint32_t>(in.node(i, j));
          r[j] = so + node_slot[node[j]];
        }
        const int32_t o[3] = {r[0]->number, r[1]->number, r[2]->number};
        if (o[0] != o[1] && o[1] != o[2] && o[0] != o[2]) {
          const Vec3 p0 = nb.normalise(in.position(node[0]));
          const Vec3 p1 = nb.normalise(in.position(node[1]));
          const Vec3 p2 = nb.normalise(in.position(node[2]));
          const Vec3 source_normal = normalize(cross(p1 - p0, p2 - p0));
          const Vec3 new_normal =
              normalize(cross(r[1]->point - r[0]->point, r[2]->point - r[0]->point));
          if (dot(source_normal, new_normal) >= 0.0f)
            tris.push_back({o[0], o[1], o[2]});
          else
            tris.push_back({o[0], o[2], o[1]});
          ++count[smallestNode(tris.back()) % tri_buckets];
        } else if (lines && !(o[0] == o[1] && o[1] == o[2])) {
          // Records merged into one output node (sub-clusters) collapse it.
          edge(o[0] != o[1] ? o[0] : o[1], o[0] != o[1] ? o[1] : o[2]);
        }
      }
      if (!lines) return;
      for (uint64_t w : crossings->pairs[blk]) {
        const int32_t a = so[w >> 32].number, b = so[w & 0xFFFFFFFFu].number;
        if (a != b) edge(a, b);
      }
    });
  candidate_allocations.rethrow();
  slot_output.reset();

  // Triangles: moved into bucket order (bucket of their smallest node), the
  // first of each node triple kept, written bucket by bucket.
  std::vector<uint32_t> start;
  LargeArray<OutputTriangle> sorted;
  groupByBucket(tri_parts, tri_buckets, counts, start, sorted);
  std::vector<uint32_t>().swap(counts);
  std::vector<uint32_t> first_kept(tri_buckets + 1, 0);
  ParallelAllocations allocations;
#pragma omp parallel
  {
    std::vector<NodeSet> kept_sets;  // of the bucket's kept triangles, in order
#pragma omp for schedule(static)
    for (uint64_t b = 0; b < tri_buckets; ++b)
      allocations.run([&] {
        OutputTriangle* seg = sorted.get() + start[b];
        const uint32_t n = start[b + 1] - start[b];
        kept_sets.clear();
        uint32_t kept = 0;
        for (uint32_t k = 0; k < n; ++k) {
          const NodeSet set = nodeSet(seg[k]);
          bool seen = false;
          for (const NodeSet& earlier : kept_sets) seen |= earlier == set;
          if (seen) continue;
          kept_sets.push_back(set);
          seg[kept++] = seg[k];
        }
        first_kept[b + 1] = kept;
      });
  }
  allocations.rethrow();
  for (uint64_t b = 0; b < tri_buckets; ++b) first_kept[b + 1] += first_kept[b];
  const uint64_t f = first_kept[tri_buckets];
  mesh.triangles.resize(3 * f);
  int32_t* out_tris = mesh.triangles.data();
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < tri_buckets; ++b)
    if (first_kept[b + 1] > first_kept[b])  // memcpy takes no null pointer, even for 0 bytes
      std::memcpy(out_tris + 3 * static_cast<uint64_t>(first_kept[b]), sorted.get() + start[b],
                  sizeof(OutputTriangle) * (first_kept[b + 1] - first_kept[b]));
  sorted.reset();

  std::vector<uint64_t> edges;
  concatenate(edge_parts, edges);
  if (!lines || edges.empty()) return true;
  // Lines: the distinct collapsed edges of each bucket, sorted, over the
  // start of the bucket's segment; an edge of an output triangle is no line.
  // The output triangles carry every triangle edge (duplicates share theirs).
  const uint64_t* ed = edges.data();
  SlotGroups groups;
  groups.build(edge_buckets, edges.size(), [&](uint64_t k) {
    return static_cast<uint32_t>(static_cast<uint32_t>(ed[k] >> 32) % edge_buckets);
  });
  LargeArray<uint64_t> uniq = requireLargeArray<uint64_t>(edges.size());
  LargeArray<uint8_t> covered = requireLargeArray<uint8_t>(edges.size());
  std::vector<uint32_t> distinct(edge_buckets, 0);
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < edge_buckets; ++b) {
    const uint32_t begin = groups.begin(b), end = groups.end(b);
    uint64_t* u = uniq.get() + begin;
    for (uint32_t k = begin; k < end; ++k) u[k - begin] = ed[groups.item(k)];
    std::sort(u, u + (end - begin));
    distinct[b] = static_cast<uint32_t>(std::unique(u, u + (end - begin)) - u);
    for (uint32_t j = 0; j < distinct[b]; ++j) covered[begin + j] = 0;
  }
  const int64_t tri_count = static_cast<int64_t>(f);
#pragma omp parallel for schedule(static)
  for (int64_t t = 0; t < tri_count; ++t)
    for (int j = 0; j < 3; ++j) {
      const int32_t a = out_tris[3 * t + j], b = out_tris[3 * t + (j + 1) % 3];
      const uint64_t w = edgeWord(std::min(a, b), std::max(a, b));
      const uint64_t bucket = static_cast<uint32_t>(std::min(a, b)) % edge_buckets;
      const uint64_t* u = uniq.get() + groups.begin(bucket);
      const uint64_t* hit = std::lower_bound(u, u + distinct[bucket], w);
      if (hit != u + distinct[bucket] && *hit == w)
        std::atomic_ref<uint8_t>(covered[hit - uniq.get()]).store(1, std::memory_order_relaxed);
    }
  std::vector<uint32_t> first_line(edge_buckets + 1, 0);
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < edge_buckets; ++b) {
    uint32_t count = 0;
    for (uint32_t j = 0; j < distinct[b]; ++j) count += covered[groups.begin(b) + j] == 0;
    first_line[b + 1] = count;
  }
  for (uint64_t b = 0; b < edge_buckets; ++b) first_line[b + 1] += first_line[b];
  mesh.lines.resize(2 * static_cast<uint64_t>(first_line[edge_buckets]));
  int32_t* out_lines = mesh.lines.data();
#pragma omp parallel for schedule(static)
  for (uint64_t b = 0; b < edge_buckets; ++b) {
    uint64_t at = first_line[b];
    const uint32_t begin = groups.begin(b);
    for (uint32_t j = 0; j < distinct[b]; ++j) {
      if (covered[begin + j]) continue;
      out_lines[2 * at] = static_cast<int32_t>(uniq[begin + j] >> 32);
      out_lines[2 * at + 1] = static_cast<int32_t>(uniq[begin + j] & 0xFFFFFFFFu);
      ++at;
    }
  }
  return true;
}

// One output value per node and field: `fill` first, then field(record) of
// each output node's representative slot.
template <class Table, class Field>
void writePerOutputNode(Table& table, const OutputNumbering& numbering, int32_t width,
                        std::vector<float>& out, const Field& field) {
  const int64_t n = numbering.count();
  out.assign(static_cast<size_t>(n) * width, -1000.0f);
#pragma omp parallel for schedule(static)
  for (int64_t o = 0; o < n; ++o)
    field(table.slot(numbering.output_slot[o]).rec, out.data() + o * width);
}

// Three floats per output node: the record's point, denormalised.
template <class Layout, class Table>
void writeOutputNodes(Table& table, const NormalizationBox& nb, const OutputNumbering& numbering,
                      std::vector<float>& nodes) {
  writePerOutputNode(table, numbering, 3, nodes, [&](const auto& rec, float* dst) {
    const Vec3 p = nb.denormalise(pointOf<Layout>(rec));
    dst[0] = p.x;
    dst[1] = p.y;
    dst[2] = p.z;
  });
}

}  // namespace Tavrin
