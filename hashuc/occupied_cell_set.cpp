#include "hashuc/occupied_cell_set.h"

#include <algorithm>
#include <vector>

namespace Tavrin {

void OccupiedCellSet::insert(uint64_t key, uint32_t item) {
  uint32_t b = static_cast<uint32_t>(key % buckets_.bucket_count());
  SpinGuard guard(buckets_.lock(b));
  int32_t n = buckets_.size(b);
  for (int32_t i = 0; i < n; ++i) {
    Entry& e = buckets_.at(b, i);
    if (e.key == key) {
      if (item < e.first) e.first = item;
      return;
    }
  }
  buckets_.append(b, {key, item});
}

uint64_t OccupiedCellSet::copyOut(uint64_t* keys, uint64_t capacity) {
  uint64_t copied = 0;
  std::vector<Entry> bucket;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b) {
    if (copied + static_cast<uint64_t>(buckets_.size(b)) > capacity) break;
    buckets_.gather(b, bucket);
    std::sort(bucket.begin(), bucket.end(),
              [](const Entry& x, const Entry& y) { return x.first < y.first; });
    for (const Entry& e : bucket) keys[copied++] = e.key;
  }
  return copied;
}

}  // namespace Tavrin
