// Looks up a large batch of keys in the order of the table positions they
// read, rather than in the order they are given.
//
// Keys in random order read the slots of a table much bigger than the cache
// at random: every probe is a cache miss, and two cores keep only a few
// misses in flight. Grouped by region of the table (a region is 2^shift
// consecutive slots), the same probes walk the table from one end to the
// other, where the memory system streams. This pays for tables whose probes
// of a key all lie at fixed distances from one position, its orderPosition:
// the coherent table's ages (fixed offsets from the home slot) and the
// two-level table's bucket.
//
// The keys are taken in batches of at most 2^22, so that the answers, which
// are written back at random, stay within a window the cache mostly holds,
// and the temporary array stays bounded.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tables/large_array.h"

namespace Tavrin {

namespace ordered_lookup {

struct Entry {
  uint64_t key;
  uint64_t index;  // into the caller's key array
};

constexpr size_t kBatch = size_t{1} << 22;
constexpr uint64_t kMaxRegions = 4096;
constexpr size_t kPrefetchDistance = 16;

// The smallest shift that cuts `slots` into at most kMaxRegions regions.
inline int regionShiftFor(uint64_t slots) {
  int shift = 0;
  while ((slots >> shift) >= kMaxRegions) ++shift;
  return shift;
}

}  // namespace ordered_lookup

// out[i] = table.find_index(keys[i]) for i < n, in parallel (call it outside
// a parallel region), `batch` keys at a time. Returns false, writing nothing,
// when the temporary array cannot be allocated.
template <class Table>
bool findAllInTableOrder(const Table& table, const uint64_t* keys, size_t n, int64_t* out,
                         size_t batch = ordered_lookup::kBatch) {
  using ordered_lookup::Entry;
  if (n == 0) return true;
  const int shift = ordered_lookup::regionShiftFor(table.slotCount());
  const size_t regions = static_cast<size_t>(table.slotCount() >> shift) + 1;
  batch = std::clamp<size_t>(batch, 1, n);
  LargeArray<Entry> sorted = allocateLargeArray<Entry>(batch);
  if (!sorted) return false;
  Entry* d = sorted.get();
  const int threads = omp_get_max_threads();
  // counts[t * regions + g]: thread t's keys in region g, then where they go.
  std::vector<uint64_t> counts(static_cast<size_t>(threads) * regions);
  auto region = [&](uint64_t key) { return table.orderPosition(key) >> shift; };

  for (size_t b0 = 0; b0 < n; b0 += batch) {
    const uint64_t m = std::min(batch, n - b0);
#pragma omp parallel num_threads(threads)
    {
      const int t = omp_get_thread_num(), nt = omp_get_num_threads();
      const uint64_t begin = b0 + m * t / nt, end = b0 + m * (t + 1) / nt;
      uint64_t* mine = counts.data() + static_cast<size_t>(t) * regions;
      std::fill(mine, mine + regions, 0);
      for (uint64_t i = begin; i < end; ++i) ++mine[region(keys[i])];
#pragma omp barrier
#pragma omp single
      {
        // Region-major, thread-minor: each region's keys lie together.
        uint64_t at = 0;
        for (size_t g = 0; g < regions; ++g)
          for (int u = 0; u < nt; ++u) {
            uint64_t& c = counts[static_cast<size_t>(u) * regions + g];
            const uint64_t k = c;
            c = at;
            at += k;
          }
      }
      for (uint64_t i = begin; i < end; ++i) d[mine[region(keys[i])]++] = Entry{keys[i], i};
#pragma omp barrier
      // Every thread looks up an equal contiguous part, in region order, with
      // the two prefetch stages of find_indices.
      const uint64_t p0 = m * t / nt, p1 = m * (t + 1) / nt;
      constexpr size_t D = ordered_lookup::kPrefetchDistance;
      for (uint64_t i = p0; i < p1 && i < p0 + 2 * D; ++i) table.prefetch(d[i].key);
      for (uint64_t i = p0; i < p1 && i < p0 + D; ++i) table.prefetchRest(d[i].key);
      for (uint64_t i = p0; i < p1; ++i) {
        if (i + 2 * D < p1) table.prefetch(d[i + 2 * D].key);
        if (i + D < p1) table.prefetchRest(d[i + D].key);
        out[d[i].index] = table.find_index(d[i].key);
      }
    }
  }
  return true;
}

}  // namespace Tavrin
