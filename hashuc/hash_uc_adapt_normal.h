// HashUCNormal2 and HashUCAdaptNormal_T<QefAccNormalInfo>: normal-aware
// clustering that splits every cell into sub-clusters by the octant of the
// node normals, as HashUCNormal does, but also keeps each sub-cluster's
// average normal and merges the sub-clusters of a cell back into one when
// those normals agree. A cell whose surface merely straddles an octant
// boundary thus keeps one output node, while a thin sheet or a sharp edge
// (normals more than 120 degrees apart) keeps one node per side.
//
// The merge: a cell with 2 to 4 occupied sub-clusters whose unit average
// normals are pairwise at least kNormalMergeCosine apart (dot product) sums
// their records into one, solves it once and writes it back into each of
// them with marker -2; every other occupied sub-cluster (a single one, five
// or more, or a pair pointing apart) is solved alone, marker -1. One task
// decides and writes all sub-clusters of a cell: the one that meets the
// cell's smallest present sub-key.
//
// Output numbers are given once, right after the solve, walking the key
// array in order: a lone sub-cluster gets the next number, a merged cell the
// next number for all its sub-clusters. The numbering is kept, so that the
// value passes after a reset of the records (which clears the markers) still
// see the same output nodes; there the nodes of a merged cell are averaged
// together.
#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "hashuc/hash_uc.h"
#include "hashuc/normal_cluster_handler.h"

namespace Tavrin {

// Eighteen floats after the key.
//   0..13 as QefRecord (quadric terms, corner sum, corner count; after the
//         solve: key, status, count, cell key, octant, ..., number, point, error)
//   14..16 sum of the unit normals of the triangles whose corners were added
//   17     corners added; after the solve the marker: -1 solved alone,
//          -2 part of a merged cell (-3 briefly while numbering)
struct QefAccNormalInfo {
  float v[18];
};
static_assert(sizeof(QefAccNormalInfo) == 72, "QefAccNormalInfo is 72 bytes");

// Cosine of the largest angle between the average normals of merged
// sub-clusters: 120 degrees, about -0.5.
inline const float kNormalMergeCosine = std::cos(2.0943952f);

inline constexpr float kSolvedAlone = -1.0f;
inline constexpr float kMerged = -2.0f;
inline constexpr float kMergedNumbered = -3.0f;

// Unit normal of the triangle q0 q1 q2, zero when a third of its area is not
// above eps: the plane normal trianglePlaneQuadric uses, computed the same way.
inline Vec3 triangleUnitNormal(const Vec3& q0, const Vec3& q1, const Vec3& q2, float eps) {
  const Vec3 N = cross(q1 - q0, q2 - q0);
  const float len =
      static_cast<float>(std::sqrt(static_cast<double>(N.x) * N.x + static_cast<double>(N.y) * N.y +
                                   static_cast<double>(N.z) * N.z));
  if (!(eps < len / 6.0f)) return Vec3{};
  return {N.x / len, N.y / len, N.z / len};
}

template <class R>
struct AdaptNormalPolicy {
  using Record = R;
  static constexpr int kNumberField = 7;
  static constexpr int kPointField = 10;
  static constexpr int kValueField = 0;
  static constexpr int kValueCountField = 6;
  static constexpr int kOneValueCountField = 3;
  static constexpr int kCountField = 13;
  static constexpr int kNormalSumField = 14;
  static constexpr int kMarkerField = 17;
  // Sub-cluster key as float, status, count, cell key as float, octant, error.
  static constexpr std::array<int, 6> kExportFields{0, 1, 2, 3, 4, 13};

  struct Fold {
    struct Terms {
      PlaneQuadric quadric;
      Vec3 normal;
    };
    float eps;
    Terms terms(const TriangleCorners& t) const {
      return {trianglePlaneQuadric(t.q[0], t.q[1], t.q[2], eps),
              triangleUnitNormal(t.q[0], t.q[1], t.q[2], eps)};
    }
    // The quadric corner of QefRecord, then the normal and its count.
    void add(Record& r, const Terms& t, const TriangleCorners& c, int corner) const {
      for (int i = 0; i < 10; ++i) r.v[i] += t.quadric.t[i];
      r.v[10] += c.q[corner].x;
      r.v[11] += c.q[corner].y;
      r.v[12] += c.q[corner].z;
      r.v[13] += 1.0f;
      r.v[14] += t.normal.x;
      r.v[15] += t.normal.y;
      r.v[16] += t.normal.z;
      r.v[17] += 1.0f;
    }
  };
  static Fold fold(const ClusterSpace& space) {
    return Fold{QefPolicy<QefRecord>::fold(space).eps};
  }

  // The quadric solve of the first fourteen fields with the given count.
  static void solveWithCount(Record& r, uint64_t subkey, const ClusterGrid& grid) {
    if (!(r.v[kCountField] >= 1.0f)) return;
    QefRecord q;
    std::memcpy(q.v, r.v, sizeof(q.v));
    solveCell(q, subkey, static_cast<int>(r.v[kCountField]), grid);
    std::memcpy(r.v, q.v, sizeof(q.v));
  }
  // One sub-cluster alone (the form a per-slot pass would use).
  static int solve(Record& r, uint64_t subkey, const ClusterGrid& grid) {
    if (r.v[kMarkerField] == 0.0f) return 0;
    solveWithCount(r, subkey, grid);
    r.v[kMarkerField] = kSolvedAlone;
    return 1;
  }

  // Decides and solves the sub-clusters of one cell together; slot[o] is
  // the slot of octant o or null. Returns the number of occupied ones.
  template <class Slot>
  static int solveCellGroup(Slot* const slot[8], const ClusterGrid& grid) {
    int occupied[8], n = 0;
    for (int o = 0; o < 8; ++o)
      if (slot[o] && slot[o]->rec.v[kMarkerField] != 0.0f) occupied[n++] = o;
    bool merge = n >= 2 && n <= 4;
    if (merge) {
      Vec3 d[4];
      for (int i = 0; i < n; ++i) {
        const float* s = slot[occupied[i]]->rec.v + kNormalSumField;
        d[i] = unitLength(Vec3(s[0], s[1], s[2]));
      }
      for (int i = 0; i < n && merge; ++i)
        for (int j = i + 1; j < n; ++j)
          if (!(dot(d[i], d[j]) >= kNormalMergeCosine)) merge = false;
    }
    if (!merge) {
      for (int i = 0; i < n; ++i) solve(slot[occupied[i]]->rec, slot[occupied[i]]->key, grid);
      return n;
    }
    Record sum{};
    for (int i = 0; i < n; ++i)
      for (int f = 0; f < 18; ++f) sum.v[f] += slot[occupied[i]]->rec.v[f];
    solveWithCount(sum, slot[occupied[0]]->key, grid);
    sum.v[kMarkerField] = kMerged;
    for (int i = 0; i < n; ++i) slot[occupied[i]]->rec = sum;
    return n;
  }
};

template <class Record>
class AdaptNormalHandler
    : public NormalClusterHandler<TwoLevelCuckooTable<Record>, AdaptNormalPolicy<Record>> {
  using Table = TwoLevelCuckooTable<Record>;
  using Policy = AdaptNormalPolicy<Record>;
  using Base = NormalClusterHandler<Table, Policy>;

 public:
  void releaseCells() override {
    Base::releaseCells();
    forgetNumbering();
  }

  int32_t solve() override {
    forgetNumbering();
    if (!this->table_) return 0;
    Table& table = *this->table_;
    const ClusterGrid& grid = this->space_.grid;
    const std::vector<uint64_t>& keys = this->space_.cellKeys;
    const int64_t n = static_cast<int64_t>(keys.size());
    int64_t handled = 0;
#pragma omp parallel for schedule(static) reduction(+ : handled)
    for (int64_t j = 0; j < n; ++j) {
      typename Table::Slot* slot[8];
      const uint64_t base = keys[j] & ~uint64_t{7};
      int first = -1;
      for (int o = 0; o < 8; ++o) {
        const int64_t s = table.find_index(base + o);
        slot[o] = s < 0 ? nullptr : &table.slot(s);
        if (s >= 0 && first < 0) first = o;
      }
      if (base + first != keys[j]) continue;  // another key of the cell owns it
      handled += Policy::solveCellGroup(slot, grid);
    }
    if (!numberFromMarkers()) {
      this->fail("Simplification failed: an occupied cell is missing from the cell table.\n");
      return 0;
    }
    return static_cast<int32_t>(handled);
  }

 protected:
  void buildTable() override {
    forgetNumbering();
    Base::buildTable();
  }

  // Replays the numbering made after the solve into the records.
  bool number(OutputNumbering& numbering) override {
    Table& table = *this->table_;
    const int64_t n = static_cast<int64_t>(numbered_.size());
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < n; ++i)
      setNodeNumber(table.slot(numbered_[i].first).rec.v + Policy::kNumberField,
                    numbered_[i].second);
    numbering = numbering_;
    return true;
  }

  // The nodes of a merged cell are summed in the slot of its output node.
  const NodeSlots& valueSlots() override {
    const Table& table = *this->table_;
    std::vector<uint32_t> alias(table.slotCount());
    for (uint64_t s = 0; s < alias.size(); ++s) alias[s] = static_cast<uint32_t>(s);
    for (const auto& [slot, number] : numbered_) alias[slot] = numbering_.output_slot[number];
    const std::vector<uint32_t>& own = this->map_.slot;
    value_map_.slot.resize(own.size());
    const int64_t nodes = static_cast<int64_t>(own.size());
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < nodes; ++i) value_map_.slot[i] = alias[own[i]];
    return value_map_;
  }

 private:
  void forgetNumbering() {
    numbering_.output_slot.clear();
    numbered_.clear();
    value_map_.clear();
  }

  // Walks the key array in order: -1 takes the next number, -2 gives the
  // next number to every merged sub-cluster of its cell (marked -3 until the
  // end, so the cell is numbered once).
  bool numberFromMarkers() {
    Table& table = *this->table_;
    constexpr int kMarker = Policy::kMarkerField;
    int32_t next = 0;
    for (uint64_t key : this->space_.cellKeys) {
      const int64_t s = table.find_index(key);
      if (s < 0) return false;
      const float marker = table.slot(s).rec.v[kMarker];
      if (marker == kSolvedAlone) {
        numbered_.emplace_back(static_cast<uint32_t>(s), next);
      } else if (marker == kMerged) {
        const uint64_t base = key & ~uint64_t{7};
        for (int o = 0; o < 8; ++o) {
          const int64_t t = table.find_index(base + o);
          if (t < 0 || table.slot(t).rec.v[kMarker] != kMerged) continue;
          table.slot(t).rec.v[kMarker] = kMergedNumbered;
          numbered_.emplace_back(static_cast<uint32_t>(t), next);
        }
      } else {
        continue;  // no corners, or a merged cell numbered already
      }
      numbering_.output_slot.push_back(static_cast<uint32_t>(s));
      ++next;
    }
    for (const auto& entry : numbered_) {
      float& marker = table.slot(entry.first).rec.v[kMarker];
      if (marker == kMergedNumbered) marker = kMerged;
    }
    OutputNumbering ignored;
    return number(ignored);
  }

  OutputNumbering numbering_;                           // representative slot per output node
  std::vector<std::pair<uint32_t, int32_t>> numbered_;  // every numbered slot and its number
  NodeSlots value_map_;
};

class HashUCNormal2 final : public AdaptNormalHandler<QefAccNormalInfo> {
 public:
  simp_type type() const override { return HASH_UC_ADAPT_NORMAL; }
  uint64_t memoryBytes() const override { return reportedBytes(14); }
};

template <class Record>
class HashUCAdaptNormal_T final : public AdaptNormalHandler<Record> {
 public:
  simp_type type() const override { return HASH_UC_TEMP_NORMAL; }
  uint64_t memoryBytes() const override { return this->reportedBytes(15); }
};

}  // namespace Tavrin
