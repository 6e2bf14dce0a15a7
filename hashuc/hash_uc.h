// HashUC: vertex clustering on a uniform grid where every occupied cell sums
// the quadric error functions of the triangles around it and is replaced by
// the point that minimises them (or the mean of its corners when that point
// is not usable). The cells live in a two-level cuckoo table built once from
// the occupied cells before accumulation. HashUC_T<QefAccInfo> is the same
// handler as a class template over its cell record; only type() differs.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "hashuc/cluster_handler.h"
#include "hashuc/plane_quadric4.h"
#include "hashuc/qef.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {

using QefAccInfo = QefRecord;

// How a quadric record accumulates, solves and stores its outputs.
template <class R>
struct QefPolicy {
  using Record = R;
  static constexpr int kNumberField = 7;  // fields 7, 8 after the solve
  static constexpr int kPointField = 10;  // fields 10..12 after the solve
  static constexpr int kValueField = 0;   // value averaging: fields 0..5
  static constexpr int kValueCountField = 6;
  static constexpr int kOneValueCountField = 3;
  // Key as float, status, corner count, error.
  static constexpr std::array<int, 4> kExportFields{0, 1, 2, 13};

  struct Fold {
    using Terms = PlaneQuadric;
    static constexpr int kBatch = 4;
    float eps;
    Terms terms(const TriangleCorners& t) const {
      return trianglePlaneQuadric(t.q[0], t.q[1], t.q[2], eps);
    }
    // The terms of kBatch triangles at once, each equal to terms(t[i]).
    void termsBatch(const TriangleCorners* t, Terms* out) const {
      const Vec3* const corners[4] = {t[0].q, t[1].q, t[2].q, t[3].q};
      trianglePlaneQuadrics4(corners, eps, out);
    }
    void add(Record& r, const Terms& q, const TriangleCorners& t, int corner) const {
      addCorner(r, q, t.q[corner]);
    }
  };
  // The area threshold: 1e-30 times the diagonal of the grid box.
  static Fold fold(const ClusterSpace& space) {
    const Vec3 d = space.grid.max - space.grid.min;
    return Fold{static_cast<float>(1e-30 * std::sqrt(static_cast<double>(d.x) * d.x +
                                                     static_cast<double>(d.y) * d.y +
                                                     static_cast<double>(d.z) * d.z))};
  }
  static int solve(Record& r, uint64_t key, const ClusterGrid& grid) {
    return solveCell(r, key, grid);
  }
};

template <class Record>
class HashUCBase : public ClusterHandler<TwoLevelCuckooTable<Record>, QefPolicy<Record>> {
 public:
  // 160 bytes of handler; a table adds 40 bytes and, per bucket, its 573
  // slots, bucket data and lock; plus 8 bytes per key.
  uint64_t memoryBytes() const override {
    uint64_t bytes = 160;
    if (this->table_)
      bytes += 40 + static_cast<uint64_t>(this->table_->bucketCount()) *
                        (TwoLevelCuckooTable<Record>::kSlotsPerBucket *
                             sizeof(typename TwoLevelCuckooTable<Record>::Slot) +
                         14);
    return bytes + 8 * static_cast<uint64_t>(this->space_.cellKeys.size());
  }
};

class HashUC final : public HashUCBase<QefRecord> {
 public:
  simp_type type() const override { return HASH_UC; }
};

template <class Record>
class HashUC_T final : public HashUCBase<Record> {
 public:
  simp_type type() const override { return HASH_UC_TEMP; }
};

}  // namespace Tavrin
