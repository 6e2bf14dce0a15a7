// Stable parallel counting sort of items 0 .. n-1 by bucket. Every thread
// counts the buckets of its own contiguous block of items, the counts are
// turned into start positions (buckets in order, and within a bucket the
// threads in order), and every thread scatters its block again. Because the
// blocks are contiguous and visited in order, the items of each bucket end up
// in increasing item order whatever the number of threads. Callers then let
// one worker sum each bucket's items in that order, without locks, so float
// sums come out exactly as a single thread would form them.
#pragma once

#include <omp.h>

#include <cstdint>
#include <vector>

namespace Tavrin {

struct BucketGroups {
  std::vector<uint64_t> start;  // bucket_count + 1 entries; bucket b is [start[b], start[b+1])
  std::vector<uint32_t> items;  // item numbers grouped by bucket, ascending within a bucket
};

// bucket_of(i) must return a bucket below bucket_count and may be called
// twice per item from any thread. n must be below 2^32.
template <class BucketOf>
void group_by_bucket(uint64_t n, uint32_t bucket_count, const BucketOf& bucket_of,
                     BucketGroups& groups) {
  const uint32_t B = bucket_count;
  const int max_threads = omp_get_max_threads();
  // Row t: thread t's item count per bucket, then its next position there.
  std::vector<uint64_t> rows(static_cast<size_t>(max_threads) * B, 0);
  groups.start.assign(static_cast<size_t>(B) + 1, 0);
  groups.items.resize(n);
  uint64_t* start = groups.start.data();
  uint32_t* items = groups.items.data();

#pragma omp parallel
  {
    const uint64_t t = static_cast<uint64_t>(omp_get_thread_num());
    const uint64_t T = static_cast<uint64_t>(omp_get_num_threads());
    const uint64_t lo = n * t / T, hi = n * (t + 1) / T;
    uint64_t* mine = rows.data() + t * B;
    for (uint64_t i = lo; i < hi; ++i) ++mine[bucket_of(i)];
#pragma omp barrier
    // Per bucket: each thread's offset inside the bucket, and the bucket size.
#pragma omp for schedule(static)
    for (int64_t b = 0; b < static_cast<int64_t>(B); ++b) {
      uint64_t total = 0;
      for (uint64_t k = 0; k < T; ++k) {
        uint64_t& c = rows[k * B + static_cast<uint64_t>(b)];
        const uint64_t here = c;
        c = total;
        total += here;
      }
      start[b + 1] = total;
    }
#pragma omp single
    for (uint32_t b = 0; b < B; ++b) start[b + 1] += start[b];
#pragma omp for schedule(static)
    for (int64_t b = 0; b < static_cast<int64_t>(B); ++b)
      for (uint64_t k = 0; k < T; ++k) rows[k * B + static_cast<uint64_t>(b)] += start[b];
    for (uint64_t i = lo; i < hi; ++i) items[mine[bucket_of(i)]++] = static_cast<uint32_t>(i);
  }
}

}  // namespace Tavrin
