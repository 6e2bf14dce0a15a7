// HashUCAcc: uniform clustering where a cell keeps only the sum of the
// triangle corners that fall into it and is replaced by their mean; no
// quadric, no solve status, no error. It clusters exactly like HashUC (same
// grid, occupied cells, two-level cuckoo table and output assembly) and is
// the cheapest handler, the baseline the quadric handlers are timed against.
#pragma once

#include <array>
#include <cstdint>

#include "hashuc/cluster_handler.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {

// Six floats after the key.
//   while accumulating: 0, 1 zero; 2..4 sum of corner positions; 5 corner count
//   after the solve:    0, 1 output node number (high, low 16 bits);
//                       2..4 mean position; 5 zero
struct AccRecord {
  float v[6];
};
static_assert(sizeof(AccRecord) == 24, "AccRecord is 24 bytes");

struct AccPolicy {
  using Record = AccRecord;
  static constexpr int kNumberField = 0;
  static constexpr int kPointField = 2;
  // Values are averaged one array at a time: the value in field 2, its
  // count in field 5.
  static constexpr int kValueField = 2;
  static constexpr int kValueCountField = 5;
  static constexpr int kOneValueCountField = 5;
  static constexpr std::array<int, 0> kExportFields{};

  // Every corner adds its position and 1, whatever the triangle's area: a
  // node counts once per triangle that uses it.
  struct Fold {
    struct Terms {};
    Terms terms(const TriangleCorners&) const { return {}; }
    void add(Record& r, const Terms&, const TriangleCorners& t, int corner) const {
      r.v[2] += t.q[corner].x;
      r.v[3] += t.q[corner].y;
      r.v[4] += t.q[corner].z;
      r.v[5] += 1.0f;
    }
  };
  static Fold fold(const ClusterSpace&) { return {}; }

  // The mean of the corners; a cell without corners keeps its zero record.
  static int solve(Record& r, uint64_t, const ClusterGrid&) {
    if (!(r.v[5] >= 1.0f)) return 0;
    r.v[2] /= r.v[5];
    r.v[3] /= r.v[5];
    r.v[4] /= r.v[5];
    r.v[5] = 0.0f;
    return 1;
  }
};

class HashUCAcc final : public ClusterHandler<TwoLevelCuckooTable<AccRecord>, AccPolicy> {
 public:
  simp_type type() const override { return HASH_UC_ACC; }
  uint64_t memoryBytes() const override;
  // Each array is averaged on its own, from cleared records, so fields
  // averaged together equal the same fields averaged in separate groups.
  void interpolateValues(const float* coords, int32_t node_count, int32_t components,
                         const float* const* values, const int32_t* strides, int32_t count,
                         std::vector<std::vector<float>>& out, int32_t& length) override;
  // Block value passes average one field at a time, as interpolateValues does.
  int32_t fieldsPerValuePass() const override { return 1; }

 protected:
  int valuePassCountField() const override { return AccPolicy::kOneValueCountField; }
};

}  // namespace Tavrin
