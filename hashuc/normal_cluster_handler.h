// The common body of the normal-aware handlers: the grid is in octant mode,
// every node carries a normal (the sum of the unit normals of its triangles),
// and a node belongs to the sub-cluster of its cell whose octant matches its
// normal, key (CellKey << 3) | octant. So surfaces of a cell that face
// different ways (the two sides of a thin sheet, the faces at a sharp edge)
// land in different records and keep apart in the output. The grid is set
// up at creation; the occupied sub-clusters and the table follow once the
// node normals exist (initialiseWithNormals).
#pragma once

#include <cstdint>
#include <vector>

#include "hashuc/cluster_handler.h"
#include "hashuc/handler_memory.h"
#include "hashuc/node_normals.h"

namespace Tavrin {

template <class Table, class Policy>
class NormalClusterHandler : public ClusterHandler<Table, Policy> {
  using Base = ClusterHandler<Table, Policy>;

 public:
  void releaseCells() override {
    Base::releaseCells();
    std::vector<Vec3>().swap(normals_);
  }

  double setUpGrid(int32_t grid_size, const float* coords, int32_t node_count,
                   int32_t components) override {
    this->node_count_ = node_count;
    return this->space_.setUpGrid(grid_size, coords, node_count, components, 1);
  }

  // The cells need node normals: everything happens in initialiseWithNormals.
  void initialise(int32_t, const float*, int32_t, int32_t) override {}

  void initialiseWithNormals(int32_t grid_size, const float* coords, int32_t node_count,
                             int32_t components, const int32_t* triangles, int32_t triangle_count,
                             int32_t triangle_stride) override {
    Base::releaseCells();  // the normals stay
    setUpGrid(grid_size, coords, node_count, components);
    if (normals_.size() != static_cast<size_t>(node_count))
      computeNodeNormals(coords, node_count, components, triangles, triangle_count,
                         triangle_stride);
    // Without triangles there are no normals; every node is then in octant 0.
    if (normals_.size() != static_cast<size_t>(node_count)) normals_.assign(node_count, Vec3{});
    collectOccupiedCells(this->space_, coords, node_count, components, normals_.data());
    this->buildTable();
  }

  void computeNodeNormals(const float* coords, int32_t node_count, int32_t components,
                          const int32_t* triangles, int32_t triangle_count,
                          int32_t triangle_stride) override {
    computeNodeNormalSums(coords, node_count, components, triangles, triangle_count,
                          triangle_stride, normals_);
  }

  const std::vector<Vec3>& nodeNormals() const { return normals_; }

 protected:
  // A node's sub-cluster: its cell and the octant of its normal.
  bool mapNodes(const float* coords, int64_t node_count, int32_t components) override {
    if (static_cast<int64_t>(normals_.size()) < node_count) return false;
    const ClusterGrid& grid = this->space_.grid;
    const Vec3* normal = normals_.data();
    return mapNodesToSlots(
        *this->table_, this->space_.normalisation,
        [&](const Vec3& q, int64_t i) { return grid.key(q, normal[i]); }, coords, node_count,
        components, this->map_);
  }

  // 176 bytes of handler, 216 with a table, plus the table's buckets and the keys.
  uint64_t reportedBytes(uint64_t bucket_data) const {
    return cuckooHandlerBytes(176, this->table_.get(), bucket_data, this->space_.cellKeys.size());
  }

  std::vector<Vec3> normals_;
};

}  // namespace Tavrin
