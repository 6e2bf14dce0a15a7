#include "mesh/edge_set.h"

#include <algorithm>
#include <vector>

namespace Tavrin {

void EdgeSet::add(int32_t a, int32_t b, int32_t amount) {
  uint32_t bucket = static_cast<uint32_t>(static_cast<uint32_t>(a) % buckets_.bucket_count());
  SpinGuard guard(buckets_.lock(bucket));
  int32_t n = buckets_.size(bucket);
  for (int32_t i = 0; i < n; ++i) {
    Entry& e = buckets_.at(bucket, i);
    if ((e.a == a && e.b == b) || (e.a == b && e.b == a)) {
      e.counter += amount;
      return;
    }
  }
  buckets_.append(bucket, {a, b, amount});
  sorted_.store(false, std::memory_order_relaxed);
}

void EdgeSet::sort_buckets() {
  if (sorted_.load(std::memory_order_relaxed)) return;
  std::vector<Entry> bucket;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b) {
    int32_t n = buckets_.size(b);
    if (n < 2) continue;
    buckets_.gather(b, bucket);
    std::sort(bucket.begin(), bucket.end(),
              [](const Entry& x, const Entry& y) { return x.a != y.a ? x.a < y.a : x.b < y.b; });
    for (int32_t i = 0; i < n; ++i) buckets_.at(b, i) = bucket[i];
  }
  sorted_.store(true, std::memory_order_relaxed);
}

uint64_t EdgeSet::countWithCounter(int32_t c) {
  uint64_t n = 0;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b)
    for (int32_t i = 0; i < buckets_.size(b); ++i)
      if (buckets_.at(b, i).counter == c) ++n;
  return n;
}

uint64_t EdgeSet::copyOutWithCounter(int32_t c, int32_t* pairs, uint64_t capacity) {
  sort_buckets();
  uint64_t n = 0;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b) {
    for (int32_t i = 0; i < buckets_.size(b); ++i) {
      const Entry& e = buckets_.at(b, i);
      if (e.counter != c) continue;
      if (n >= capacity) return n;
      pairs[2 * n] = e.a;
      pairs[2 * n + 1] = e.b;
      ++n;
    }
  }
  return n;
}

void EdgeSet::copyOutAll(std::vector<Entry>& out) {
  sort_buckets();
  out.clear();
  out.reserve(buckets_.total());
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b)
    for (int32_t i = 0; i < buckets_.size(b); ++i) out.push_back(buckets_.at(b, i));
}

EdgeSet::Entry* EdgeSet::find(int32_t a, int32_t b) {
  uint32_t bucket = static_cast<uint32_t>(static_cast<uint32_t>(a) % buckets_.bucket_count());
  for (int32_t i = 0; i < buckets_.size(bucket); ++i) {
    Entry& e = buckets_.at(bucket, i);
    if ((e.a == a && e.b == b) || (e.a == b && e.b == a)) return &e;
  }
  return nullptr;
}

}  // namespace Tavrin
