// The triangles whose corners reach more than one slot of a cell table:
// the only ones that can leave a triangle or a line in the simplified mesh.
// One pass over the triangles notes them (and, for the accumulation, which
// thread's slots each triangle touches), so that output assembly never walks
// the millions of triangles that fall inside a single cell.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/memory_check.h"
#include "hashuc/node_slots.h"
#include "hashuc/recent_words.h"
#include "tables/slot_groups.h"  // kNoSlot
#include "tables/slot_partition.h"

namespace Tavrin {

// Per block of consecutive triangles (blocks in triangle order):
//   spanning: the triangles over three different slots, in order (triangle
//             numbers fit 32 bits: a mesh holds at most 2^31 - 1 triangles);
//   pairs: the slot pairs (low << 32 | high) of the triangles over exactly
//          two slots, in order; every pair at least once, most repeats of a
//          pair left out (RecentWords).
struct SlotCrossings {
  std::vector<std::vector<int32_t>> spanning;
  std::vector<std::vector<uint64_t>> pairs;
  const int32_t* triangles = nullptr;
  int64_t count = 0;
  int32_t stride = 0;
  bool valid = false;

  bool matches(const int32_t* t, int64_t n, int32_t s) const {
    return valid && triangles == t && count == n && stride == s;
  }
  void clear() {
    std::vector<std::vector<int32_t>>().swap(spanning);
    std::vector<std::vector<uint64_t>>().swap(pairs);
    triangles = nullptr;
    count = 0;
    stride = 0;
    valid = false;
  }
};

// The triangles each part of a SlotPartition folds: per block of consecutive
// triangles (blocks in triangle order) and part, the triangles with a corner
// in one of the part's slots, in order. A triangle over several parts is in
// each of their lists.
struct PartTriangles {
  std::vector<std::vector<int32_t>> list;  // [block * parts + part]
  int parts = 0;
  int blocks = 0;
  const std::vector<int32_t>& of(int block, int part) const {
    return list[static_cast<size_t>(block) * parts + part];
  }
};

inline uint64_t slotPairWord(uint32_t a, uint32_t b) {
  return (static_cast<uint64_t>(std::min(a, b)) << 32) | std::max(a, b);
}

// One pass over `count` triangles of `stride` int32 each (corner c of
// triangle t is triangles[t * stride + c]): fills `crossings` when given,
// and `shares` with the triangles of every part of `partition` when both
// are given. Returns the first triangle with a
// corner outside the node map (or without a slot), or count when there is
// none; the outputs are then incomplete and `crossings` is not valid.
inline int64_t classifyTriangles(const int32_t* triangles, int64_t count, int32_t stride,
                                 const NodeSlots& map, uint64_t slots,
                                 const SlotPartition* partition, PartTriangles* shares,
                                 SlotCrossings* crossings) {
  auto node = [&](int64_t t, int c) { return triangles[t * stride + c]; };
  const uint64_t n = map.slot.size();
  const uint32_t* node_slot = map.slot.data();
  const int blocks = std::max(1, omp_get_max_threads());
  if (crossings) {
    crossings->clear();
    crossings->spanning.resize(blocks);
    crossings->pairs.resize(blocks);
  }
  const int parts = shares && partition ? partition->parts() : 0;
  if (shares) {
    shares->list.assign(static_cast<size_t>(blocks) * parts, {});
    shares->parts = parts;
    shares->blocks = blocks;
  }
  int64_t bad = count;
  // Lists that cannot grow end the pass with std::bad_alloc on this thread.
  ParallelAllocations allocations;
#pragma omp parallel for schedule(static) reduction(min : bad)
  for (int blk = 0; blk < blocks; ++blk)
    allocations.run([&] {
      const int64_t begin = count * blk / blocks, end = count * (blk + 1) / blocks;
      std::vector<int32_t>* spanning = crossings ? &crossings->spanning[blk] : nullptr;
      std::vector<uint64_t>* pairs = crossings ? &crossings->pairs[blk] : nullptr;
      RecentWords recent;
      std::vector<int32_t>* share =
          parts ? &shares->list[static_cast<size_t>(blk) * parts] : nullptr;
      // Room for every triangle in each list: only the pages written are used.
      for (int p = 0; p < parts; ++p) share[p].reserve(static_cast<size_t>(end - begin));
      for (int64_t t = begin; t < end; ++t) {
        // The node map is read at scattered places: a later triangle's slots
        // are fetched early.
        constexpr int64_t kAhead = 16;
        if (t + kAhead < end)
          for (int c = 0; c < 3; ++c) {
            const uint32_t later = static_cast<uint32_t>(node(t + kAhead, c));
            if (later < n) __builtin_prefetch(node_slot + later);
          }
        uint32_t s[3];
        bool ok = true;
        for (int c = 0; c < 3 && ok; ++c) {
          const uint32_t v = static_cast<uint32_t>(node(t, c));
          s[c] = v < n ? node_slot[v] : kNoSlot;
          ok = s[c] < slots;
        }
        if (!ok) {
          bad = std::min(bad, t);
          return;  // later triangles of this block cannot come first
        }
        if (parts) {
          const int p0 = partition->part(s[0]), p1 = partition->part(s[1]),
                    p2 = partition->part(s[2]);
          share[p0].push_back(static_cast<int32_t>(t));
          if (p1 != p0) share[p1].push_back(static_cast<int32_t>(t));
          if (p2 != p0 && p2 != p1) share[p2].push_back(static_cast<int32_t>(t));
        }
        if (!crossings || (s[0] == s[1] && s[1] == s[2])) continue;
        if (s[0] != s[1] && s[1] != s[2] && s[0] != s[2]) {
          spanning->push_back(static_cast<int32_t>(t));
        } else {
          const uint64_t w = s[0] != s[1] ? slotPairWord(s[0], s[1]) : slotPairWord(s[1], s[2]);
          if (recent.admit(w)) pairs->push_back(w);
        }
      }
    });
  allocations.rethrow();
  if (crossings && bad == count) {
    crossings->triangles = triangles;
    crossings->count = count;
    crossings->stride = stride;
    crossings->valid = true;
  }
  return bad;
}

}  // namespace Tavrin
