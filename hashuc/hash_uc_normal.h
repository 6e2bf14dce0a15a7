// HashUCNormal: quadric clustering where every cell is split into up to
// eight sub-clusters by the octant of the node normals, and every
// sub-cluster is solved on its own (its own quadric, its own output node).
#pragma once

#include <array>

#include "hashuc/hash_uc.h"
#include "hashuc/normal_cluster_handler.h"

namespace Tavrin {

struct NormalQefPolicy : QefPolicy<QefRecord> {
  // Sub-cluster key as float, status, count, 0, 0, error.
  static constexpr std::array<int, 6> kExportFields{0, 1, 2, 3, 4, 13};
};

class HashUCNormal final
    : public NormalClusterHandler<TwoLevelCuckooTable<QefRecord>, NormalQefPolicy> {
 public:
  simp_type type() const override { return HASH_UC_NORMAL; }
  uint64_t memoryBytes() const override { return reportedBytes(14); }
};

}  // namespace Tavrin
