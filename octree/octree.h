// The octree of the octree simplifier: six uniform grids over one grid box,
// from 64 to 2048 cells per axis, each with the quadric records of its
// occupied cells. Quadrics are accumulated at the finest level and merged
// upwards; every cell then holds a representative position and its error.
// The quadric clustering follows Lindstrom 2000, "Out-of-core simplification
// of large polygonal models"; choosing a level per region under an error
// bound follows Schaefer and Warren 2003, "Adaptive vertex clustering using
// octrees".
// Kept in the object so that a further run with another maximum error only
// repeats the decimation.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "hashuc/grid.h"
#include "mesh/object.h"
#include "octree/key_value_table.h"

namespace Tavrin {

struct OctreeLevel {
  ClusterGrid grid;
  KeyValueHashTable table;
  std::vector<uint64_t> keys;  // distinct occupied cells, bucket order
};

// Seconds spent in the phases of a build.
struct OctreeBuildTimes {
  double keys = 0.0;      // key collection
  double tables = 0.0;    // table builds
  double quadrics = 0.0;  // finest-level accumulation and upward merge
  double solve = 0.0;     // solving every cell of every level
};

// A vertex's cluster: the level and the slot of its cell in that level's table.
struct OctreeCluster {
  int32_t level = 0;
  uint32_t slot = 0;
};

class Octree final : public ObjectCache {
 public:
  static constexpr int kLevels = 6;
  static constexpr int32_t kCoarsestCells = 64;

  // Builds from normalised nodes and the triangles. Returns false (with one
  // message) when a level's table cannot be built; the octree is then unusable.
  bool build(const std::vector<Vec3>& nodes, const std::vector<TriangleRecord>& triangles,
             OctreeBuildTimes& times);

  // Whether the octree was built from a mesh of this size and box.
  bool matches(int32_t node_count, int32_t triangle_count, const Box& box) const;
  void remember_source(int32_t node_count, int32_t triangle_count, const Box& box);

  // The coarsest cell on p's path whose error does not exceed max_error; the
  // finest cell when none qualifies.
  OctreeCluster cluster_of(float max_error, const Vec3& p) const;
  const QefRecord& record(const OctreeCluster& c) const {
    return levels[c.level].table.record_at(c.slot);
  }
  uint64_t key(const OctreeCluster& c) const { return levels[c.level].table.key_at(c.slot); }

  // The smallest and largest error of the cells of a level whose error is
  // not 0; {0, 0} when there is none.
  std::pair<float, float> error_range(int level) const;

  // 192 bytes plus, per level, the table's footprint, 64, and the key array.
  int64_t memory_bytes() const;

  OctreeLevel levels[kLevels];

 private:
  void merge_into_parent(int child_level);

  int32_t source_nodes_ = -1;
  int32_t source_triangles_ = -1;
  Box source_box_;
};

}  // namespace Tavrin
