// Single-level cuckoo hash table of cell slots with four to six hash
// functions and a small stash, built once in parallel from the complete set of
// distinct cell keys and afterwards only looked up and updated in place.
//
// Function 0 is the identity (key mod size), so consecutive cell keys of a
// grid row land side by side; the others are drawn. Each key is inserted by a
// chain of swaps: it takes the slot of its current function, the key it
// displaces moves on to its next function, and so on for at most
// MAX = 7 ln n steps; a key still carried then goes to the 101-slot stash.
// Two stashed keys on one stash slot lose a key, which fails the build.
// A lookup probes the key's functions in order and then its stash slot.
//
// Insertion chains of different threads interleave, so slot positions, stash
// use and the eviction statistics may differ between runs and thread counts;
// nothing observable depends on positions because every operation on a key
// goes through find(). An empty slot holds kEmptyCellKey.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "app/core/messages.h"
#include "hashuc/spin_lock.h"
#include "tables/cell_slot.h"
#include "tables/large_array.h"
#include "tables/prime_table.h"
#include "tables/random64.h"

namespace Tavrin {

// h(k) = (((k xor mix) + add) mod modulus) mod size, or k mod size when mix is 0.
struct CuckooHashFunction {
  uint32_t add = 0;
  uint32_t mix = 0;
  uint32_t modulus = 1;
  uint32_t size = 1;

  uint64_t operator()(uint64_t key) const {
    if (mix == 0) return key % size;
    return (((key ^ mix) + add) % modulus) % size;
  }
};

template <class Record>
class SingleCuckooTable : public SlotLookup<SingleCuckooTable<Record>, CellSlot<Record>> {
 public:
  using Slot = CellSlot<Record>;
  static_assert(std::is_trivially_copyable_v<Record>, "records are copied as plain bytes");

  static constexpr uint32_t kStashSlots = 101;
  static constexpr uint32_t kSlotsPerLock = 16;
  static constexpr int kFunctions = 6;
  static constexpr uint32_t kDrawnModulus = 4294967291u;  // 2^32 - 5

  SingleCuckooTable() = default;
  SingleCuckooTable(const SingleCuckooTable&) = delete;
  SingleCuckooTable& operator=(const SingleCuckooTable&) = delete;

  // Sizes and fills the table with n distinct keys (releasing any previous
  // arrays). Returns n, or 0 when a key was lost; a failed build leaves the
  // table without arrays. Every build takes twelve draws from the generator.
  uint32_t build(const uint64_t* keys, uint32_t n, float factor) {
    return build(keys, n, factor, handler_random());
  }
  uint32_t build(const uint64_t* keys, uint32_t n, float factor, Random64& random);

  // Length limit of an insertion chain for n keys: (int)(7 ln n + 0.5).
  static int maxEvictionsFor(uint32_t n) {
    return n == 0 ? 0 : static_cast<int>(7.0 * std::log(static_cast<double>(n)) + 0.5);
  }
  static int functionCountFor(float factor) { return factor < 1.1f ? 6 : factor < 1.15f ? 5 : 4; }

  // Lock-free lookup: at most functionCount probes and one stash probe.
  int64_t find_index(uint64_t key) const {
    if (!slots_ || key == kEmptyCellKey) return -1;
    for (int j = 0; j < functionCount_; ++j) {
      const uint64_t p = functions_[j](key);
      if (slots_[p].key == key) return static_cast<int64_t>(p);
    }
    if (stashCount_ > 0) {
      const uint64_t s = mainSlots_ + stashFunction_(key);
      if (slots_[s].key == key) return static_cast<int64_t>(s);
    }
    return -1;
  }
  using SlotLookup<SingleCuckooTable, CellSlot<Record>>::find;

  void release() {
    slots_.reset();
    locks_.reset();
    totalSlots_ = mainSlots_ = 0;
    stashCount_ = 0;
    functionCount_ = 4;
  }
  bool built() const { return slots_ != nullptr; }
  // Main slots followed by the stash: what per-slot passes visit.
  uint64_t slotCount() const { return totalSlots_; }
  uint32_t mainSlots() const { return mainSlots_; }
  Slot& slot(uint64_t index) { return slots_[index]; }
  const Slot& slot(uint64_t index) const { return slots_[index]; }
  SpinLock& lock(uint64_t slot_index) { return locks_[slot_index / kSlotsPerLock]; }

  const CuckooHashFunction& function(int j) const { return functions_[j]; }
  const CuckooHashFunction& stashFunction() const { return stashFunction_; }
  int functionCount() const { return functionCount_; }
  uint32_t stashCount() const { return stashCount_; }
  int minEvictions() const { return minEvictions_; }
  int maxEvictions() const { return maxEvictions_; }
  float meanEvictions() const { return meanEvictions_; }
  // The statistics line of the last build, for the program log.
  std::string statsLine(uint32_t cell_count) const {
    return format("\tSTATS   functions = %d Elements in stash = %d   evictions ( min, max, med) = "
                  "( %d, %d, %g)   MAX EVICTIONS = %d\n",
                  functionCount_, static_cast<int>(stashCount_), minEvictions_, maxEvictions_,
                  static_cast<double>(meanEvictions_), maxEvictionsFor(cell_count));
  }

 private:
  // Where a key displaced from slot p goes: the function after the one that
  // brought it to p, or back to function 0 after the last one in use.
  uint64_t nextPosition(uint64_t key, uint64_t p) const {
    for (int j = 0; j + 1 < functionCount_; ++j)
      if (p == functions_[j](key)) return functions_[j + 1](key);
    return functions_[0](key);
  }

  LargeArray<Slot> slots_;
  std::unique_ptr<SpinLock[]> locks_;
  uint32_t totalSlots_ = 0;
  uint32_t mainSlots_ = 0;
  uint32_t stashCount_ = 0;
  CuckooHashFunction functions_[kFunctions];
  CuckooHashFunction stashFunction_;
  int functionCount_ = 4;
  int minEvictions_ = 0;
  int maxEvictions_ = 0;
  float meanEvictions_ = 0.0f;
};

template <class Record>
uint32_t SingleCuckooTable<Record>::build(const uint64_t* keys, uint32_t n, float factor,
                                          Random64& random) {
  release();
  mainSlots_ = tableSizeFor(n, factor);
  totalSlots_ = mainSlots_ + kStashSlots;
  slots_ = allocateLargeArray<Slot>(totalSlots_);
  if (!slots_) {
    release();
    return 0;
  }
  locks_ = std::make_unique<SpinLock[]>((totalSlots_ + kSlotsPerLock - 1) / kSlotsPerLock);
  Slot* slots = slots_.get();
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < static_cast<int64_t>(totalSlots_); ++i) {
    slots[i].key = kEmptyCellKey;
    slots[i].rec = Record{};
  }

  functionCount_ = functionCountFor(factor);
  functions_[0] = CuckooHashFunction{0, 0, 1, mainSlots_};
  for (int j = 1; j <= kFunctions; ++j) {
    CuckooHashFunction& f = j < kFunctions ? functions_[j] : stashFunction_;
    f.mix = static_cast<uint32_t>(random.next());
    f.add = static_cast<uint32_t>(random.next());
    f.modulus = kDrawnModulus;
    f.size = j < kFunctions ? mainSlots_ : kStashSlots;
  }

  const int max_steps = maxEvictionsFor(n);
  uint32_t stashed = 0, lost = 0;
  int64_t sum = 0;
  int min_steps = max_steps, max_seen = 0;
  // Once a key is lost the build has failed: the remaining keys are skipped.
  std::atomic<bool> failed{false};
#pragma omp parallel
  {
    uint32_t my_stashed = 0, my_lost = 0;
    int64_t my_sum = 0;
    int my_min = max_steps, my_max = 0;
#pragma omp for schedule(static)
    for (int64_t i = 0; i < static_cast<int64_t>(n); ++i) {
      if (failed.load(std::memory_order_relaxed)) continue;
      uint64_t carried = keys[i];
      if (carried == kEmptyCellKey) {  // not a cell key: cannot be stored
        ++my_lost;
        failed.store(true, std::memory_order_relaxed);
        continue;
      }
      uint64_t p = functions_[0](carried);
      int steps = 0;
      bool placed = false;
      while (steps < max_steps) {
        uint64_t old;
        {
          SpinGuard guard(lock(p));
          old = slots[p].key;
          slots[p].key = carried;
        }
        if (old == kEmptyCellKey) {
          placed = true;
          break;
        }
        carried = old;
        p = nextPosition(carried, p);
        ++steps;
      }
      if (!placed) {
        const uint64_t s = mainSlots_ + stashFunction_(carried);
        uint64_t old;
        {
          SpinGuard guard(lock(s));
          old = slots[s].key;
          slots[s].key = carried;
          slots[s].rec = Record{};
        }
        ++my_stashed;
        if (old != kEmptyCellKey) {
          ++my_lost;
          failed.store(true, std::memory_order_relaxed);
        }
        steps = max_steps;
      }
      my_sum += steps;
      my_min = std::min(my_min, steps);
      my_max = std::max(my_max, steps);
    }
#pragma omp atomic
    stashed += my_stashed;
#pragma omp atomic
    lost += my_lost;
#pragma omp critical(single_cuckoo_stats)
    {
      sum += my_sum;
      min_steps = std::min(min_steps, my_min);
      max_seen = std::max(max_seen, my_max);
    }
  }
  stashCount_ = stashed;
  minEvictions_ = min_steps;
  maxEvictions_ = max_seen;
  meanEvictions_ = n ? static_cast<float>(sum) / static_cast<float>(n) : 0.0f;
  if (lost > 0) {
    release();
    return 0;
  }
  return n;
}

}  // namespace Tavrin
