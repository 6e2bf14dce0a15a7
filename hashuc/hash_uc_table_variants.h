// HashUCSingle and HashUCCoherent: HashUC's quadric clustering with its cells
// in a single-level cuckoo table (with stash) or a coherent parallel hash
// table instead of the two-level cuckoo table. Every pass is HashUC's; only
// the table build differs. Both tables are sized by a space factor, the load
// factor the handler was made with or 1.1 when none was given. A build that loses a key
// is retried once at 1.15 with freshly drawn hash functions; when that fails
// too the handler stays without a table and produces nothing.
#pragma once

#include <cstdint>
#include <string>

#include "base/messages.h"
#include "hashuc/hash_uc.h"
#include "tables/coherent_hash.h"
#include "tables/single_cuckoo.h"

namespace Tavrin {

// What differs between the variants besides the table type:
//   static constexpr simp_type kType;
//   static constexpr const char* kName;       // as the build messages name the table
//   static constexpr uint64_t kBytesPerSlot;  // slot plus per-slot table data
//   static constexpr uint64_t kFixedBytes;    // handler plus table fields
//   static constexpr uint64_t kKeyLimit;      // every cell key must be below it
//   static constexpr const char* kKeyLimitText;  // why, for the failure message
//   static std::string statsLine(const Table&, uint32_t cell_count);

inline constexpr float kDefaultSpaceFactor = 1.1f;
inline constexpr float kRetrySpaceFactor = 1.15f;

// The factor of the first build: the given load factor, or the default when
// none (or no usable one: not positive, not a number) was given.
inline float firstSpaceFactor(float load_factor) {
  return load_factor > 0.0f ? load_factor : kDefaultSpaceFactor;
}

// A table sized by a space factor, built the way these handlers build it.
// ClusterHandler builds its table with build(keys, n, random); here that
// tries the first factor, then once more at 1.15, and logs the outcome
// (statistics line or error). A failed build leaves the table without arrays.
template <class Table, class Traits>
class RetryingTable : public Table {
 public:
  using Table::build;
  float first_factor = kDefaultSpaceFactor;

  uint32_t build(const uint64_t* keys, uint32_t n, Random64& random) {
    // Keys the table cannot hold fail every build; say why at once instead
    // of retrying.
    uint64_t largest = 0;
    for (uint32_t i = 0; i < n; ++i) largest = keys[i] > largest ? keys[i] : largest;
    if (n > 0 && largest >= Traits::kKeyLimit) {
      log_message(format("ERROR: FAILED TO CREATE %s: %s\n", Traits::kName, Traits::kKeyLimitText));
      return 0;
    }
    if (build(keys, n, first_factor, random) == 0) {
      this->release();
      log_message(format("FAILED CREATING %s, INCREASING SPACE FACTOR TO %g\n", Traits::kName,
                         static_cast<double>(kRetrySpaceFactor)));
      if (build(keys, n, kRetrySpaceFactor, random) == 0) {
        this->release();
        log_message(format("ERROR: FAILED TO CREATE %s\n", Traits::kName));
        return 0;
      }
    }
    log_message(Traits::statsLine(*this, n));
    return n;
  }
};

template <class Table, class Traits>
class HashUCSpaceFactorTable
    : public ClusterHandler<RetryingTable<Table, Traits>, QefPolicy<QefRecord>> {
 public:
  explicit HashUCSpaceFactorTable(float load_factor)
      : first_factor_(firstSpaceFactor(load_factor)) {}

  simp_type type() const override { return Traits::kType; }

  // With a table: its slots and per-slot data, one 8-byte lock per 16 slots
  // and the fixed part; without one 160 bytes. Plus 8 bytes per key.
  uint64_t memoryBytes() const override {
    uint64_t bytes = 160;
    if (this->table_) {
      const uint64_t slots = this->table_->slotCount();
      bytes = Traits::kBytesPerSlot * slots + 8 * ((slots + 15) / 16) + Traits::kFixedBytes;
    }
    return bytes + 8 * static_cast<uint64_t>(this->space_.cellKeys.size());
  }

 protected:
  void buildTable() override {
    this->table_ = std::make_unique<RetryingTable<Table, Traits>>();
    this->table_->first_factor = first_factor_;
    const uint32_t n = static_cast<uint32_t>(this->space_.cellKeys.size());
    if (this->table_->build(this->space_.cellKeys.data(), n, handler_random()) == 0)
      this->table_.reset();
  }

 private:
  float first_factor_;
};

struct SingleCuckooTraits {
  static constexpr simp_type kType = HASH_UC_SINGLE;
  static constexpr const char* kName = "SINGLE LEVEL CUCKOO";
  static constexpr uint64_t kBytesPerSlot = sizeof(CellSlot<QefRecord>);
  static constexpr uint64_t kFixedBytes = 320;
  static constexpr uint64_t kKeyLimit = ~uint64_t{0};
  static constexpr const char* kKeyLimitText = "";
  static std::string statsLine(const SingleCuckooTable<QefRecord>& t, uint32_t cell_count) {
    return t.statsLine(cell_count);
  }
};

struct CoherentHashTraits {
  static constexpr simp_type kType = HASH_UC_COHERENT;
  static constexpr const char* kName = "COHERENT PARALLEL HASH";
  static constexpr uint64_t kBytesPerSlot = sizeof(CellSlot<QefRecord>) + 1;  // slot and age
  static constexpr uint64_t kFixedBytes = 464;
  // Its key words keep the age in the top byte.
  static constexpr uint64_t kKeyLimit = uint64_t{1} << 56;
  static constexpr const char* kKeyLimitText =
      "its cell keys must stay below 2^56, which grids of about 416,000 cells per axis and more "
      "can exceed; use a smaller grid or another type";
  static std::string statsLine(const CoherentHashTable<QefRecord>& t, uint32_t) {
    return t.statsLine();
  }
};

class HashUCSingle final
    : public HashUCSpaceFactorTable<SingleCuckooTable<QefRecord>, SingleCuckooTraits> {
 public:
  using HashUCSpaceFactorTable::HashUCSpaceFactorTable;
};

class HashUCCoherent final
    : public HashUCSpaceFactorTable<CoherentHashTable<QefRecord>, CoherentHashTraits> {
 public:
  using HashUCSpaceFactorTable::HashUCSpaceFactorTable;
};

}  // namespace Tavrin
