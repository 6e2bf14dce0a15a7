// One slot of a cell table: the 64-bit cell key followed by the handler's
// per-cell record.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "tables/ordered_lookup.h"

namespace Tavrin {

template <class Record>
struct CellSlot {
  uint64_t key;
  Record rec;
};

// The key of an empty slot in every cell table. Cell keys are linear cell
// indices far below it, so it can never equal a real key (key 0 included).
inline constexpr uint64_t kEmptyCellKey = ~uint64_t{0};

// The pointer form of a table's lookup and the batched lookups, written once
// for the three tables. Table provides find_index(key) (a slot index or -1),
// slot(index), slotCount(), prefetch(key), which requests the slot a lookup
// of the key reads first, prefetchRest(key), which, once that slot is cached,
// requests the other slots the lookup will read when the first slot does not
// hold the key, and, unless it sets kLookupInTableOrder to false,
// orderPosition(key), a slot at fixed distances from every slot the lookup
// may read.
//
// The prefetch hooks are forced inline: a function whose only effect is a
// prefetch counts as free of side effects to the compiler, which then drops
// every call to it as dead code before it would inline it.
template <class Table, class Slot>
struct SlotLookup {
  // How many keys apart the two prefetch stages run: enough to keep several
  // cache misses in flight, few enough that the lines are still cached when
  // their key comes up.
  static constexpr size_t kPrefetchDistance = 12;
  static constexpr bool kLookupInTableOrder = true;

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

  // out[i] = find_index(keys[i]) for i < n, by every thread (call it outside
  // a parallel region). A big batch on a table far bigger than the cache is
  // looked up in table order (tables/ordered_lookup.h), the rest in chunks.
  void find_all(const uint64_t* keys, size_t n, int64_t* out) const {
    const Table& t = static_cast<const Table&>(*this);
    constexpr uint64_t kBigTableBytes = uint64_t{64} << 20;
    if constexpr (Table::kLookupInTableOrder)
      if (t.slotCount() * sizeof(Slot) >= kBigTableBytes && n >= t.slotCount() / 32 &&
          findAllInTableOrder(t, keys, n, out))
        return;
    constexpr int64_t kChunk = 4096;
    const int64_t count = static_cast<int64_t>(n);
#pragma omp parallel for schedule(static)
    for (int64_t b = 0; b < count; b += kChunk)
      find_indices(keys + b, static_cast<size_t>(std::min(kChunk, count - b)), out + b);
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
