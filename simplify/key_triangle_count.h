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

// The largest grid whose three cell keys pack into 128 bits.
constexpr int32_t kMaxKeyCountGrid = 16384;

class KeyTriangleCount {
 public:
  // The normalisation of the nodes, made once for every grid counted.
  KeyTriangleCount(const float* coords, int64_t node_count);

  // Sets up the grid of `grid_size` cells per axis exactly as a handler
  // does and keys every node; forgets the triangles added so far. False
  // for a grid above kMaxKeyCountGrid or no nodes.
  bool setGrid(int32_t grid_size);

  // One block of triangles (three node numbers at the start of every
  // `stride`), in any order; false on a node number out of range.
  bool add(const int32_t* triangles, int64_t count, int32_t stride);

  // The number of distinct triples of different cells among the blocks.
  int64_t triangles();

 private:
  const float* coords_;
  int64_t node_count_;
  NormalizationBox normalisation_;
  Box bounds_;
  ClusterGrid grid_;
  int key_bits_ = 0;
  std::vector<uint64_t> key_;               // per node
  std::vector<unsigned __int128> triples_;  // packed sorted cell keys, one per survivor
};

}  // namespace Tavrin
