// Node normals by one pass over the triangles per thread, each thread
// summing only the corners of its own contiguous range of nodes; the
// boundary marks by grouping every triangle side under one of its ends and
// counting equal far ends there.
#include "mesh/node_fields.h"

#include <omp.h>

#include <algorithm>
#include <atomic>

#include "base/memory_check.h"
#include "tables/large_array.h"
#include "tables/slot_partition.h"

namespace Tavrin {

namespace {

inline bool in_range(int32_t node, int64_t num_nodes) { return node >= 0 && node < num_nodes; }

// Filing nodes per bucket of the boundary pass: their counters and far ends
// stay in the cache while the bucket is sorted.
constexpr int64_t kBucketNodes = 1 << 14;

// Short lists (the usual case) by insertion, long ones (a fan around one
// node) by std::sort.
void sort_short(uint32_t* begin, uint32_t* end) {
  if (end - begin < 2) return;
  if (end - begin > 32) {
    std::sort(begin, end);
    return;
  }
  for (uint32_t* p = begin + 1; p < end; ++p) {
    const uint32_t v = *p;
    uint32_t* q = p;
    for (; q > begin && q[-1] > v; --q) *q = q[-1];
    *q = v;
  }
}

}  // namespace

void add_node_normals(const Vec3* nodes, int64_t num_nodes, const int32_t* triangles, int64_t count,
                      int32_t stride, Vec3* sums) {
  const int64_t n = num_nodes;
  const Vec3* p = nodes;
  // Every thread walks all triangles in order and adds a triangle's normal
  // to the corners in its own range only: no locks, and each node receives
  // its triangles in triangle order whatever the number of threads. A
  // triangle is measured by each thread that owns one of its corners.
  const SlotPartition partition(static_cast<uint64_t>(n));
  partition.forEachPart([&](int part) {
    for (int64_t i = 0; i < count; ++i) {
      const int32_t* corner = triangles + i * stride;
      bool mine[3], any = false, all = true;
      for (int c = 0; c < 3; ++c) {
        const bool node = in_range(corner[c], n);
        all = all && node;
        mine[c] = node && partition.part(static_cast<uint64_t>(corner[c])) == part;
        any = any || mine[c];
      }
      if (!any) continue;
      Vec3 u;
      if (all) u = normalize(cross(p[corner[1]] - p[corner[0]], p[corner[2]] - p[corner[0]]));
      for (int c = 0; c < 3; ++c)
        if (mine[c]) sums[corner[c]] += u;
    }
  });
}

void node_normals(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                  std::vector<Vec3>& normals) {
  static_assert(sizeof(TriangleRecord) == 4 * sizeof(int32_t));
  const int64_t n = static_cast<int64_t>(nodes.size());
  normals.assign(static_cast<size_t>(n), Vec3{});
  Vec3* out = normals.data();
  add_node_normals(nodes.data(), n, reinterpret_cast<const int32_t*>(triangles.data()),
                   static_cast<int64_t>(triangles.size()), 4, out);
#pragma omp parallel for schedule(static)
  for (int64_t v = 0; v < n; ++v) out[v] = normalize(out[v]);
}

bool boundary_values(const std::vector<TriangleRecord>& triangles, int64_t num_nodes,
                     std::vector<float>& values) {
  const int64_t n = num_nodes > 0 ? num_nodes : 0;
  const int64_t t = static_cast<int64_t>(triangles.size());
  const TriangleRecord* tri = triangles.data();
  values.assign(static_cast<size_t>(n), 0.0f);
  if (n == 0 || t == 0) return false;
  float* mark = values.data();
  // A node may be marked as the far end of another node's edge by another
  // thread at the same time: every mark is an atomic store of the same value.
  auto mark_node = [mark](uint32_t v) {
    std::atomic_ref<float>(mark[v]).store(1000.0f, std::memory_order_relaxed);
  };

  // Every side is filed under its smaller end when both ends are nodes, else
  // under the end that is; all sides of one edge then meet under one node.
  // The sides are first spread over buckets of consecutive filing nodes, so
  // that each bucket is then sorted by node inside the cache.
  auto file = [n](int32_t x, int32_t y, auto&& put) {
    const bool x_node = in_range(x, n), y_node = in_range(y, n);
    if (!x_node && !y_node) return;
    if ((x_node && y_node && y < x) || !x_node) std::swap(x, y);
    put(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
  };
  auto sides = [&](int64_t i, auto&& put) {
    const TriangleRecord& r = tri[i];
    file(r.a, r.b, put);
    file(r.b, r.c, put);
    file(r.a, r.c, put);
  };
  const int64_t buckets = (n + kBucketNodes - 1) / kBucketNodes;
  const int blocks = std::max(1, omp_get_max_threads());
  auto block_begin = [&](int b) { return t * b / blocks; };
  // start[b * buckets + k]: where block b puts its sides of bucket k.
  std::vector<uint64_t> start(static_cast<size_t>(blocks * buckets) + 1, 0);
#pragma omp parallel for schedule(static, 1) num_threads(blocks)
  for (int b = 0; b < blocks; ++b) {
    uint64_t* count = start.data() + b * buckets;
    for (int64_t i = block_begin(b); i < block_begin(b + 1); ++i)
      sides(i, [&](uint32_t x, uint32_t) { ++count[x / kBucketNodes]; });
  }
  // Bucket by bucket, blocks in order inside each: exclusive prefix sums.
  std::vector<uint64_t> bucket_first(static_cast<size_t>(buckets) + 1, 0);
  uint64_t total = 0;
  for (int64_t k = 0; k < buckets; ++k) {
    bucket_first[k] = total;
    for (int b = 0; b < blocks; ++b) {
      const uint64_t c = start[b * buckets + k];
      start[b * buckets + k] = total;
      total += c;
    }
  }
  bucket_first[buckets] = total;
  // A side is its node's place inside the bucket (high word) and its far end.
  LargeArray<uint64_t> entries = requireLargeArray<uint64_t>(total);
  uint64_t* entry = entries.get();
#pragma omp parallel for schedule(static, 1) num_threads(blocks)
  for (int b = 0; b < blocks; ++b) {
    uint64_t* next = start.data() + b * buckets;
    for (int64_t i = block_begin(b); i < block_begin(b + 1); ++i)
      sides(i, [&](uint32_t x, uint32_t y) {
        entry[next[x / kBucketNodes]++] = static_cast<uint64_t>(x % kBucketNodes) << 32 | y;
      });
  }

  // Per bucket: the far ends grouped by node, then a far end that occurs
  // once under a node is an edge of one side.
  bool any = false;
  ParallelAllocations allocations;
#pragma omp parallel reduction(|| : any)
  {
    std::vector<uint32_t> first, ends;
#pragma omp for schedule(dynamic, 1)
    for (int64_t k = 0; k < buckets; ++k)
      allocations.run([&] {
        if (first.empty()) first.resize(kBucketNodes + 1);
        const uint64_t* e = entry + bucket_first[k];
        const uint64_t size = bucket_first[k + 1] - bucket_first[k];
        std::fill(first.begin(), first.end(), 0);
        for (uint64_t j = 0; j < size; ++j) ++first[(e[j] >> 32) + 1];
        for (int64_t v = 0; v < kBucketNodes; ++v) first[v + 1] += first[v];
        ends.resize(size);
        for (uint64_t j = 0; j < size; ++j) ends[first[e[j] >> 32]++] = static_cast<uint32_t>(e[j]);
        // first[v] now ends node v's far ends.
        uint32_t begin = 0;
        for (int64_t v = 0; v < kBucketNodes; ++v) {
          const uint32_t end = first[v];
          sort_short(ends.data() + begin, ends.data() + end);
          for (uint32_t j = begin; j < end;) {
            uint32_t same = j + 1;
            while (same < end && ends[same] == ends[j]) ++same;
            if (same - j == 1) {
              any = true;
              mark_node(static_cast<uint32_t>(k * kBucketNodes + v));
              if (ends[j] < static_cast<uint64_t>(n)) mark_node(ends[j]);
            }
            j = same;
          }
          begin = end;
        }
      });
  }
  allocations.rethrow();
  return any;
}

}  // namespace Tavrin
