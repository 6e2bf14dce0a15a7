// The cell store behind each level of the octree: maps the key of every
// occupied cell to its quadric record, accumulates triangle quadrics into it
// and solves every cell for its representative position and error. Abstract,
// so that the octree could keep its cells in another kind of store.
#pragma once

#include <cstdint>

#include "base/vec3.h"
#include "hashuc/grid.h"
#include "hashuc/qef.h"
#include "mesh/object.h"

namespace Tavrin {

class SimplifyInterface {
 public:
  // Builds the store for n distinct keys, all records zero. Returns n on
  // success, 0 when the store could not be built (it is then unusable).
  virtual int32_t build(const uint64_t* keys, int32_t n) { return keys && n != 0 ? 1 : 0; }
  // Adds all fourteen floats of record to the key's record (locked).
  virtual void add(uint64_t key, const QefRecord& record) = 0;
  // Solves every cell; returns the number of occupied cells solved.
  virtual int32_t solve_all(const ClusterGrid& grid) = 0;
  // The key's record, or nullptr when the key is not stored (no lock taken).
  virtual const QefRecord* find(uint64_t key) const = 0;
  // Adds the weighted plane quadric, position and a count of 1 of every
  // triangle corner to the corner's cell in grid.
  virtual void accumulate_triangles(int64_t count, const Vec3* nodes,
                                    const TriangleRecord* triangles, const ClusterGrid& grid) = 0;
  // Same as solve_all.
  virtual int32_t solve_level(const ClusterGrid& grid) = 0;
  virtual int64_t memory_bytes() const = 0;
  virtual ~SimplifyInterface() = 0;
};

inline SimplifyInterface::~SimplifyInterface() = default;

}  // namespace Tavrin
