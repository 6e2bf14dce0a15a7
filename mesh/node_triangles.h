// The triangles around every node, as one compressed array: the corners of
// all triangles grouped by node, and within a node in triangle order. Node
// normals and the boundary field are both per-node reductions over this
// grouping, so each node can be finished by one thread, lock-free, with its
// float sums formed in the same order whatever the number of threads.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mesh/object.h"

namespace Tavrin {

struct NodeTriangles {
  int64_t num_nodes = 0;
  // Triangles of node v: triangle[first[v]] .. triangle[first[v + 1] - 1],
  // ascending; a triangle that uses the node twice appears twice.
  std::unique_ptr<int64_t[]> first;
  std::unique_ptr<int32_t[]> triangle;
};

// Groups the corners of `triangles` by node. Corners whose node is outside
// 0..num_nodes-1 are left out.
NodeTriangles group_triangles_by_node(const std::vector<TriangleRecord>& triangles,
                                      int64_t num_nodes);

// Unit normal of every node: the sum of the unit normals of its triangles in
// triangle order, normalised. `normals` is resized to the node count.
void node_normals(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                  const NodeTriangles& groups, std::vector<Vec3>& normals);

// Marks with 1000 the nodes that lie on an edge used by exactly one triangle
// (counting each triangle side once, so a side of a degenerate triangle that
// repeats another side counts twice) and 0 the others. Returns whether any
// node was marked.
bool boundary_values(const std::vector<TriangleRecord>& triangles, const NodeTriangles& groups,
                     std::vector<float>& values);

// Both of the above in one pass over the nodes (either may be null); returns
// whether any node was marked.
bool node_fields(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                 const NodeTriangles& groups, std::vector<Vec3>* normals,
                 std::vector<float>* boundary);

}  // namespace Tavrin
