// Two-level cuckoo hash table of cell slots, built once in parallel from the
// complete set of distinct cell keys and afterwards only looked up and
// updated in place.
//
// The first level spreads the keys over buckets of at most 511 keys (409 on
// average) with a bucket function. The second level places the keys of each
// bucket on their own, with a three-choice cuckoo scheme over three sub-tables
// of 191 slots, trying up to 25 random seeds of 25 iterations each. A lookup is
// therefore at most three probes inside one bucket. When a bucket overflows or
// no seed places it, the whole table is built again with another bucket
// function, six attempts in all. After Alcantara et al. 2009, "Real-time
// parallel hashing on the GPU".
//
// Keys are staged in their buckets in key-index order (a counting sort by
// bucket), so the keys a bucket holds and their order never depend on the
// number of threads. Bucket seeds are drawn from a shared generator inside a
// parallel loop: which bucket receives which seed, and so the position of a
// key inside its bucket, may differ between runs. Nothing observable depends
// on those positions: every operation on a key goes through find().
//
// An empty slot holds the key kEmptyCellKey (all ones), which no cell key can
// equal, so find(0) always answers the slot of cell 0 or nothing.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "base/spin_lock.h"
#include "tables/cell_slot.h"
#include "tables/fast_modulus.h"
#include "tables/large_array.h"
#include "tables/prime_table.h"
#include "tables/random64.h"

namespace Tavrin {

// Maps a key to its bucket: k mod B, or (((c1 * k) + c0) mod P) mod B.
struct BucketFunction {
  uint8_t hashOn = 0;
  uint32_t addend = 0;
  uint32_t multiplier = 0;
  uint32_t modulus = 1;

  static BucketFunction plain() { return BucketFunction{}; }
  static BucketFunction mixed(uint32_t multiplier, uint32_t addend, uint32_t modulus) {
    return BucketFunction{1, addend, multiplier, modulus};
  }
  uint32_t operator()(uint64_t key, uint32_t bucket_count) const {
    if (!hashOn) return static_cast<uint32_t>(key % bucket_count);
    const uint64_t h = (static_cast<uint64_t>(multiplier) * key + addend) % modulus;
    return static_cast<uint32_t>(h) % bucket_count;
  }
};

template <class Record>
class TwoLevelCuckooTable : public SlotLookup<TwoLevelCuckooTable<Record>, CellSlot<Record>> {
 public:
  using Slot = CellSlot<Record>;
  static_assert(std::is_trivially_copyable_v<Record>, "records are copied as plain bytes");

  static constexpr uint32_t kSlotsPerBucket = 573;
  static constexpr uint32_t kSubTableSlots = 191;
  static constexpr uint32_t kMaxBucketKeys = 511;
  static constexpr uint32_t kMinBuckets = 8;
  static constexpr int kSeedsPerBucket = 25;
  static constexpr int kIterationsPerSeed = 25;

  TwoLevelCuckooTable() = default;
  TwoLevelCuckooTable(const TwoLevelCuckooTable&) = delete;
  TwoLevelCuckooTable& operator=(const TwoLevelCuckooTable&) = delete;

  // Builds the table for n distinct keys with the six-attempt schedule,
  // drawing from the handlers' generator. Returns n, or 0 when every attempt
  // failed (the table then has no buckets). When slot_of_key is given (n
  // entries) and notedSlots() is true after a successful build, slot_of_key[i]
  // holds the slot of keys[i]: the same as find_index, known from the
  // placement without a lookup (not noted when memory is short or the slots
  // outnumber 32-bit slot numbers).
  uint32_t build(const uint64_t* keys, uint32_t n, Random64& random,
                 uint32_t* slot_of_key = nullptr);

  // --- Building blocks of a build schedule -------------------------------
  static uint32_t bucketCountFor(uint32_t n) { return std::max(kMinBuckets, (n + 408) / 409); }
  // Makes room for bucketCountFor(n) buckets (reusing the arrays when the
  // count is unchanged) with the plain bucket function; the slots hold
  // nothing meaningful until placeBuckets succeeds. False when memory is short.
  bool allocate(uint32_t n);
  void setBucketFunction(const BucketFunction& f) {
    function_ = f;
    functionModulus_ = FastModulus(f.modulus);
  }
  // Stages the keys in their buckets, in key-index order. Returns false when
  // a bucket would receive more than 511 keys (nothing is staged then).
  // staged_at, when given, receives every key's staging slot.
  bool distribute(const uint64_t* keys, uint32_t n, uint32_t* staged_at = nullptr);
  // Places every bucket's staged keys with seeds drawn from random. Returns
  // false when a bucket could not be placed; the table is then unusable.
  bool placeBuckets(Random64& random);

  // --- Lookup (lock-free, at most three probes) ---------------------------
  int64_t find_index(uint64_t key) const {
    if (!placed_ || key == kEmptyCellKey) return -1;
    const uint32_t b = bucketOf(key);
    const uint64_t base = static_cast<uint64_t>(b) * kSlotsPerBucket;
    const uint32_t s = seeds_[b];
    const uint32_t k = static_cast<uint32_t>(key);
    for (int t = 0; t < 3; ++t) {
      const uint64_t i = base + position(t, s, k);
      if (slots_[i].key == key) return static_cast<int64_t>(i);
    }
    return -1;
  }
  // The first slot of the key's bucket, which holds all three candidates.
  uint64_t orderPosition(uint64_t key) const { return uint64_t{bucketOf(key)} * kSlotsPerBucket; }
  using SlotLookup<TwoLevelCuckooTable, CellSlot<Record>>::find;
  // Requests the key's slot in sub-table 0, where a lookup starts (the seeds
  // are few enough to stay cached).
  [[gnu::always_inline]] void prefetch(uint64_t key) const {
    if (!placed_) return;
    const uint32_t b = bucketOf(key);
    __builtin_prefetch(&slots_[uint64_t{b} * kSlotsPerBucket +
                               position(0, seeds_[b], static_cast<uint32_t>(key))]);
  }
  // With that slot cached: requests the slots in sub-tables 1 and 2 unless the
  // key is in sub-table 0.
  [[gnu::always_inline]] void prefetchRest(uint64_t key) const {
    if (!placed_ || key == kEmptyCellKey) return;
    const uint32_t b = bucketOf(key);
    const Slot* base = slots_.get() + uint64_t{b} * kSlotsPerBucket;
    const uint32_t s = seeds_[b];
    const uint32_t k = static_cast<uint32_t>(key);
    if (base[position(0, s, k)].key == key) return;
    __builtin_prefetch(base + position(1, s, k));
    __builtin_prefetch(base + position(2, s, k));
  }

  void release();
  bool built() const { return placed_; }
  bool notedSlots() const { return placed_ && notedSlots_; }
  uint32_t bucketCount() const { return bucketCount_; }
  uint64_t slotCount() const { return static_cast<uint64_t>(bucketCount_) * kSlotsPerBucket; }
  Slot& slot(uint64_t index) { return slots_[index]; }
  const Slot& slot(uint64_t index) const { return slots_[index]; }
  // The lock of the slot's bucket: guards every record update after the build.
  SpinLock& lock(uint64_t slot_index) { return locks_[slot_index / kSlotsPerBucket]; }

  const BucketFunction& bucketFunction() const { return function_; }
  uint8_t bucketHashOn() const { return function_.hashOn; }
  uint32_t addend() const { return function_.addend; }
  uint32_t multiplier() const { return function_.multiplier; }
  uint32_t modulus() const { return function_.modulus; }
  uint32_t seed(uint32_t bucket) const { return seeds_[bucket]; }
  int16_t count(uint32_t bucket) const { return counts_[bucket]; }
  // function_(key, bucketCount_), with the two reductions done without division.
  uint32_t bucketOf(uint64_t key) const {
    if (!function_.hashOn) return static_cast<uint32_t>(bucketModulus_(key));
    const uint64_t h =
        functionModulus_(static_cast<uint64_t>(function_.multiplier) * key + function_.addend);
    return static_cast<uint32_t>(bucketModulus_(h));
  }

  // Position of a key's low 32 bits in sub-table t (0, 1, 2) for seed s,
  // as a slot index within the bucket.
  static uint32_t position(int t, uint32_t s, uint32_t k) {
    static constexpr uint32_t kMul[3] = {0x10C33u, 0xB9711u, 0x2BDFC3u};
    static constexpr uint32_t kAdd[3] = {0x5F33u, 0x1EEB1u, 0x19A4E9u};
    return ((s ^ kMul[t]) * k + (s ^ kAdd[t])) % kSubTableSlots + kSubTableSlots * t;
  }

 private:
  bool placeBucket(uint32_t b, Random64& random);

  // While a build notes the keys' slots: per bucket, the slot (within the
  // bucket) each staged key was placed in.
  std::unique_ptr<uint16_t[]> placedAt_;
  bool notedSlots_ = false;

  LargeArray<Slot> slots_;
  std::unique_ptr<SpinLock[]> locks_;
  std::unique_ptr<int16_t[]> counts_;
  std::unique_ptr<uint32_t[]> seeds_;
  uint32_t bucketCount_ = 0;
  BucketFunction function_;
  FastModulus bucketModulus_;    // x mod bucketCount_
  FastModulus functionModulus_;  // x mod function_.modulus
  bool placed_ = false;
};

template <class Record>
uint32_t TwoLevelCuckooTable<Record>::build(const uint64_t* keys, uint32_t n, Random64& random,
                                            uint32_t* slot_of_key) {
  assert(keys || n == 0);
  static constexpr uint32_t kDrawnModulus[3] = {0xB02C8EDFu, 0x617E3D15u, 0xEB9BEDF3u};
  for (int attempt = 1; attempt <= 6; ++attempt) {
    if (!allocate(n)) break;
    if (attempt == 2) {
      setBucketFunction(BucketFunction::mixed(largestEntryAtMost(512 * bucketCount_),
                                              firstCubeAbove(n), 1900813u));
    } else if (attempt == 3 || attempt == 5 || attempt == 6) {
      const uint32_t c1 = static_cast<uint32_t>(random.next() & 0xFFFFu);
      const uint32_t c0 = static_cast<uint32_t>(random.next() & 0xFFFFu);
      setBucketFunction(
          BucketFunction::mixed(c1, c0, kDrawnModulus[attempt == 3 ? 0 : attempt - 4]));
    }
    placedAt_.reset();
    if (slot_of_key && slotCount() < 0xFFFFFFFFu)
      placedAt_.reset(new (std::nothrow) uint16_t[uint64_t{bucketCount_} * kMaxBucketKeys]);
    notedSlots_ = placedAt_ != nullptr;
    if (!notedSlots_) slot_of_key = nullptr;  // the caller looks the keys up instead
    if (distribute(keys, n, slot_of_key) && placeBuckets(random)) {
      if (slot_of_key) {
        // A staging slot b * kSlotsPerBucket + k (k < kMaxBucketKeys) names
        // staged key k of bucket b.
        const uint16_t* placed = placedAt_.get();
#pragma omp parallel for schedule(static)
        for (int64_t i = 0; i < static_cast<int64_t>(n); ++i) {
          const uint32_t staged = slot_of_key[i];
          const uint32_t b = staged / kSlotsPerBucket, k = staged % kSlotsPerBucket;
          slot_of_key[i] = b * kSlotsPerBucket + placed[uint64_t{b} * kMaxBucketKeys + k];
        }
      }
      placedAt_.reset();
      return n;
    }
  }
  placedAt_.reset();
  release();
  return 0;
}

template <class Record>
bool TwoLevelCuckooTable<Record>::allocate(uint32_t n) {
  const uint32_t B = bucketCountFor(n);
  if (B != bucketCount_ || !slots_) {
    release();
    const uint64_t total = static_cast<uint64_t>(B) * kSlotsPerBucket;
    slots_ = allocateLargeArray<Slot>(total);
    if (!slots_) return false;
    locks_ = std::make_unique<SpinLock[]>(B);
    counts_ = std::make_unique<int16_t[]>(B);
    seeds_ = std::make_unique<uint32_t[]>(B);
    bucketCount_ = B;
    bucketModulus_ = FastModulus(B);
    // The slots are left uninitialised: staging writes the first count(b)
    // slots of every bucket and a placed bucket rewrites all its slots, key
    // and record, so no slot is read before it is written and the array is
    // not swept an extra time. Both passes run in parallel, which spreads the
    // first-touch page faults over the threads.
  } else {
    std::fill(counts_.get(), counts_.get() + B, int16_t{0});
    std::fill(seeds_.get(), seeds_.get() + B, 0u);
  }
  setBucketFunction(BucketFunction::plain());
  placed_ = false;
  return true;
}

template <class Record>
bool TwoLevelCuckooTable<Record>::distribute(const uint64_t* keys, uint32_t n,
                                             uint32_t* staged_at) {
  if (!slots_) return false;
  const uint32_t B = bucketCount_;
  const int max_threads = omp_get_max_threads();
  // Row t holds thread t's key count per bucket, then its next staging position.
  std::vector<uint32_t> counts(static_cast<size_t>(max_threads) * B, 0);
  std::atomic<bool> rejected{false};
  Slot* slots = slots_.get();
  int16_t* bucket_counts = counts_.get();

#pragma omp parallel
  {
    uint32_t* mine = counts.data() + static_cast<size_t>(omp_get_thread_num()) * B;
    const int threads = omp_get_num_threads();
#pragma omp for schedule(static)
    for (int64_t i = 0; i < static_cast<int64_t>(n); ++i) {
      if (keys[i] == kEmptyCellKey) rejected.store(true, std::memory_order_relaxed);
      ++mine[bucketOf(keys[i])];
    }
    // Exclusive prefix over the threads in thread order: thread t stages its
    // keys after those of threads 0 .. t-1, whose keys precede its own.
#pragma omp for schedule(static)
    for (int64_t b = 0; b < static_cast<int64_t>(B); ++b) {
      uint32_t total = 0;
      for (int t = 0; t < threads; ++t) {
        uint32_t& c = counts[static_cast<size_t>(t) * B + b];
        const uint32_t here = c;
        c = total;
        total += here;
      }
      if (total > kMaxBucketKeys) rejected.store(true, std::memory_order_relaxed);
      bucket_counts[b] = static_cast<int16_t>(std::min<uint32_t>(total, kSlotsPerBucket));
    }
    if (!rejected.load(std::memory_order_relaxed)) {
#pragma omp for schedule(static)
      for (int64_t i = 0; i < static_cast<int64_t>(n); ++i) {
        const uint32_t b = bucketOf(keys[i]);
        const uint64_t at = static_cast<uint64_t>(b) * kSlotsPerBucket + mine[b]++;
        slots[at].key = keys[i];
        if (staged_at) staged_at[i] = static_cast<uint32_t>(at);
      }
    }
  }
  return !rejected.load();
}

template <class Record>
bool TwoLevelCuckooTable<Record>::placeBuckets(Random64& random) {
  if (!slots_) return false;
  std::atomic<bool> failed{false};
#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < static_cast<int64_t>(bucketCount_); ++b) {
    if (failed.load(std::memory_order_relaxed)) continue;
    if (!placeBucket(static_cast<uint32_t>(b), random))
      failed.store(true, std::memory_order_relaxed);
  }
  placed_ = !failed.load();
  return placed_;
}

// Second level of one bucket, on private scratch arrays: each sub-table
// position holds a key number; a key is unplaced (0), placed (1) or was just
// displaced (2). In every iteration the sub-tables are visited in order; the
// unplaced keys, in key order, write themselves into their position there,
// overwriting (and displacing) whatever key was there.
//
// The loops avoid branches on the key states, which follow no pattern: an
// empty position holds the number of a dummy key, whose state absorbs every
// write, and the unplaced keys of a pass are listed before it (a key's state
// only changes during a pass once the pass has visited it).
template <class Record>
bool TwoLevelCuckooTable<Record>::placeBucket(uint32_t b, Random64& random) {
  constexpr uint16_t kNone = kMaxBucketKeys;  // the dummy key
  const uint32_t count = static_cast<uint32_t>(counts_[b]);
  if (count > kMaxBucketKeys) return false;
  Slot* bucket = slots_.get() + static_cast<uint64_t>(b) * kSlotsPerBucket;
  uint64_t staged[kMaxBucketKeys];
  uint16_t where[kSlotsPerBucket];
  uint8_t status[kMaxBucketKeys + 1];
  uint16_t candidate[3][kMaxBucketKeys];  // each key's position per sub-table for the seed
  uint16_t unplaced[kMaxBucketKeys];
  for (uint32_t k = 0; k < count; ++k) staged[k] = bucket[k].key;

  for (int attempt = 0; attempt < kSeedsPerBucket; ++attempt) {
    const uint32_t s = static_cast<uint32_t>(random.next());
    seeds_[b] = s;
    std::fill(where, where + kSlotsPerBucket, kNone);
    std::fill(status, status + count + 1, uint8_t{0});
    for (int t = 0; t < 3; ++t)
      for (uint32_t k = 0; k < count; ++k)
        candidate[t][k] = static_cast<uint16_t>(position(t, s, static_cast<uint32_t>(staged[k])));
    uint32_t left = count;  // keys unplaced after the last pass
    for (int iteration = 0; iteration < kIterationsPerSeed && left > 0; ++iteration) {
      for (int t = 0; t < 3; ++t) {
        uint32_t m = 0;
        for (uint32_t k = 0; k < count; ++k) {
          unplaced[m] = static_cast<uint16_t>(k);
          m += status[k] == 0;
        }
        for (uint32_t j = 0; j < m; ++j) {
          const uint16_t k = unplaced[j];
          uint16_t& cell = where[candidate[t][k]];
          status[cell] = 2;
          cell = k;
        }
        for (uint32_t p = kSubTableSlots * t; p < kSubTableSlots * (t + 1); ++p)
          status[where[p]] = 1;
        left = 0;
        for (uint32_t k = 0; k < count; ++k) {
          status[k] &= 1;  // displaced keys are unplaced again
          left += status[k] == 0;
        }
      }
    }
    if (left == 0) {
      uint16_t* placed = placedAt_ ? placedAt_.get() + uint64_t{b} * kMaxBucketKeys : nullptr;
      for (uint32_t p = 0; p < kSlotsPerBucket; ++p) {
        bucket[p].key = where[p] == kNone ? kEmptyCellKey : staged[where[p]];
        bucket[p].rec = Record{};
        if (placed && where[p] != kNone) placed[where[p]] = static_cast<uint16_t>(p);
      }
      return true;
    }
  }
  return false;
}

template <class Record>
void TwoLevelCuckooTable<Record>::release() {
  slots_.reset();
  locks_.reset();
  counts_.reset();
  seeds_.reset();
  bucketCount_ = 0;
  bucketModulus_ = FastModulus(1);
  setBucketFunction(BucketFunction::plain());
  placed_ = false;
}

}  // namespace Tavrin
