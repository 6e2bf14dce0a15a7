// HashUCScalar and HashUCScalar3: clustering like HashUC, but each output
// vertex also fits per-node values (one scalar, or three scalars such as the
// nodal normals or a colour vector). Every node is a point of a 4- or
// 6-dimensional space (normalised position and normalised values); every
// triangle adds the generalised quadric of its plane in that space (after
// Garland and Heckbert's extension of quadrics to attributes), and a cell's
// point minimises the summed quadric, giving its output position and its
// optimised output values at once. Both classes share one implementation
// templated over the number of values m.
#pragma once

#include <array>
#include <cstdint>

#include "hashuc/cluster_handler.h"
#include "hashuc/qef_extended.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {

// One scalar: 20 floats after the key.
//   0..9   axx axy axz axs ayy ayz ays azz azs ass   (upper triangle of A)
//   10     c
//   11     sum of normalised values
//   12..15 bx by bz bs
//   16..18 sum of normalised positions
//   19     corner count
struct ScalarQefRecord {
  float v[20];
};
static_assert(sizeof(ScalarQefRecord) == 80, "ScalarQefRecord is 80 bytes");

// Three scalars: 35 floats after the key.
//   0..19  upper triangle of the 6x6 A (rows x y z s1 s2 s3) without a(s3,s3)
//   20..23 b1..b4    24 a(s3,s3)    25 c    26, 27 b5, b6
//   28..30 sum of normalised positions    31 corner count
//   32..34 sums of normalised s1 s2 s3
struct Scalar3QefRecord {
  float v[35];
};
static_assert(sizeof(Scalar3QefRecord) == 140, "Scalar3QefRecord is 140 bytes");

// After the solve both records hold: 0 key as float, 1 status, 2 count,
// 3 error, the optimal normalised point in the position sums, the optimal
// normalised values in the value sums, the output node number in the first
// two entries of b (written by the numbering), zero elsewhere.

template <int M>
struct ScalarQefLayout;
template <>
struct ScalarQefLayout<1> {
  using Record = ScalarQefRecord;
  static constexpr int kLastDiagonal = 9, kC = 10, kValueSum = 11, kPositionSum = 16, kCount = 19;
  static constexpr std::array<int, 4> kB{12, 13, 14, 15};
};
template <>
struct ScalarQefLayout<3> {
  using Record = Scalar3QefRecord;
  static constexpr int kLastDiagonal = 24, kC = 25, kValueSum = 32, kPositionSum = 28, kCount = 31;
  static constexpr std::array<int, 6> kB{20, 21, 22, 23, 26, 27};
};

// How an extended record accumulates and solves; m values per node.
template <int M>
struct ScalarQefPolicy {
  using Layout = ScalarQefLayout<M>;
  using Record = typename Layout::Record;
  static constexpr int kDims = 3 + M;                     // point dimension
  static constexpr int kUpper = kDims * (kDims + 1) / 2;  // entries of A's upper triangle
  static constexpr int kNumberField = Layout::kB[0];
  static constexpr int kPointField = Layout::kPositionSum;
  static constexpr int kValueField = 0;  // value averaging: fields 0..5, count 6
  static constexpr int kValueCountField = 6;
  static constexpr int kOneValueCountField = 3;
  static constexpr std::array<int, 4> kExportFields{0, 1, 2, 3};  // key, status, count, error

  // Index of A(i, j), i <= j, in the row-by-row upper triangle.
  static constexpr int upper(int i, int j) { return i * kDims - i * (i - 1) / 2 + (j - i); }
  // Record field of A(i, j), i <= j.
  static constexpr int aField(int i, int j) {
    return i == kDims - 1 && j == kDims - 1 ? Layout::kLastDiagonal : upper(i, j);
  }

  // What one triangle adds to each of its corners, and the corners as points.
  struct Terms {
    float a[kUpper];
    float b[kDims];
    float c;
    float corner[3][kDims];
  };

  struct Fold {
    using Terms = ScalarQefPolicy::Terms;
    const float* values[M] = {};  // per node; none: every value 0
    NormalizationBox value_box;   // normalises the values

    float normalisedValue(int k, int32_t node) const {
      if (!values[k]) return 0.0f;
      const float s = values[k][node];
      // A node without a value sits at the centre of the value range.
      if (s == kNoValue) return 0.0f;
      return (s - value_box.centre[k]) * value_box.inverse_half_extent[k];
    }
    Terms terms(const TriangleCorners& t) const;
    void add(Record& r, const Terms& q, const TriangleCorners&, int corner) const {
      for (int i = 0; i < kDims; ++i)
        for (int j = i; j < kDims; ++j) r.v[aField(i, j)] += q.a[upper(i, j)];
      for (int i = 0; i < kDims; ++i) r.v[Layout::kB[i]] += q.b[i];
      r.v[Layout::kC] += q.c;
      for (int k = 0; k < 3; ++k) r.v[Layout::kPositionSum + k] += q.corner[corner][k];
      for (int k = 0; k < M; ++k) r.v[Layout::kValueSum + k] += q.corner[corner][3 + k];
      r.v[Layout::kCount] += 1.0f;
    }
  };
  // Geometry alone: every value 0.
  static Fold fold(const ClusterSpace&) { return Fold{}; }
  static int solve(Record& r, uint64_t key, const ClusterGrid& grid);
};

// The common body of HashUCScalar (M = 1) and HashUCScalar3 (M = 3).
template <int M>
class ScalarClusterHandler
    : public ClusterHandler<TwoLevelCuckooTable<typename ScalarQefLayout<M>::Record>,
                            ScalarQefPolicy<M>> {
 public:
  using Policy = ScalarQefPolicy<M>;
  using Table = TwoLevelCuckooTable<typename Policy::Record>;

  // Both classes answer 6, whichever type they were made for.
  simp_type type() const override { return HASH_UC_SCALAR; }

  // 232 bytes of handler; a table adds 40 bytes and, per bucket, its 573
  // slots, bucket data and lock; plus 8 bytes per key.
  uint64_t memoryBytes() const override {
    uint64_t bytes = 232;
    if (this->table_)
      bytes += 40 + static_cast<uint64_t>(this->table_->bucketCount()) *
                        (Table::kSlotsPerBucket * sizeof(typename Table::Slot) + 14);
    return bytes + 8 * static_cast<uint64_t>(this->space_.cellKeys.size());
  }

  // Values are used when there are at least m arrays, all present;
  // otherwise every value is 0.
  void submitWithValues(const float* coords, int32_t components, const QefInputs& values,
                        const int32_t* triangles, int32_t triangle_count,
                        int32_t triangle_stride) override;
  void submit(const float* coords, int32_t components, const int32_t* triangles,
              int32_t triangle_count, int32_t triangle_stride) override {
    submitWithValues(coords, components, QefInputs{}, triangles, triangle_count, triangle_stride);
  }

  // The mesh of output(), plus m arrays of optimised values per output node
  // (turned back through the value box) in `extra`.
  void outputWithValues(const float* coords, int32_t components, const int32_t* triangles,
                        int32_t triangle_count, int32_t triangle_stride, SimplifiedMesh& mesh,
                        ExtraOutputs& extra) override;

  const NormalizationBox& valueBox() const { return value_box_; }

 private:
  NormalizationBox value_box_;
};

// Value box of m per-node arrays (points (s, 0, 0) or (s1, s2, s3)); nodes
// without a value are left out, and no value at all gives the box of 0.
template <int M>
NormalizationBox scalarValueBox(const float* const* values, int64_t node_count);

class HashUCScalar final : public ScalarClusterHandler<1> {};
class HashUCScalar3 final : public ScalarClusterHandler<3> {};

}  // namespace Tavrin
