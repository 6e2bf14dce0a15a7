// The clustering grid shared by every handler: nodes are mapped into the cube
// [-1, 1]^3 around their bounding box (NormalizationBox), the cube is cut
// into n x n x n cells (ClusterGrid), and a cell is named by the 64-bit key
// ix + nx * (iy + ny * iz) (CellKey), optionally extended by the octant of a
// node normal (8 * key + octant) for the normal-aware handlers.
#pragma once

#include <cstdint>
#include <vector>

#include "base/vec3.h"

namespace Tavrin {

// Bounding box of n points of `stride` floats each (the first node
// initialises both corners); an empty box for n = 0.
Box boundingBox(const float* coords, int64_t n, int stride);

struct NormalizationBox {
  Vec3 box_min{kLargestFloat, kLargestFloat, kLargestFloat};
  Vec3 box_max{-kLargestFloat, -kLargestFloat, -kLargestFloat};
  Vec3 centre;
  Vec3 half_extent;
  Vec3 inverse_half_extent;

  // Cube around the box; half extents of 1 when the box is a single point.
  void compute(const Box& box);
  Vec3 normalise(const Vec3& p) const {
    return {(p.x - centre.x) * inverse_half_extent.x, (p.y - centre.y) * inverse_half_extent.y,
            (p.z - centre.z) * inverse_half_extent.z};
  }
  Vec3 normalise(const float* p) const { return normalise(Vec3(p[0], p[1], p[2])); }
  Vec3 denormalise(const Vec3& q) const {
    return {centre.x + q.x * half_extent.x, centre.y + q.y * half_extent.y,
            centre.z + q.z * half_extent.z};
  }
};

// Bounding box of the normalised positions (parallel; starts at the origin).
Box normalisedBounds(const NormalizationBox& nb, const float* coords, int64_t n, int stride);

// Octant of a direction: 4 [x < 0] + 2 [y < 0] + [z < 0], NaN counting as negative.
inline uint32_t octant_of(const Vec3& d) {
  return (!(d.x >= 0.0f) ? 4u : 0u) | (!(d.y >= 0.0f) ? 2u : 0u) | (!(d.z >= 0.0f) ? 1u : 0u);
}

struct ClusterGrid {
  int32_t mode = 0;  // 0 plain keys; 1 keys extended by a normal's octant
  int32_t nx = 0, ny = 0, nz = 0;
  float epsilon = 0.0f;
  Vec3 min, max;
  Vec3 cell_size;
  Vec3 inverse_cell_size;

  // Sets the grid up around the normalised bounds; returns the cell diagonal.
  double setUp(const Box& normalised_bounds, int32_t cells_x, int32_t cells_y, int32_t cells_z,
               int32_t grid_mode);

  // Cell indices of a normalised position, clamped into the grid so that a
  // position on the very edge of float precision still names a real cell.
  void indices(const Vec3& q, int64_t& ix, int64_t& iy, int64_t& iz) const {
    ix = cell_index((q.x - min.x) * inverse_cell_size.x, nx);
    iy = cell_index((q.y - min.y) * inverse_cell_size.y, ny);
    iz = cell_index((q.z - min.z) * inverse_cell_size.z, nz);
  }
  // CellKey of a normalised position.
  uint64_t key(const Vec3& q) const {
    int64_t ix, iy, iz;
    indices(q, ix, iy, iz);
    return static_cast<uint64_t>(static_cast<int64_t>(nx) * (static_cast<int64_t>(ny) * iz + iy) +
                                 ix);
  }
  // Sub-cluster key: the cell key extended by the octant of a direction.
  uint64_t key(const Vec3& q, const Vec3& direction) const {
    return 8 * key(q) + octant_of(direction);
  }
  // Whether q lies in the cell of `key` (bounds included); in octant mode the
  // key is first shifted right by three bits.
  bool contains(uint64_t key, const Vec3& q) const;

 private:
  // The cell of a position in cell units, clamped into 0..n-1 before the
  // conversion: a value beyond the integer range, or NaN (from a bounding
  // box no float can scale), must not reach the conversion.
  static int64_t cell_index(float v, int32_t n) {
    if (!(v >= 1.0f)) return 0;  // below the second cell, or NaN
    if (!(v < static_cast<float>(n))) return n - 1;
    const int64_t i = static_cast<int64_t>(v);
    return i >= n ? n - 1 : i;
  }
};

// The geometry every handler keeps: normalisation, grid and the distinct
// occupied cells. The position of a key in cellKeys is the number of the
// output node of that cell.
struct ClusterSpace {
  NormalizationBox normalisation;
  ClusterGrid grid;
  std::vector<uint64_t> cellKeys;
  // The position in cellKeys of every node's cell, as the last collection
  // found it for the coordinates nodeCellCoords (stride nodeCellStride), so
  // that the node map looks every cell up once instead of every node.
  std::vector<uint32_t> nodeCell;
  const float* nodeCellCoords = nullptr;
  int nodeCellStride = 0;

  void forgetNodeCells() {
    std::vector<uint32_t>().swap(nodeCell);
    nodeCellCoords = nullptr;
    nodeCellStride = 0;
  }

  int32_t cellCount() const { return static_cast<int32_t>(cellKeys.size()); }

  // Bounding box, normalisation box, normalised bounds and grid of n cells
  // per axis; returns the cell diagonal in normalised units.
  double setUpGrid(int32_t n, const float* coords, int64_t node_count, int stride, int32_t mode);
};

// Collects the distinct occupied cells of the nodes into space.cellKeys, in
// bucket order and, within a bucket, in the order of the first node that
// occupies each cell (the order one thread inserting the nodes in order into
// a hash set of that many buckets would give), and every node's position in
// it into space.nodeCell. In octant mode `normals` (one Vec3 per node) give
// the octant. Returns the number of cells.
int64_t collectOccupiedCells(ClusterSpace& space, const float* coords, int64_t node_count,
                             int stride, const Vec3* normals = nullptr);

// Bucket count estimate of the occupied-cell set for a node count and grid.
uint32_t occupiedCellBuckets(int64_t node_count, int32_t n, bool octant_mode);

}  // namespace Tavrin
