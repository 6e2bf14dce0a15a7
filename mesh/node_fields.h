// Per-node fields derived from the triangles: node normals and the boundary
// marks. Both are formed so that the result does not depend on the number of
// threads: every normal sums its triangles in triangle order, and a boundary
// mark depends only on how often each edge is used.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/object.h"

namespace Tavrin {

// Unit normal of every node: the sum of the unit normals of its triangles in
// triangle order (a triangle that uses the node twice counts twice),
// normalised. A triangle with a corner outside the nodes adds a zero normal
// to its other corners. `normals` is resized to the node count.
void node_normals(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
                  std::vector<Vec3>& normals);

// The sums behind node_normals, for both roads: adds to sums[v] the unit
// normal of each of the `count` triangles (three node numbers at the start
// of every `stride` int32s) that uses node v, in triangle order. The road in
// memory passes all its triangles at once, the streamed road its blocks in
// file order, so every node receives the same additions in the same order
// on both. A triangle with a corner outside the nodes adds a zero normal to
// its other corners.
void add_node_normals(const Vec3* nodes, int64_t num_nodes, const int32_t* triangles, int64_t count,
                      int32_t stride, Vec3* sums);

// Marks with 1000 the nodes that lie on an edge used by exactly one triangle
// side (a side of a degenerate triangle that repeats another side counts
// twice; a side from a node to itself is an edge of its own) and 0 the
// others; `values` is resized to `num_nodes`. Returns whether any node was
// marked. Memory that runs short ends it with std::bad_alloc on the
// calling thread, whichever thread ran out.
bool boundary_values(const std::vector<TriangleRecord>& triangles, int64_t num_nodes,
                     std::vector<float>& values);

}  // namespace Tavrin
