// Decimation with a built octree: every vertex goes to the coarsest cell on
// its octree path whose error does not exceed the maximum error; triangles
// are remapped to those clusters, collapsed ones become line segments (when
// no surviving triangle has that edge) or vanish, and duplicates are dropped.
#pragma once

#include <cstdint>
#include <vector>

#include "mesh/object.h"
#include "octree/octree.h"

namespace Tavrin {

// Output in normalised coordinates.
struct OctreeDecimation {
  std::vector<Vec3> vertices;                // one per cluster, by cluster number
  std::vector<TriangleRecord> triangles;     // tag: the source triangle
  std::vector<LineRecord> lines;             // (a, b) with a < b, source 0
  std::vector<OctreeCluster> node_clusters;  // the cluster of every input node
};

struct OctreeDecimationTimes {
  double clusters = 0.0;  // assigning vertices to clusters and numbering them
  double elements = 0.0;  // the triangle pass
  double rest = 0.0;      // extraction of the outputs and vertex positions
};

// nodes: the normalised nodes the octree was built from; triangles: the
// object's triangles. Nodes used by no triangle join no cluster.
void decimate_octree(const Octree& octree, float max_error, const std::vector<Vec3>& nodes,
                     const std::vector<TriangleRecord>& triangles, OctreeDecimation& out,
                     OctreeDecimationTimes& times);

}  // namespace Tavrin
