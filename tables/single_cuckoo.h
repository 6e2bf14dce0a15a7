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
// After Alcantara et al. 2011, "Building an efficient hash table on the GPU",
// and the cuckoo stash of Kirsch, Mitzenmacher and Wieder 2009.
//
// Insertion chains of different threads interleave, so slot positions, stash
// use and the eviction statistics may differ between runs and thread counts;
// nothing observable depends on positions because every operation on a key
// goes through find(). An empty slot holds kEmptyCellKey.
//
// The build takes no locks: each swap is one atomic exchange of a key word,
// which hands the displaced key to exactly one chain, so no key is lost or
// duplicated. Every thread runs several chains side by side, one swap of each
// in turn, and prefetches the slot of a chain's next swap, so the cache misses
// of different chains overlap instead of following each other.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "base/messages.h"
#include "base/spin_lock.h"
#include "tables/cell_slot.h"
#include "tables/fast_modulus.h"
#include "tables/insertion_chains.h"
#include "tables/large_array.h"
#include "tables/prime_table.h"
#include "tables/random64.h"

namespace Tavrin {

// h(k) = (((k xor mix) + add) mod modulus) mod size, or k mod size when mix is 0.
// The drawn functions all use the modulus 2^32 - 5, which the compiler turns
// into a multiplication; `fast` reduces by size without a division.
struct CuckooHashFunction {
  uint32_t add = 0;
  uint32_t mix = 0;
  uint32_t modulus = 1;
  uint32_t size = 1;
  FastModulus fast;

  CuckooHashFunction() = default;
  CuckooHashFunction(uint32_t add_, uint32_t mix_, uint32_t modulus_, uint32_t size_)
      : add(add_), mix(mix_), modulus(modulus_), size(size_), fast(size_) {}

  uint64_t operator()(uint64_t key) const {
    if (mix == 0) return fast(key);
    const uint64_t x = (key ^ mix) + add;
    return fast(modulus == kDrawnModulus ? x % kDrawnModulus : x % modulus);
  }

  static constexpr uint32_t kDrawnModulus = 4294967291u;  // 2^32 - 5
};

template <class Record>
class SingleCuckooTable : public SlotLookup<SingleCuckooTable<Record>, CellSlot<Record>> {
 public:
  using Slot = CellSlot<Record>;
  static_assert(std::is_trivially_copyable_v<Record>, "records are copied as plain bytes");

  static constexpr uint32_t kStashSlots = 101;
  static constexpr uint32_t kSlotsPerLock = 16;
  static constexpr int kFunctions = 6;
  static constexpr uint32_t kDrawnModulus = CuckooHashFunction::kDrawnModulus;
  static constexpr int kChainsPerThread = 12;  // insertion chains run side by side

  SingleCuckooTable() = default;
  SingleCuckooTable(const SingleCuckooTable&) = delete;
  SingleCuckooTable& operator=(const SingleCuckooTable&) = delete;

  // Sizes and fills the table with n distinct keys (releasing any previous
  // arrays). Returns n, or 0 when a key was lost; a failed build leaves the
  // table without arrays. Every build takes twelve draws from the generator.
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
  // A key's candidates lie anywhere in the table, so ordering a batch by
  // one of them does not make the others sequential: find_all looks keys up
  // in the order given.
  static constexpr bool kLookupInTableOrder = false;
  // Requests the slot of function 0, where a lookup starts.
  [[gnu::always_inline]] void prefetch(uint64_t key) const {
    if (slots_) __builtin_prefetch(&slots_[functions_[0](key)]);
  }
  // With that slot cached: requests the slots of the other functions unless
  // the key is at function 0 (the stash stays cached).
  [[gnu::always_inline]] void prefetchRest(uint64_t key) const {
    if (!slots_ || slots_[functions_[0](key)].key == key) return;
    for (int j = 1; j < functionCount_; ++j) __builtin_prefetch(&slots_[functions_[j](key)]);
  }

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
    return format(
        "\tSTATS   functions = %d Elements in stash = %d   evictions ( min, max, med) = "
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
  assert(keys || n == 0);
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
    const uint32_t mix = static_cast<uint32_t>(random.next());
    const uint32_t add = static_cast<uint32_t>(random.next());
    (j < kFunctions ? functions_[j] : stashFunction_) =
        CuckooHashFunction(add, mix, kDrawnModulus, j < kFunctions ? mainSlots_ : kStashSlots);
  }

  const int max_steps = maxEvictionsFor(n);
  uint32_t stashed = 0, lost = 0;
  int64_t sum = 0;
  int min_steps = max_steps, max_seen = 0;
  // One insertion chain: the key it carries, the slot of its next swap and
  // the swaps so far.
  struct Chain {
    uint64_t key;
    uint64_t pos;
    int steps;
  };
  // Once a key is lost the build has failed: the remaining keys are skipped.
  std::atomic<bool> failed{false};
#pragma omp parallel
  {
    uint32_t my_stashed = 0, my_lost = 0;
    int64_t my_sum = 0;
    int my_min = max_steps, my_max = 0;
    const int64_t threads = omp_get_num_threads(), t = omp_get_thread_num();
    int64_t next = static_cast<int64_t>(n) * t / threads;
    const int64_t end = static_cast<int64_t>(n) * (t + 1) / threads;
    auto finish = [&](int steps) {
      my_sum += steps;
      my_min = std::min(my_min, steps);
      my_max = std::max(my_max, steps);
    };
    // A chain that reached the swap limit leaves its key in the stash; a
    // stash slot already taken loses a key.
    auto stash = [&](uint64_t key) {
      const uint64_t s = mainSlots_ + stashFunction_(key);
      const uint64_t old =
          std::atomic_ref<uint64_t>(slots[s].key).exchange(key, std::memory_order_relaxed);
      ++my_stashed;
      if (old != kEmptyCellKey) {
        ++my_lost;
        failed.store(true, std::memory_order_relaxed);
      }
      finish(max_steps);
    };
    // Starts a chain on the next key of this thread; false when none is left.
    auto start = [&](Chain& c) {
      while (next < end && !failed.load(std::memory_order_relaxed)) {
        const uint64_t key = keys[next++];
        if (key == kEmptyCellKey) {  // not a cell key: cannot be stored
          ++my_lost;
          failed.store(true, std::memory_order_relaxed);
          continue;
        }
        if (max_steps == 0) {
          stash(key);
          continue;
        }
        c = Chain{key, functions_[0](key), 0};
        __builtin_prefetch(&slots[c.pos], 1);
        return true;
      }
      return false;
    };
    // One swap of a chain; true when the chain has ended.
    auto step = [&](Chain& c) {
      const uint64_t old =
          std::atomic_ref<uint64_t>(slots[c.pos].key).exchange(c.key, std::memory_order_relaxed);
      if (old == kEmptyCellKey) {
        finish(c.steps);
        return true;
      }
      c.key = old;
      c.pos = nextPosition(old, c.pos);
      if (++c.steps >= max_steps) {
        stash(c.key);
        return true;
      }
      __builtin_prefetch(&slots[c.pos], 1);
      return false;
    };
    runInsertionChains<kChainsPerThread, Chain>(start, step);
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
