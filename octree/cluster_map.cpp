#include "octree/cluster_map.h"

#include <algorithm>

namespace Tavrin {

void ClusterMap::insert(uint64_t key, int32_t level, uint32_t slot, uint64_t corner) {
  const uint32_t b = bucket_of(key);
  SpinGuard guard(buckets_.lock(b));
  const int32_t n = buckets_.size(b);
  for (int32_t i = 0; i < n; ++i) {
    Entry& e = buckets_.at(b, i);
    if (e.key == key && e.level == level) {
      if (corner < e.first) e.first = corner;
      return;
    }
  }
  buckets_.append(b, {key, level, slot, corner, -1});
}

int32_t ClusterMap::number() {
  const int64_t B = buckets_.bucket_count();
  std::vector<int64_t> start(static_cast<size_t>(B) + 1, 0);
  // Order every bucket by first corner (buckets are disjoint, so in parallel).
#pragma omp parallel
  {
    std::vector<Entry> scratch;
#pragma omp for schedule(static)
    for (int64_t b = 0; b < B; ++b) {
      const uint32_t ub = static_cast<uint32_t>(b);
      buckets_.gather(ub, scratch);
      std::sort(scratch.begin(), scratch.end(),
                [](const Entry& x, const Entry& y) { return x.first < y.first; });
      for (size_t i = 0; i < scratch.size(); ++i)
        buckets_.at(ub, static_cast<int32_t>(i)) = scratch[i];
      start[b + 1] = static_cast<int64_t>(scratch.size());
    }
  }
  for (int64_t b = 0; b < B; ++b) start[b + 1] += start[b];
#pragma omp parallel for schedule(static)
  for (int64_t b = 0; b < B; ++b) {
    const uint32_t ub = static_cast<uint32_t>(b);
    for (int32_t i = 0; i < buckets_.size(ub); ++i)
      buckets_.at(ub, i).number = static_cast<int32_t>(start[b] + i);
  }
  return static_cast<int32_t>(start[B]);
}

int32_t ClusterMap::find(uint64_t key, int32_t level) {
  const uint32_t b = bucket_of(key);
  const int32_t n = buckets_.size(b);
  for (int32_t i = 0; i < n; ++i) {
    const Entry& e = buckets_.at(b, i);
    if (e.key == key && e.level == level) return e.number;
  }
  return -1;
}

void ClusterMap::copyOut(std::vector<Entry>& out) {
  out.clear();
  std::vector<Entry> bucket;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b) {
    buckets_.gather(b, bucket);
    out.insert(out.end(), bucket.begin(), bucket.end());
  }
}

}  // namespace Tavrin
