// The per-cell passes every clustering handler runs over its cell table:
// folding the triangles into the records of their corners' cells, solving
// every record, and clearing the records.
//
// Accumulation is reproducible: the corners of each triangle are grouped by
// the slot of their node's cell, keeping input order, and then each slot
// sums its own corners in that order without any lock. That is exactly the sum one thread walking the triangles in order
// would form, in 32-bit floats, whatever the number of threads.
//
// What a corner adds is the handler's business, given as a fold policy:
//   using Terms = ...;                                  // what a triangle adds per corner
//   Terms terms(const TriangleCorners&) const;          // once per triangle and slot
//   void add(Record&, const Terms&, const TriangleCorners&, int corner) const;
#pragma once

#include <cstdint>
#include <cstring>

#include "hashuc/grid.h"
#include "hashuc/node_slots.h"
#include "hashuc/slot_groups.h"

namespace Tavrin {

// One source triangle as a fold policy sees it.
struct TriangleCorners {
  int64_t triangle = 0;
  int32_t node[3] = {0, 0, 0};
  Vec3 q[3];  // normalised corner positions
};

// Where the corners of a triangle array live.
struct TriangleInput {
  const float* coords = nullptr;
  int32_t components = 3;
  const int32_t* triangles = nullptr;
  int64_t count = 0;
  int32_t stride = 3;

  int32_t node(int64_t triangle, int corner) const { return triangles[triangle * stride + corner]; }
  Vec3 position(int32_t node) const {
    const float* p = coords + static_cast<int64_t>(node) * components;
    return {p[0], p[1], p[2]};
  }
};

enum class PassResult { Done, BadNode };

// Groups the triangles of `in` by slot as entries: a triangle has one entry
// per distinct slot among its corners, naming the corners in that slot
// (item 8t + mask, bit c for corner c), so a triangle whose three corners
// share a cell, the common case, is one item instead of three. Summing a
// slot's entries in order, each entry's corners in corner order, adds
// exactly the corners one thread walking triangle by triangle, corner 0, 1,
// 2, would add. Meshes too large for that encoding get one item per corner
// (3t + c). A corner whose node is outside the map (or has no slot) fails
// the grouping; `bad_triangle` names its triangle.
inline PassResult groupTriangleEntries(const TriangleInput& in, const NodeSlots& map,
                                       uint64_t slot_count, SlotGroups& groups,
                                       bool& per_corner, int64_t& bad_triangle) {
  const uint64_t n = map.slot.size();
  const uint32_t* node_slot = map.slot.data();
  per_corner = static_cast<uint64_t>(in.count) > SlotGroups::kMaxItems / 8;
  const bool corners = per_corner;
  const uint64_t count = static_cast<uint64_t>(in.count);
  auto emit = [&](uint64_t t, auto&& put) {
    // The slots of a later triangle's nodes are fetched early: the node map
    // is read at scattered places.
    constexpr uint64_t kAhead = 16;
    if (t + kAhead < count) {
      const int32_t* later = in.triangles + static_cast<int64_t>(t + kAhead) * in.stride;
      for (int c = 0; c < 3; ++c)
        if (static_cast<uint32_t>(later[c]) < n) __builtin_prefetch(node_slot + later[c]);
    }
    const int32_t* tri = in.triangles + static_cast<int64_t>(t) * in.stride;
    uint32_t s[3];
    for (int c = 0; c < 3; ++c) {
      const uint32_t node = static_cast<uint32_t>(tri[c]);
      s[c] = node < n ? node_slot[node] : kNoSlot;
    }
    if (corners) {
      for (int c = 0; c < 3; ++c) put(s[c], static_cast<uint32_t>(3 * t + c));
      return;
    }
    const uint32_t base = static_cast<uint32_t>(8 * t);
    put(s[0], base | 1u | (s[1] == s[0] ? 2u : 0u) | (s[2] == s[0] ? 4u : 0u));
    if (s[1] != s[0]) put(s[1], base | 2u | (s[2] == s[1] ? 4u : 0u));
    if (s[2] != s[0] && s[2] != s[1]) put(s[2], base | 4u);
  };
  if (groups.buildFromSources(slot_count, count, emit))
    return PassResult::Done;
  bad_triangle = static_cast<int64_t>(groups.firstBadItem());
  return PassResult::BadNode;
}

// Folds every triangle of `in` into the records of its corners' slots.
template <class Table, class Fold>
PassResult accumulateTriangles(Table& table, const NormalizationBox& nb, const NodeSlots& map,
                               const TriangleInput& in, const Fold& fold, int64_t& bad_triangle) {
  SlotGroups groups;
  const uint64_t slots = table.slotCount();
  bool per_corner = false;
  PassResult r = groupTriangleEntries(in, map, slots, groups, per_corner, bad_triangle);
  if (r != PassResult::Done) return r;
  auto triangle_of = [per_corner](uint32_t item) -> int64_t {
    return per_corner ? item / 3 : item >> 3;
  };
  // The entries of a slot name scattered triangles and nodes: the triangle
  // of the entry kFar ahead and the nodes of the entry kNear ahead are
  // fetched early. A thread's slots own consecutive positions, so looking
  // ahead across slot ends still fetches what the thread needs next.
  constexpr uint32_t kFar = 16, kNear = 8;
  const uint64_t positions = groups.itemCount();
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slots; ++s) {
    const uint32_t b = groups.begin(s), e = groups.end(s);
    if (b == e) continue;
    auto& rec = table.slot(s).rec;
    TriangleCorners tc;
    tc.triangle = -1;
    typename Fold::Terms terms{};
    for (uint32_t k = b; k < e; ++k) {
      if (k + kFar < positions) {
        __builtin_prefetch(in.triangles + triangle_of(groups.item(k + kFar)) * in.stride);
        const int32_t* near = in.triangles + triangle_of(groups.item(k + kNear)) * in.stride;
        for (int j = 0; j < 3; ++j)
          __builtin_prefetch(in.coords + static_cast<int64_t>(near[j]) * in.components);
      }
      const uint32_t item = groups.item(k);
      const int64_t t = triangle_of(item);
      const uint32_t mask = per_corner ? 1u << (item % 3) : item & 7u;
      // The corners of one triangle in one slot are consecutive: the
      // triangle's terms are computed once for all of them.
      if (t != tc.triangle) {
        tc.triangle = t;
        for (int j = 0; j < 3; ++j) {
          tc.node[j] = in.node(t, j);
          tc.q[j] = nb.normalise(in.position(tc.node[j]));
        }
        terms = fold.terms(tc);
      }
      for (int c = 0; c < 3; ++c)
        if (mask & (1u << c)) fold.add(rec, terms, tc, c);
    }
  }
  return PassResult::Done;
}

// Runs solve(record, key) on every slot, empty ones included (their count is
// zero and the policy skips them); returns the sum of its results.
template <class Table, class Solve>
int64_t solveSlots(Table& table, const Solve& solve) {
  const uint64_t slots = table.slotCount();
  int64_t solved = 0;
#pragma omp parallel for schedule(static) reduction(+ : solved)
  for (uint64_t s = 0; s < slots; ++s) {
    auto& slot = table.slot(s);
    solved += solve(slot.rec, slot.key);
  }
  return solved;
}

// Zeroes the record of every slot; keys stay.
template <class Table>
void clearRecords(Table& table) {
  const uint64_t slots = table.slotCount();
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slots; ++s) {
    auto& rec = table.slot(s).rec;
    std::memset(static_cast<void*>(&rec), 0, sizeof(rec));
  }
}

}  // namespace Tavrin
