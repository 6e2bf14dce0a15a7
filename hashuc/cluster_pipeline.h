// The per-cell passes every clustering handler runs over its cell table:
// folding the triangles into the records of their corners' cells, solving
// every record, and clearing the records.
//
// Accumulation is reproducible: the corners (item 3i+c is corner c of
// triangle i) are grouped by the slot of their node's cell, keeping input
// order, and then each slot sums its own corners in that order without any
// lock. That is exactly the sum one thread walking the triangles in order
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

// Groups the corners of `in` by slot; a corner whose node is outside the
// map (or has no slot) fails the grouping, `bad_triangle` names its triangle.
inline PassResult groupCorners(const TriangleInput& in, const NodeSlots& map, uint64_t slot_count,
                               SlotGroups& groups, int64_t& bad_triangle) {
  const uint64_t n = map.slot.size();
  const uint32_t* node_slot = map.slot.data();
  auto slot_of = [&](uint64_t item) -> uint32_t {
    const uint32_t node = static_cast<uint32_t>(in.node(static_cast<int64_t>(item / 3), item % 3));
    return node < n ? node_slot[node] : kNoSlot;
  };
  if (groups.build(slot_count, 3 * static_cast<uint64_t>(in.count), slot_of)) return PassResult::Done;
  bad_triangle = static_cast<int64_t>(groups.firstBadItem() / 3);
  return PassResult::BadNode;
}

// Folds every triangle of `in` into the records of its corners' slots.
template <class Table, class Fold>
PassResult accumulateTriangles(Table& table, const NormalizationBox& nb, const NodeSlots& map,
                               const TriangleInput& in, const Fold& fold, int64_t& bad_triangle) {
  SlotGroups groups;
  const uint64_t slots = table.slotCount();
  PassResult r = groupCorners(in, map, slots, groups, bad_triangle);
  if (r != PassResult::Done) return r;
#pragma omp parallel for schedule(static)
  for (uint64_t s = 0; s < slots; ++s) {
    const uint32_t b = groups.begin(s), e = groups.end(s);
    if (b == e) continue;
    auto& rec = table.slot(s).rec;
    TriangleCorners tc;
    tc.triangle = -1;
    typename Fold::Terms terms{};
    for (uint32_t k = b; k < e; ++k) {
      const uint32_t item = groups.item(k);
      const int64_t t = item / 3;
      const int c = static_cast<int>(item % 3);
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
      fold.add(rec, terms, tc, c);
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
