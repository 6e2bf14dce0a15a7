// The cell store of one octree level: a two-level cuckoo table from cell key
// to QefRecord, built once from the level's complete key array. It reuses the
// buckets, position functions, placement and lookup of TwoLevelCuckooTable
// with a schedule of its own: three bucket functions and no second try when
// a bucket cannot be placed, seeds drawn from the octree's own generator.
#pragma once

#include <cstdint>

#include "octree/simplify_interface.h"
#include "tables/two_level_cuckoo.h"

namespace Tavrin {

// Solves one octree cell in place: position (fields 10..12) and error (13).
// Returns 1 when the cell holds at least one corner, 0 otherwise.
int octree_solve_cell(QefRecord& v, uint64_t key, const ClusterGrid& grid);

class KeyValueHashTable final : public SimplifyInterface {
 public:
  using Table = TwoLevelCuckooTable<QefRecord>;
  static constexpr int64_t kBytesPerBucket = 36686;

  int32_t build(const uint64_t* keys, int32_t n) override;
  void add(uint64_t key, const QefRecord& record) override;
  int32_t solve_all(const ClusterGrid& grid) override;
  const QefRecord* find(uint64_t key) const override;
  void accumulate_triangles(int64_t count, const Vec3* nodes, const TriangleRecord* triangles,
                            const ClusterGrid& grid) override;
  int32_t solve_level(const ClusterGrid& grid) override { return solve_all(grid); }
  int64_t memory_bytes() const override { return table_.bucketCount() * kBytesPerBucket + 48; }

  // Slot-level access for the octree's own deterministic passes.
  bool usable() const { return table_.built(); }
  uint32_t bucketCount() const { return table_.bucketCount(); }
  uint32_t bucketOf(uint64_t key) const { return table_.bucketOf(key); }
  // Slot index of a key, -1 when absent.
  int64_t slot_index(uint64_t key) const { return table_.find_index(key); }
  uint64_t key_at(uint64_t slot) const { return table_.slot(slot).key; }
  QefRecord& record_at(uint64_t slot) { return table_.slot(slot).rec; }
  const QefRecord& record_at(uint64_t slot) const { return table_.slot(slot).rec; }
  const BucketFunction& bucketFunction() const { return table_.bucketFunction(); }

 private:
  Table table_;
};

}  // namespace Tavrin
