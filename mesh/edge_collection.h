// The distinct edges of a triangle list, each counted once per triangle that
// uses it. Refinement numbers its midpoints in the order of this set.
#pragma once

#include <memory>
#include <vector>

#include "mesh/edge_set.h"
#include "mesh/object.h"

namespace Tavrin {

// Every edge (smaller node, larger node) of every triangle, with its counter
// equal to the number of triangles using it. Defined in mesh/boundary.cpp.
std::unique_ptr<EdgeSet> collect_edges(const std::vector<TriangleRecord>& triangles);

}  // namespace Tavrin
