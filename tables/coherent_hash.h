// Coherent parallel hash table of cell slots: open addressing with
// age-ordered displacement, built once in parallel from the complete set of
// distinct cell keys and afterwards only looked up and updated in place.
//
// A key is tried at one position per age 1, 2, 3, ... : its home k mod size
// at age 1, then k plus a drawn offset per age. During the build the key word
// carries the age in its top byte; a key may take a slot from a key of lower
// age, which then moves on at its next age. Because every age adds one offset
// to the key, consecutive cell keys placed at the same age stay side by side.
// Each home slot remembers the highest age of the keys that call it home, so a
// lookup probes at most that many positions. A key needing age 32 fails the
// build. Cell keys must fit in 56 bits. After García, Lefebvre, Hornus and
// Lasram 2011, "Coherent parallel hashing".
//
// After a successful build the top bytes are cleared and empty slots hold
// kEmptyCellKey, so no lookup (key 0 included) can answer an empty slot.
// Chains of different threads interleave, so positions and maxAge may differ
// between runs; nothing observable depends on positions.
//
// The build takes no locks: a key word is replaced by compare-and-swap only
// while the age it holds is lower. Each swap hands the displaced key to
// exactly one chain, so no key is lost or duplicated. The homes' ages are
// set once every key has settled, in the pass that clears the age bytes.
// Every thread runs several chains side by side, one step of each in turn,
// and prefetches the slot of a chain's next step, so the cache misses of
// different chains overlap instead of following each other.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cassert>
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

template <class Record>
class CoherentHashTable : public SlotLookup<CoherentHashTable<Record>, CellSlot<Record>> {
 public:
  using Slot = CellSlot<Record>;
  static_assert(std::is_trivially_copyable_v<Record>, "records are copied as plain bytes");

  static constexpr uint32_t kSlotsPerLock = 16;
  static constexpr int kAgeLimit = 32;  // a key that would need this age has failed
  static constexpr uint64_t kKeyMask = (uint64_t{1} << 56) - 1;
  static constexpr int kChainsPerThread = 12;  // insertion chains run side by side

  struct Probe {
    uint32_t offset = 0;
    uint32_t modulus = 1;
  };

  CoherentHashTable() = default;
  CoherentHashTable(const CoherentHashTable&) = delete;
  CoherentHashTable& operator=(const CoherentHashTable&) = delete;

  // Sizes and fills the table with n distinct keys (releasing any previous
  // arrays). Returns n, or 0 when some key failed (or did not fit in 56 bits);
  // a failed build leaves the table without arrays. Every build takes 32 draws.
  uint32_t build(const uint64_t* keys, uint32_t n, float factor, Random64& random);

  // Lock-free lookup: the home slot, then ages 2 .. ages[home]. The later
  // positions are all requested before the first is compared, so their cache
  // misses overlap.
  int64_t find_index(uint64_t key) const {
    if (!slots_ || key > kKeyMask) return -1;
    const uint64_t h = modulus_(key);
    if (slots_[h].key == key) return static_cast<int64_t>(h);
    const int m = ages_[h];
    for (int a = 2; a <= m; ++a) __builtin_prefetch(&slots_[fromHome(h, a)]);
    for (int a = 2; a <= m; ++a) {
      const uint64_t p = fromHome(h, a);
      if (slots_[p].key == key) return static_cast<int64_t>(p);
    }
    return -1;
  }
  // Requests the home slot and the home's age of a key about to be looked up.
  [[gnu::always_inline]] void prefetch(uint64_t key) const {
    if (!slots_ || key > kKeyMask) return;
    const uint64_t h = modulus_(key);
    __builtin_prefetch(&slots_[h]);
    __builtin_prefetch(&ages_[h]);
  }
  // With the home slot and age cached: requests ages 2 .. ages[home] unless
  // the key is at home.
  [[gnu::always_inline]] void prefetchRest(uint64_t key) const {
    if (!slots_ || key > kKeyMask) return;
    const uint64_t h = modulus_(key);
    if (slots_[h].key == key) return;
    const int m = ages_[h];
    for (int a = 2; a <= m; ++a) __builtin_prefetch(&slots_[fromHome(h, a)]);
  }
  // The home slot: every later age lies at a fixed offset from it, so keys
  // ordered by home read every age's slots in order too.
  uint64_t orderPosition(uint64_t key) const { return modulus_(key); }
  using SlotLookup<CoherentHashTable, CellSlot<Record>>::find;

  void release() {
    slots_.reset();
    ages_.reset();
    locks_.reset();
    size_ = 0;
    modulus_ = FastModulus(1);
  }
  bool built() const { return slots_ != nullptr; }
  uint64_t slotCount() const { return size_; }
  Slot& slot(uint64_t index) { return slots_[index]; }
  const Slot& slot(uint64_t index) const { return slots_[index]; }
  // Guards the slot's record (and, during the build, its key word and age).
  SpinLock& lock(uint64_t slot_index) { return locks_[slot_index / kSlotsPerLock]; }

  // Position of a key at age a (1 .. 31); age 1 is its home.
  uint64_t position(uint64_t key, int a) const { return fromHome(modulus_(key), a); }
  // The same from the key's home h: (k + offset) mod size equals
  // (h + offset mod size) mod size, one addition instead of a division.
  uint64_t fromHome(uint64_t h, int a) const {
    const uint64_t p = h + shifts_[a - 1];
    return p >= size_ ? p - size_ : p;
  }
  const Probe& probe(int i) const { return probes_[i]; }
  uint8_t age(uint64_t home) const { return ages_[home]; }
  int maxAge() const { return maxAge_; }
  double averageAge() const { return averageAge_; }
  // The statistics line of the last build, for the program log.
  std::string statsLine() const {
    return format("\tSTATS   Max age = %d, Average age = %g\n", maxAge_, averageAge_);
  }

 private:
  LargeArray<Slot> slots_;
  LargeArray<uint8_t> ages_;
  std::unique_ptr<SpinLock[]> locks_;
  uint32_t size_ = 0;
  FastModulus modulus_;  // x mod size_
  Probe probes_[kAgeLimit + 1];
  uint32_t shifts_[kAgeLimit + 1] = {};  // probes_[i].offset mod size
  int maxAge_ = 0;
  double averageAge_ = 0.0;
};

template <class Record>
uint32_t CoherentHashTable<Record>::build(const uint64_t* keys, uint32_t n, float factor,
                                          Random64& random) {
  assert(keys || n == 0);
  release();
  size_ = tableSizeFor(n, factor);
  slots_ = allocateLargeArray<Slot>(size_);
  ages_ = allocateLargeArray<uint8_t>(size_);  // huge pages too: read at random homes
  if (!slots_ || !ages_) {
    release();
    return 0;
  }
  locks_ = std::make_unique<SpinLock[]>((size_ + kSlotsPerLock - 1) / kSlotsPerLock);
  modulus_ = FastModulus(size_);
  probes_[0] = Probe{0, size_};
  for (int i = 1; i <= kAgeLimit; ++i)
    probes_[i] = Probe{static_cast<uint32_t>(random.next()), size_};
  for (int i = 0; i <= kAgeLimit; ++i)
    shifts_[i] = static_cast<uint32_t>(probes_[i].offset % size_);
  maxAge_ = 0;
  averageAge_ = 0.0;

  Slot* slots = slots_.get();
  uint8_t* ages = ages_.get();
  const int64_t size = size_;
  // During the build a key word is (age << 56) | key; top byte 0 is empty.
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < size; ++i) {
    slots[i].key = 0;
    slots[i].rec = Record{};
    ages[i] = 0;
  }

  // One insertion chain: the key it carries, that key's home, and the age and
  // slot it tries next.
  struct Chain {
    uint64_t key;
    uint64_t home;
    uint64_t pos;
    int age;
  };
  uint32_t failures = 0;
  int max_age = 0;
#pragma omp parallel
  {
    uint32_t my_failures = 0;
    int my_max = 0;
    const int64_t threads = omp_get_num_threads(), t = omp_get_thread_num();
    int64_t next = static_cast<int64_t>(n) * t / threads;
    const int64_t end = static_cast<int64_t>(n) * (t + 1) / threads;
    // Starts a chain on the next key of this thread; false when none is left.
    auto start = [&](Chain& c) {
      while (next < end) {
        const uint64_t key = keys[next++];
        if (key > kKeyMask) {  // would not fit beside the age
          ++my_failures;
          my_max = kAgeLimit;
          continue;
        }
        const uint64_t home = modulus_(key);
        c = Chain{key, home, home, 1};
        __builtin_prefetch(&slots[c.pos], 1);
        return true;
      }
      return false;
    };
    // One step of a chain at c.pos; true when the chain has ended.
    auto step = [&](Chain& c) {
      std::atomic_ref<uint64_t> word(slots[c.pos].key);
      const uint64_t mine = (static_cast<uint64_t>(c.age) << 56) | c.key;
      uint64_t old = word.load(std::memory_order_relaxed);
      bool written = false;
      while (static_cast<uint64_t>(c.age) > (old >> 56)) {
        if (word.compare_exchange_weak(old, mine, std::memory_order_relaxed)) {
          written = true;
          break;
        }
      }
      if (written) {
        if ((old >> 56) == 0) {
          my_max = std::max(my_max, c.age);
          return true;
        }
        // The displaced key goes on at its next age: its own slot now holds a
        // higher age, so trying that slot again could only fail.
        c.key = old & kKeyMask;
        c.home = modulus_(c.key);
        c.age = static_cast<int>(old >> 56) + 1;
      } else {
        ++c.age;
      }
      if (c.age >= kAgeLimit) {
        ++my_failures;
        my_max = kAgeLimit;
        return true;
      }
      c.pos = fromHome(c.home, c.age);
      __builtin_prefetch(&slots[c.pos], 1);
      return false;
    };
    runInsertionChains<kChainsPerThread, Chain>(start, step);
#pragma omp atomic
    failures += my_failures;
#pragma omp critical(coherent_hash_stats)
    max_age = std::max(max_age, my_max);
  }
  maxAge_ = max_age;
  if (failures > 0) {
    release();
    return 0;
  }

  // Each home's age: the highest age of the keys that call it home. A key's
  // age only grows while it moves, so the age it ended with is the highest it
  // was ever written with. Keys of other threads share homes: atomic maximum.
#pragma omp parallel for schedule(static)
  for (int64_t i = 0; i < size; ++i) {
    const uint64_t word = slots[i].key;
    const uint8_t age = static_cast<uint8_t>(word >> 56);
    if (age == 0) {
      slots[i].key = kEmptyCellKey;
      continue;
    }
    slots[i].key = word & kKeyMask;
    std::atomic_ref<uint8_t> home_age(ages[modulus_(word & kKeyMask)]);
    uint8_t seen = home_age.load(std::memory_order_relaxed);
    while (seen < age && !home_age.compare_exchange_weak(seen, age, std::memory_order_relaxed)) {
    }
  }
  uint64_t age_sum = 0, homes = 0;
#pragma omp parallel for schedule(static) reduction(+ : age_sum, homes)
  for (int64_t i = 0; i < size; ++i) {
    if (ages[i]) {
      age_sum += ages[i];
      ++homes;
    }
  }
  averageAge_ = homes ? static_cast<double>(age_sum) / static_cast<double>(homes) : 0.0;
  return n;
}

}  // namespace Tavrin
