// How many triangles the result at a grid has, counted from the node keys
// alone: no quadric, no solve, no output assembly. A source triangle
// survives when its corners lie in three different cells, and survivors
// over the same three cells make one output triangle, so the count is the
// number of distinct cell triples. This is the exact count for every type
// whose output nodes are the occupied cells; the normal-aware types split a
// cell by node normal and may give more.
#pragma once

#include <cstdint>
#include <vector>

#include "hashuc/grid.h"

namespace Tavrin {

class KeyTriangleCount {
 public:
  // Sets the grid up on the nodes exactly as a handler does and finds the
  // occupied cell of every node.
  KeyTriangleCount(int32_t grid_size, const float* coords, int64_t node_count);

  int64_t cells() const { return space_.cellCount(); }

  // One block of triangles (three node numbers at the start of every
  // `stride`), in any order; false on a node number out of range.
  bool add(const int32_t* triangles, int64_t count, int32_t stride);

  // The number of distinct triples of different cells among the blocks.
  int64_t triangles() const;

 private:
  ClusterSpace space_;
  int64_t node_count_;
  std::vector<uint32_t> triples_;  // a < b < c cell numbers, three per survivor
};

}  // namespace Tavrin
