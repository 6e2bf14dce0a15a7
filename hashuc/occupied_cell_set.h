// The distinct occupied cells of a grid, collected from all threads at once.
// Each key remembers the first item (node) that produced it, so that the
// copied-out order (bucket by bucket, and within a bucket by first item) is
// the order one thread inserting the items in order would give, whatever the
// number of threads.
#pragma once

#include <cstdint>

#include "hashuc/chunked_buckets.h"

namespace Tavrin {

class OccupiedCellSet {
 public:
  explicit OccupiedCellSet(uint32_t bucket_count) : buckets_(bucket_count) {}

  void insert(uint64_t key, uint32_t item);
  uint64_t count() const { return buckets_.total(); }
  // Copies bucket by bucket, stopping before a bucket that would exceed the
  // capacity; returns the number copied.
  uint64_t copyOut(uint64_t* keys, uint64_t capacity);

 private:
  struct Entry {
    uint64_t key;
    uint32_t first;
  };
  ChunkedBuckets<Entry, 6> buckets_;
};

}  // namespace Tavrin
