// The per-cell passes every clustering handler runs over its cell table:
// folding the triangles into the records of their corners' cells, solving
// every record, and clearing the records.
//
// Accumulation is reproducible: every slot belongs to one thread, which
// walks the triangles in input order and adds the corners that fall in its
// slots. That is exactly the sum one thread walking the triangles in order
// would form, in 32-bit floats, whatever the number of threads.
//
// What a corner adds is the handler's business, given as a fold policy:
//   using Terms = ...;                                  // what a triangle adds per corner
//   Terms terms(const TriangleCorners&) const;          // once per triangle and thread
//   void add(Record&, const Terms&, const TriangleCorners&, int corner) const;
#pragma once

#include <cstdint>
#include <cstring>

#include "hashuc/grid.h"
#include "hashuc/node_slots.h"
#include "hashuc/slot_crossings.h"
#include "tables/slot_partition.h"

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

enum class PassResult { Done, BadNode, NoMemory };

// A fold may also offer the terms of several triangles at once:
//   static constexpr int kBatch;                              // > 1
//   void termsBatch(const TriangleCorners*, Terms*) const;   // kBatch of each
template <class Fold>
constexpr int foldBatch() {
  if constexpr (requires { Fold::kBatch; }) return Fold::kBatch;
  return 1;
}
template <class Fold>
inline constexpr int kFoldBatch = foldBatch<Fold>();

// Folds every triangle of `in` into the records of its corners' slots.
//
// The slots are split into one part per thread (SlotPartition). A first
// pass lists for every part the triangles with a corner in its slots (and
// finds a corner whose node is outside the map: `bad_triangle` then names
// the first such triangle), and notes the triangles that cross cells in
// `crossings` when given. Then each thread walks its own list in order and
// folds the corners that lie in its own part. A slot thus sums its corners
// triangle by triangle, corner 0, 1, 2, exactly as one thread would, and
// the triangles are read in input order, so the scattered reads of their
// nodes can be fetched well ahead of the arithmetic. With one part the
// single thread walks all triangles and no list is made.
template <class Table, class Fold>
PassResult accumulateTriangles(Table& table, const NormalizationBox& nb, const NodeSlots& map,
                               const TriangleInput& in, const Fold& fold, int64_t& bad_triangle,
                               SlotCrossings* crossings = nullptr) {
  const uint32_t* node_slot = map.slot.data();
  const uint64_t slots = table.slotCount();
  const int64_t count = in.count;
  const SlotPartition partition(slots);
  const bool one_part = partition.parts() == 1;
  PartTriangles shares;
  const int64_t bad = classifyTriangles(in.triangles, count, in.stride, map, slots, &partition,
                                        one_part ? nullptr : &shares, crossings);
  if (bad < count) {
    bad_triangle = bad;
    return PassResult::BadNode;
  }

  partition.forEachPart([&](int p) {
    // Triangles are folded in batches when the fold computes several
    // triangles' terms at once; the corners are still added in order.
    constexpr int B = kFoldBatch<Fold>;
    TriangleCorners tc[B];
    uint32_t slot[B][3];
    typename Fold::Terms terms[B];
    int k = 0;
    auto flush = [&](int m) {
      if constexpr (B > 1) {
        for (int i = m; i < B; ++i) tc[i] = tc[0];  // padding lanes, not added
        fold.termsBatch(tc, terms);
      } else {
        terms[0] = fold.terms(tc[0]);
      }
      for (int i = 0; i < m; ++i)
        for (int c = 0; c < 3; ++c)
          if (one_part || partition.part(slot[i][c]) == p)
            fold.add(table.slot(slot[i][c]).rec, terms[i], tc[i], c);
    };
    // Folds the triangles tri(0) .. tri(n - 1). The nodes of a triangle kFar
    // ahead and the records of one kNear ahead are fetched early; both lie
    // at scattered places.
    auto walk = [&](int64_t n, auto tri) {
      constexpr int64_t kFar = 24, kNear = 8;
      for (int64_t j = 0; j < n; ++j) {
        if (j + kFar < n)
          for (int c = 0; c < 3; ++c) {
            const int32_t later = in.node(tri(j + kFar), c);
            __builtin_prefetch(in.coords + static_cast<int64_t>(later) * in.components);
            __builtin_prefetch(node_slot + later);
          }
        if (j + kNear < n)
          for (int c = 0; c < 3; ++c) {
            const uint32_t s = node_slot[in.node(tri(j + kNear), c)];
            if (one_part || partition.part(s) == p) __builtin_prefetch(&table.slot(s));
          }
        const int64_t t = tri(j);
        TriangleCorners& x = tc[k];
        x.triangle = t;
        for (int c = 0; c < 3; ++c) {
          x.node[c] = in.node(t, c);
          slot[k][c] = node_slot[x.node[c]];
          x.q[c] = nb.normalise(in.position(x.node[c]));
        }
        if (++k == B) {
          flush(B);
          k = 0;
        }
      }
    };
    if (one_part) {
      walk(count, [](int64_t j) { return j; });
    } else {
      for (int blk = 0; blk < shares.blocks; ++blk) {
        const int32_t* list = shares.of(blk, p).data();
        walk(static_cast<int64_t>(shares.of(blk, p).size()),
             [list](int64_t j) { return static_cast<int64_t>(list[j]); });
        std::vector<int32_t>().swap(shares.list[static_cast<size_t>(blk) * shares.parts + p]);
      }
    }
    if (k > 0) flush(k);
  });
  return PassResult::Done;
}

// Runs solve(record, key) on every slot, empty ones included (their count is
// zero and the policy skips them); returns the sum of its results. When
// `solved` is given, solved[s] is set to whether slot s's solve gave 1: a
// policy's solve gives 0 exactly when no triangle corner reached the slot.
template <class Table, class Solve>
int64_t solveSlots(Table& table, const Solve& solve, uint8_t* solved = nullptr) {
  const uint64_t slots = table.slotCount();
  int64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count)
  for (uint64_t s = 0; s < slots; ++s) {
    auto& slot = table.slot(s);
    const int one = solve(slot.rec, slot.key);
    if (solved) solved[s] = static_cast<uint8_t>(one != 0);
    count += one;
  }
  return count;
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
