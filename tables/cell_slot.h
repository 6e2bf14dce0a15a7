// One slot of a cell table: the 64-bit cell key followed by the handler's
// per-cell record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Tavrin {

template <class Record>
struct CellSlot {
  uint64_t key;
  Record rec;
};

// The key of an empty slot in every cell table. Cell keys are linear cell
// indices far below it, so it can never equal a real key (key 0 included).
inline constexpr uint64_t kEmptyCellKey = ~uint64_t{0};

// The pointer form of a table's lookup and the batched lookup, written once
// for the three tables. Table provides find_index(key) (a slot index or -1),
// slot(index), prefetch(key), which requests the slot a lookup of the key
// reads first, and prefetchRest(key), which, once that slot is cached,
// requests the other slots the lookup will read when the first slot does not
// hold the key.
template <class Table, class Slot>
struct SlotLookup {
  // How many keys apart the two prefetch stages run: enough to keep several
  // cache misses in flight, few enough that the lines are still cached when
  // their key comes up.
  static constexpr size_t kPrefetchDistance = 12;

  // out[i] = find_index(keys[i]) for i < n. While key i is looked up, the
  // first slot of key i + 2D and, for key i + D, any further slots its lookup
  // needs are requested: cache misses of consecutive keys overlap, and a key
  // found at its first slot costs one line, not all its candidates. One
  // thread per call: callers split the keys.
  void find_indices(const uint64_t* keys, size_t n, int64_t* out) const {
    const Table& t = static_cast<const Table&>(*this);
    constexpr size_t D = kPrefetchDistance;
    for (size_t i = 0; i < n && i < 2 * D; ++i) t.prefetch(keys[i]);
    for (size_t i = 0; i < n && i < D; ++i) t.prefetchRest(keys[i]);
    for (size_t i = 0; i < n; ++i) {
      if (i + 2 * D < n) t.prefetch(keys[i + 2 * D]);
      if (i + D < n) t.prefetchRest(keys[i + D]);
      out[i] = t.find_index(keys[i]);
    }
  }

  Slot* find(uint64_t key) {
    Table& t = static_cast<Table&>(*this);
    const int64_t i = t.find_index(key);
    return i < 0 ? nullptr : &t.slot(static_cast<uint64_t>(i));
  }
  const Slot* find(uint64_t key) const {
    const Table& t = static_cast<const Table&>(*this);
    const int64_t i = t.find_index(key);
    return i < 0 ? nullptr : &t.slot(static_cast<uint64_t>(i));
  }
};

}  // namespace Tavrin
