#include "hashuc/triangle_set.h"

#include <algorithm>

namespace Tavrin {

namespace {
struct Sorted3 {
  int32_t lo, mid, hi;
  bool operator==(const Sorted3&) const = default;
};
Sorted3 sorted3(int32_t a, int32_t b, int32_t c) {
  if (a > b) std::swap(a, b);
  if (b > c) std::swap(b, c);
  if (a > b) std::swap(a, b);
  return {a, b, c};
}
}  // namespace

void TriangleSet::add(int32_t a, int32_t b, int32_t c, int32_t source) {
  Sorted3 key = sorted3(a, b, c);
  uint32_t bucket = static_cast<uint32_t>(static_cast<uint32_t>(key.lo) % buckets_.bucket_count());
  SpinGuard guard(buckets_.lock(bucket));
  int32_t n = buckets_.size(bucket);
  for (int32_t i = 0; i < n; ++i) {
    Entry& e = buckets_.at(bucket, i);
    if (sorted3(e.a, e.b, e.c) == key) {
      if (source < e.source) e = {a, b, c, source};
      return;
    }
  }
  buckets_.append(bucket, {a, b, c, source});
}

void TriangleSet::sort_bucket(uint32_t b, std::vector<Entry>& scratch) {
  buckets_.gather(b, scratch);
  std::sort(scratch.begin(), scratch.end(),
            [](const Entry& x, const Entry& y) { return x.source < y.source; });
}

uint64_t TriangleSet::copyOut(int32_t* triples, uint64_t capacity) {
  uint64_t n = 0;
  std::vector<Entry> bucket;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b) {
    if (n + static_cast<uint64_t>(buckets_.size(b)) > capacity) break;
    sort_bucket(b, bucket);
    for (const Entry& e : bucket) {
      triples[3 * n] = e.a;
      triples[3 * n + 1] = e.b;
      triples[3 * n + 2] = e.c;
      ++n;
    }
  }
  return n;
}

void TriangleSet::copyOutAll(std::vector<Entry>& out) {
  out.clear();
  out.reserve(buckets_.total());
  std::vector<Entry> bucket;
  for (uint32_t b = 0; b < buckets_.bucket_count(); ++b) {
    sort_bucket(b, bucket);
    out.insert(out.end(), bucket.begin(), bucket.end());
  }
}

}  // namespace Tavrin
