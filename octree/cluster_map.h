// The clusters of a decimation: the distinct (cell key, level) pairs that the
// triangle corners fall into, collected from all threads at once. Each
// record keeps the first corner that produced it, and clusters are numbered
// bucket by bucket and, within a bucket, by that first corner, so the
// numbering is the one a single thread would give.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/chunked_buckets.h"

namespace Tavrin {

class ClusterMap {
 public:
  struct Entry {
    uint64_t key;
    int32_t level;
    uint32_t slot;   // the cell's slot in its level's table
    uint64_t first;  // smallest corner that produced the cluster
    int32_t number;  // set by number()
  };

  explicit ClusterMap(uint32_t bucket_count) : buckets_(bucket_count) {}

  void insert(uint64_t key, int32_t level, uint32_t slot, uint64_t corner);
  // Numbers the clusters 0 .. count-1; returns the count.
  int32_t number();
  // The number of a cluster after number(), or -1; takes no lock.
  int32_t find(uint64_t key, int32_t level);
  // Every cluster in numbering order.
  void copyOut(std::vector<Entry>& out);

 private:
  uint32_t bucket_of(uint64_t key) const {
    return static_cast<uint32_t>(key % buckets_.bucket_count());
  }
  ChunkedBuckets<Entry, 6> buckets_;
};

}  // namespace Tavrin
